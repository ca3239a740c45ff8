// The simulated player's state and behaviour, shared by all its automation objects. Every
// member is guarded by `lock`: each object takes it for the whole of an invoke, so library
// calls from a worker thread and player calls from the host's thread never interleave inside
// one operation. Events are queued under the lock and delivered by SimPlayer::pump on the
// player's thread with the lock released.
#pragma once

#include "automation/PlayerBackend.h"
#include "host/HostAutomation.h"
#include "medialib/Library.h"
#include "medialib/Search.h"
#include "platform/Clock.h"
#include "platform/Sync.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace simhost {

using automation::RepeatMode;
using automation::WindowMessageFn;

// The player's major version, as the version object reports it.
constexpr int32_t kSimMajorVersion = 31;

struct CoverFiles {
    std::u16string small; // size code 3
    std::u16string large; // size codes 4 and 5
};

class PlayerCore final : public automation::PlayerBackend {
public:
    PlayerCore(medialib::LibraryData library, platform::Clock* clock, uint32_t openDelayMs);

    // --- library ---
    std::vector<medialib::Track> tracks;
    std::unordered_map<int32_t, size_t> byKey;
    std::vector<medialib::PlaylistData> playlists;
    int32_t nextPlaylistId = 1;
    std::map<int32_t, CoverFiles> covers; // by album id

    medialib::Track* track(int32_t key);
    medialib::PlaylistData* playlist(int32_t id);
    // Runs an expression over the candidates (the whole library when null).
    std::optional<std::vector<int32_t>> search(std::u16string_view expression,
                                               const std::vector<int32_t>* candidates,
                                               std::string& error);
    // The files of a playlist: its keys, or the results of a smart playlist's expression.
    std::vector<int32_t> playlistFiles(const medialib::PlaylistData& p);

    // --- playing now and playback ---
    std::vector<int32_t> nowPlaying;
    int32_t position = -1;
    bool shuffle = false;
    RepeatMode repeat = RepeatMode::Off;
    host::PlaybackState state = host::PlaybackState::Stopped;

    // Brings playback up to the clock: ends of tracks, the end of waiting.
    void catchUp();
    int32_t positionSeconds();
    int32_t playbackFigure() override;
    void play();
    void stop();
    void playPause();
    void next();
    void previous();
    void seek(int32_t seconds);
    bool selectEntry(int32_t index);
    bool insertEntry(int32_t key, int32_t at);
    bool removeEntry(int32_t index);
    void clearNowPlaying();
    void setShuffle(bool on);
    void setRepeat(RepeatMode mode);
    // Replaces the playing-now list with the files and plays from `start` (-1: the first).
    void playFiles(const std::vector<int32_t>& keys, int32_t start);
    uint64_t msUntilNextChange();

    // --- volume and equalizer ---
    int32_t volume = 80;
    bool muted = false;
    bool equalizerOn = false;
    std::array<int32_t, 11> bands{};
    void setVolume(int32_t v);
    void setMuted(bool m);
    void setEqualizerOn(bool on);
    void setBand(int32_t band, int32_t value);

    // --- what the automation objects ask (automation/PlayerBackend.h) ---
    void settle() override { catchUp(); }
    const medialib::Track* findTrack(int32_t key) override { return track(key); }
    HostStatus runSearch(std::u16string_view expression, const std::vector<int32_t>* candidates,
                         std::vector<int32_t>& keys, HostFault* f) override;
    HostStatus rate(int32_t key, int32_t rating, HostFault* f) override;
    HostStatus coverPath(const medialib::Track& track, int32_t sizeCode, std::u16string& path,
                         HostFault* f) override;
    host::PlaybackState playbackState() override { return state; }
    int32_t elapsedSeconds() override { return positionSeconds(); }
    HostStatus seekTo(int32_t seconds, HostFault*) override { return seek(seconds), Ok; }
    HostStatus transport(host::PlaybackOp op, HostFault* f) override;
    const std::vector<int32_t>& queue() override { return nowPlaying; }
    int32_t queuePosition() override { return position; }
    HostStatus selectEntry(int32_t index, HostFault* f) override;
    HostStatus insertEntry(int32_t key, int32_t at, bool& done, HostFault*) override {
        return done = insertEntry(key, at), Ok;
    }
    HostStatus removeEntry(int32_t index, bool& done, HostFault*) override {
        return done = removeEntry(index), Ok;
    }
    HostStatus clearQueue(HostFault*) override { return clearNowPlaying(), Ok; }
    HostStatus playKeys(const std::vector<int32_t>& keys, int32_t start, HostFault*) override {
        return playFiles(keys, start), Ok;
    }
    bool shuffleOn() override { return shuffle; }
    HostStatus putShuffle(bool on, HostFault*) override { return setShuffle(on), Ok; }
    RepeatMode repeatMode() override { return repeat; }
    HostStatus putRepeat(RepeatMode mode, HostFault*) override { return setRepeat(mode), Ok; }
    HostStatus volumeLevel(int32_t& level, HostFault*) override { return level = volume, Ok; }
    HostStatus putVolume(int32_t level, HostFault*) override { return setVolume(level), Ok; }
    bool isMuted() override { return muted; }
    HostStatus putMuted(bool on, HostFault*) override { return setMuted(on), Ok; }
    bool isEqualizerOn() override { return equalizerOn; }
    HostStatus putEqualizerOn(bool on, HostFault*) override { return setEqualizerOn(on), Ok; }
    int32_t bandValue(int32_t band) override { return bands[size_t(band)]; }
    HostStatus putBand(int32_t band, int32_t value, HostFault*) override {
        return setBand(band, value), Ok;
    }
    int32_t majorVersion() override { return kSimMajorVersion; }
    size_t playlistCount() override { return playlists.size(); }
    const medialib::PlaylistData* playlistAt(size_t index) override { return &playlists[index]; }
    const medialib::PlaylistData* findPlaylist(int32_t id) override { return playlist(id); }
    HostStatus playlistKeys(const medialib::PlaylistData& p, std::vector<int32_t>& keys,
                            HostFault*) override {
        return keys = playlistFiles(p), Ok;
    }
    HostStatus storePlaylistKeys(int32_t id, const std::vector<int32_t>& keys, bool& stored,
                                 HostFault* f) override;
    HostStatus createPlaylist(const std::u16string& name, const std::u16string& path, int32_t& id,
                              HostFault* f) override;
    HostStatus deletePlaylist(const std::u16string& name, const std::u16string& path, bool& deleted,
                              HostFault* f) override;

private:
    static constexpr HostStatus Ok = HostStatus::Ok;

    void startEntry(int32_t index, uint64_t atMs);
    void setState(host::PlaybackState s);
    uint64_t elapsedMs(uint64_t now) const;
    uint64_t currentDurationMs();

    platform::Clock* clock_;
    uint32_t openDelayMs_;
    uint64_t elapsedBase_ = 0; // ms played before anchor_
    uint64_t anchor_ = 0;      // when playing (or waiting) began
    std::vector<int32_t> preShuffle_;
    uint32_t rng_ = 0x2545F491u;
};

} // namespace simhost
