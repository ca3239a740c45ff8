// The plain records that the player side fills for the protocol engine and that the wire
// format encodes: track keys, playing-now and playlist entries, the player status, stored
// playlists and equalizer settings. Texts are UTF-8 as they travel; an index or playlist id
// of -1 means the current entry or the playing-now list.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// MD5 of a file's full path (UTF-16LE, 'a'..'z' upper-cased). All zero means no key.
struct TrackKey {
    std::array<uint8_t, 16> bytes{};
    bool operator==(const TrackKey&) const = default;
};

// One entry of the playing-now list or of a playlist.
struct TrackInfo {
    uint8_t isCurrent = 0;
    uint8_t playbackFigure = 0;
    uint8_t rating = 0;
    uint16_t figureA = 0;
    uint16_t trackNumber = 0;
    std::array<uint16_t, 4> extra{};
    int32_t index = -1;
    uint32_t durationMs = 0;
    TrackKey key;
    std::string name;
    std::string artist;
    std::string album;
    std::string genre;
    std::string displayText;
    bool operator==(const TrackInfo&) const = default;
};

struct TrackList {
    uint8_t reserved = 0;
    uint8_t wantDisplayText = 0;
    int32_t playlistId = -1;
    std::string name;
    std::vector<TrackInfo> entries;
};

struct PlayerStatus {
    uint32_t positionMs = 0;
    uint32_t playState = 3;  // 0 playing, 1 paused or waiting, 2 stopped, 3 unknown
    uint32_t repeatMode = 0; // 0 off, 1 current track, 2 list
    uint16_t volume = 0;
    uint8_t shuffle = 0;
    bool operator==(const PlayerStatus&) const = default;
};

struct PlaylistEntry {
    std::string name;
    int32_t id = 0;
    uint32_t fileCount = 0;
    uint16_t flags = 0;
    bool operator==(const PlaylistEntry&) const = default;
};

struct EqualizerBand {
    uint16_t frequencyHz = 0;
    uint16_t value = 100; // 0..200, 100 = no gain
    bool operator==(const EqualizerBand&) const = default;
};

struct EqualizerSetting {
    std::string name; // presets only
    std::vector<EqualizerBand> bands;
    uint16_t preamp = 100;
    bool operator==(const EqualizerSetting&) const = default;
};

using EqualizerPreset = EqualizerSetting;
