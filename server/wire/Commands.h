// Codes carried inside messages: MSG_QUERY sub-requests, MSG_PLAYER_COMMAND commands, server
// notice reasons, and the capability mask of MSG_CAPABILITIES.
#pragma once

#include <array>
#include <cstdint>

namespace wire {

enum QuerySub : uint8_t {
    QUERY_TRACK_INFO = 1,         // getTrackInfo(parameter) -> MSG_TRACK_INFO
    QUERY_PLAYER_STATUS = 2,      // -> MSG_PLAYER_STATUS
    QUERY_TRACK_COVER = 3,        // -> MSG_TRACK_COVER / MSG_TRACK_COVER_NONE
    QUERY_NOW_PLAYING = 4,        // -> MSG_NOW_PLAYING_LIST
    QUERY_CURRENT_INDEX = 5,      // -> MSG_CURRENT_INDEX
    QUERY_PLAYLISTS = 6,          // -> MSG_PLAYLISTS
    QUERY_ARTISTS = 7,            // listLibraryCategory(1)
    QUERY_ALBUMS = 8,             // listLibraryCategory(6)
    QUERY_GENRES = 9,             // listLibraryCategory(0)
    QUERY_PLAYLIST_TRACKS = 10,   // -> MSG_PLAYLIST_TRACKS / MSG_PLAYLIST_DETAILS
    QUERY_TRACK_TEXT = 11,        // -> MSG_TRACK_TEXT
    QUERY_COMPOSERS = 12,         // listLibraryCategory(2)
    QUERY_PLAYLISTS_EX = 13,      // -> MSG_PLAYLISTS_EX
    QUERY_POWER_ACTION = 14,      // startPowerAction(byte 1)
    QUERY_ALBUMS_2 = 15,          // listLibraryCategory(6)
    QUERY_ALBUMS_3 = 16,          // listLibraryCategory(6)
    QUERY_EQUALIZER = 17,         // -> MSG_EQUALIZER
    QUERY_EQUALIZER_PRESETS = 18, // -> MSG_EQUALIZER_PRESETS
    QUERY_SLEEP_TIMER = 19,       // -> MSG_SLEEP_TIMER
};

enum PlayerCommandCode : uint8_t {
    CMD_PLAY_PAUSE = 1, // playbackCommand(0)
    CMD_PLAY = 2,       // playbackCommand(1)
    CMD_STOP = 3,       // playbackCommand(2)
    CMD_SHUFFLE = 4,    // setShuffle(byte 1 != 0)
    CMD_REPEAT = 5,     // toggleRepeat(byte 1 when 1 or 2, else 0)
    CMD_VOLUME = 6,     // setVolume(volumeFromArgument)
    CMD_SEEK = 7,       // setPosition(argument ms)
    CMD_NEXT = 8,       // playbackCommand(4)
    CMD_PREVIOUS = 9,   // playbackCommand(3)
    CMD_SET_INDEX = 10, // setCurrentTrackIndex
    CMD_REMOVE = 11,    // removeTrack(-1, argument)
    CMD_PLAY_PLAYLIST = 12,
    CMD_RESERVED_PAIR = 13, // reservedPairCommand(low 16, high 16)
    CMD_RANDOM = 14,        // playbackCommand(5)
    CMD_RESERVED = 15,
    CMD_DELETE_PLAYLIST = 16,
    CMD_APPLY_PRESET = 17,
    CMD_EQUALIZER_ON = 18, // setEqualizerEnabled(byte 1 != 0)
};

enum NoticeReason : uint8_t {
    NOTICE_SUSPEND = 1,
    NOTICE_SESSION_END = 2,
    NOTICE_SETTINGS_CHANGED = 4,
    NOTICE_TAKEN_OVER = 8,
};

// Volume of command 6. An 8-bit volume in the lowest byte b0 or a 16-bit volume in the high
// half h are both accepted; a non-zero second byte b1 forces the 8-bit one.
inline uint16_t volumeFromArgument(uint32_t argument) {
    uint32_t b0 = argument & 0xFF, b1 = (argument >> 8) & 0xFF, h = argument >> 16;
    if (h == 0 && b0 != 0)
        return uint16_t(b0 * 257);
    if (b1 == 0)
        return uint16_t(h);
    return uint16_t(b0 * 257);
}

constexpr size_t kCapabilityCount = 22;
using CapabilityFlags = std::array<uint8_t, kCapabilityCount>;

// Flags 0..17 are bits 0..17, flag 18 bit 20, flag 19 bit 18, flag 20 bit 21, flag 21 bit 22.
inline uint64_t capabilityMask(const CapabilityFlags& flags) {
    static constexpr uint8_t kBit[kCapabilityCount] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                       11, 12, 13, 14, 15, 16, 17, 20, 18, 21, 22};
    uint64_t mask = 0;
    for (size_t i = 0; i < kCapabilityCount; ++i)
        if (flags[i])
            mask |= uint64_t(1) << kBit[i];
    return mask;
}

} // namespace wire
