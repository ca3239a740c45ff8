// What a player backend does for the automation objects: the library, playback, the
// playing-now list, volume and equalizer, stored playlists, and the events the objects hand
// to advised sinks and registered windows. The simulated player and the MPD backend both
// implement it; the objects (makeRootObject) answer every operation of host/HostAutomation.h
// over it, so argument checks, operation numbers and the file and files-collection objects are
// one piece of code.
//
// Lock: `lock` guards the backend's whole state. Every object takes it for the whole of an
// invoke, so every virtual below runs with it held; a backend's own threads take it too.
// Events are queued under it and delivered by deliverEvents() on the player's thread with it
// released, so a sink may call the player.
//
// Failures: a call that can fail returns a HostStatus and, when it is not Ok, writes a reason
// into the fault (which may be null).
#pragma once

#include "host/HostAutomation.h"
#include "medialib/Library.h"
#include "platform/Sync.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace automation {

using host::HostFault;
using host::HostStatus;

enum class RepeatMode { Off, List, Track };

// Delivers a window message to a window the player was given with RootOp::RegisterWindow.
using WindowMessageFn =
    std::function<void(int32_t window, uint32_t message, uint64_t wParam, int64_t lParam)>;

// Fills the fault's description (when there is one) and returns s.
HostStatus fault(HostFault* f, HostStatus s, std::string text);

class PlayerBackend {
public:
    using HostFault = host::HostFault;
    using HostStatus = host::HostStatus;

    virtual ~PlayerBackend() = default;

    platform::CriticalSection lock;

    // Called at the start of every invoke: brings the backend up to date (the simulated
    // player catches up with its clock).
    virtual void settle() {}

    // --- library ---
    // The file with this key; null when the library has none.
    virtual const medialib::Track* findTrack(int32_t key) = 0;
    // Runs an expression over the candidates in their order (the whole library when null).
    virtual HostStatus runSearch(std::u16string_view expression,
                                 const std::vector<int32_t>* candidates, std::vector<int32_t>& keys,
                                 HostFault* f) = 0;
    virtual HostStatus rate(int32_t key, int32_t rating, HostFault* f) = 0;
    // The image file for size code 3 (small) or 4 and 5 (large); empty when there is none.
    virtual HostStatus coverPath(const medialib::Track& track, int32_t sizeCode,
                                 std::u16string& path, HostFault* f) = 0;

    // --- playback ---
    virtual host::PlaybackState playbackState() = 0;
    virtual int32_t elapsedSeconds() = 0;
    virtual int32_t playbackFigure() = 0;
    virtual HostStatus seekTo(int32_t seconds, HostFault* f) = 0;
    // Play, Stop, Next, Previous or PlayPause.
    virtual HostStatus transport(host::PlaybackOp op, HostFault* f) = 0;

    // --- the playing-now list ---
    virtual const std::vector<int32_t>& queue() = 0; // file keys
    virtual int32_t queuePosition() = 0;             // -1: none
    // BadIndex when the index is neither -1 nor an entry.
    virtual HostStatus selectEntry(int32_t index, HostFault* f) = 0;
    // `done` false: refused (an unknown key, a position past the end) without a failure.
    virtual HostStatus insertEntry(int32_t key, int32_t at, bool& done, HostFault* f) = 0;
    virtual HostStatus removeEntry(int32_t index, bool& done, HostFault* f) = 0;
    virtual HostStatus clearQueue(HostFault* f) = 0;
    // Replaces the list with the files and plays from `start` (-1 or out of range: the first).
    virtual HostStatus playKeys(const std::vector<int32_t>& keys, int32_t start, HostFault* f) = 0;
    virtual bool shuffleOn() = 0;
    virtual HostStatus putShuffle(bool on, HostFault* f) = 0;
    virtual RepeatMode repeatMode() = 0;
    virtual HostStatus putRepeat(RepeatMode mode, HostFault* f) = 0;

    // --- volume and equalizer ---
    virtual HostStatus volumeLevel(int32_t& level, HostFault* f) = 0; // 0..100
    virtual HostStatus putVolume(int32_t level, HostFault* f) = 0;
    virtual bool isMuted() = 0;
    virtual HostStatus putMuted(bool on, HostFault* f) = 0;
    virtual bool isEqualizerOn() = 0;
    virtual HostStatus putEqualizerOn(bool on, HostFault* f) = 0;
    virtual int32_t bandValue(int32_t band) = 0; // 0 the preamp, 1..10
    virtual HostStatus putBand(int32_t band, int32_t value, HostFault* f) = 0;
    virtual int32_t majorVersion() = 0;

    // --- stored playlists ---
    virtual size_t playlistCount() = 0;
    virtual const medialib::PlaylistData* playlistAt(size_t index) = 0;
    virtual const medialib::PlaylistData* findPlaylist(int32_t id) = 0;
    virtual HostStatus playlistKeys(const medialib::PlaylistData& playlist,
                                    std::vector<int32_t>& keys, HostFault* f) = 0;
    // `stored` false: the playlist takes no files (a group, a smart playlist).
    virtual HostStatus storePlaylistKeys(int32_t id, const std::vector<int32_t>& keys, bool& stored,
                                         HostFault* f) = 0;
    virtual HostStatus createPlaylist(const std::u16string& name, const std::u16string& path,
                                      int32_t& id, HostFault* f) = 0;
    virtual HostStatus deletePlaylist(const std::u16string& name, const std::u16string& path,
                                      bool& deleted, HostFault* f) = 0;

    // --- events (under the lock) ---
    std::map<uint32_t, host::HostEventSink*> sinks;
    uint32_t nextCookie = 1;
    std::vector<int32_t> windows;
    WindowMessageFn windowFn;
    std::function<void()> wakeFn;

    // Queues a notification for the advised sinks, or a status message for the registered
    // windows; the same one waits at most once until it is delivered.
    void notify(const char16_t* name);
    void statusChanged();
    bool eventsPending() const { return !pending_.empty(); }

    // On the player's thread, without the lock: settles the backend and delivers what is
    // queued.
    void deliverEvents();

private:
    struct Pending {
        bool window = false; // a status message to the registered windows
        std::u16string name; // otherwise a notification
    };
    void queue(Pending p);
    std::deque<Pending> pending_;
};

// The root automation object over a backend.
host::HostObjectPtr makeRootObject(std::shared_ptr<PlayerBackend> backend);

} // namespace automation
