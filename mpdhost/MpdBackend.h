// The player over a real MPD: the library model loaded from MPD's database and searched with
// the player's own search language, the queue as the playing-now list, MPD's stored playlists,
// ratings and play counts in MPD's stickers, covers from MPD scaled into a cache folder.
//
// What MPD last reported is kept (status, queue, playlists), so reading the player costs no
// round trip; the backend refreshes it after each command of its own and when the idle
// connection (MpdPlayer) reports a change, and queues the notifications the change means.
//
// Lock: PlayerBackend::lock guards everything here, the command connection included; the
// automation objects hold it for a whole invoke, MpdPlayer's idle thread while it applies a
// change. A library is loaded without it and swapped in under it.
#pragma once

#include "automation/PlayerBackend.h"
#include "medialib/Library.h"
#include "mpdclient/Connection.h"
#include "mpdhost/Mapping.h"
#include "platform/Clock.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace mpdhost {

// MPD's database as the player's library: tracks with stable keys by path.
struct MpdLibrary {
    KeyTable keys; // uri -> file key
    std::vector<medialib::Track> tracks;
    std::vector<int64_t> modified; // per track: the file's time, for the cover cache
    std::unordered_map<int32_t, size_t> byKey;
    bool stickers = true; // MPD keeps stickers (ratings and play counts are stored)
};

// Loads every song with its ratings and play counts. False with `error` filled.
bool loadLibrary(mpdclient::Connection& connection, MpdLibrary& library, std::string& error);

// Sticker names under which ratings and play counts are kept.
constexpr const char* kRatingSticker = "rating";
constexpr const char* kPlayCountSticker = "playCount";

class MpdBackend final : public automation::PlayerBackend {
public:
    MpdBackend(std::string address, std::filesystem::path coverCache, platform::Clock& clock);
    ~MpdBackend() override;

    // --- driven by MpdPlayer, each with the lock held ---
    // Takes a new command connection and library after a (re)connection and reads the rest.
    bool install(std::unique_ptr<mpdclient::Connection> connection,
                 std::unique_ptr<MpdLibrary> library, std::string& error);
    void replaceLibrary(std::unique_ptr<MpdLibrary> library);
    // Applies what the idle connection reported (MPD's idle subsystems).
    void changed(unsigned subsystems);
    // The connection is gone: the player reports stopped with an empty list, calls fail.
    void disconnected();
    bool connected() const { return connection_ != nullptr; }
    size_t trackCount() const { return library_ ? library_->tracks.size() : 0; }
    // Called (lock held) when a command finds the connection broken; MpdPlayer reconnects.
    std::function<void()> onBroken;

    // --- PlayerBackend ---
    const medialib::Track* findTrack(int32_t key) override;
    HostStatus runSearch(std::u16string_view expression, const std::vector<int32_t>* candidates,
                         std::vector<int32_t>& keys, HostFault* f) override;
    HostStatus rate(int32_t key, int32_t rating, HostFault* f) override;
    HostStatus coverPath(const medialib::Track& track, int32_t sizeCode, std::u16string& path,
                         HostFault* f) override;
    host::PlaybackState playbackState() override;
    int32_t elapsedSeconds() override;
    int32_t playbackFigure() override;
    HostStatus seekTo(int32_t seconds, HostFault* f) override;
    HostStatus transport(host::PlaybackOp op, HostFault* f) override;
    const std::vector<int32_t>& queue() override { return queue_; }
    int32_t queuePosition() override;
    HostStatus selectEntry(int32_t index, HostFault* f) override;
    HostStatus insertEntry(int32_t key, int32_t at, bool& done, HostFault* f) override;
    HostStatus removeEntry(int32_t index, bool& done, HostFault* f) override;
    HostStatus clearQueue(HostFault* f) override;
    HostStatus playKeys(const std::vector<int32_t>& keys, int32_t start, HostFault* f) override;
    bool shuffleOn() override { return status_.random; }
    HostStatus putShuffle(bool on, HostFault* f) override;
    automation::RepeatMode repeatMode() override;
    HostStatus putRepeat(automation::RepeatMode mode, HostFault* f) override;
    HostStatus volumeLevel(int32_t& level, HostFault* f) override;
    HostStatus putVolume(int32_t level, HostFault* f) override;
    bool isMuted() override { return false; }
    HostStatus putMuted(bool on, HostFault* f) override;
    bool isEqualizerOn() override { return false; }
    HostStatus putEqualizerOn(bool on, HostFault* f) override;
    int32_t bandValue(int32_t) override { return 0; }
    HostStatus putBand(int32_t band, int32_t value, HostFault* f) override;
    int32_t majorVersion() override { return majorVersion_; }
    size_t playlistCount() override { return playlists_.size(); }
    const medialib::PlaylistData* playlistAt(size_t index) override { return &playlists_[index]; }
    const medialib::PlaylistData* findPlaylist(int32_t id) override;
    HostStatus playlistKeys(const medialib::PlaylistData& playlist, std::vector<int32_t>& keys,
                            HostFault* f) override;
    HostStatus storePlaylistKeys(int32_t id, const std::vector<int32_t>& keys, bool& stored,
                                 HostFault* f) override;
    HostStatus createPlaylist(const std::u16string& name, const std::u16string& path, int32_t& id,
                              HostFault* f) override;
    HostStatus deletePlaylist(const std::u16string& name, const std::u16string& path, bool& deleted,
                              HostFault* f) override;

private:
    // A failed command: the connection's reason; a broken connection is given up.
    HostStatus failed(HostFault* f);
    HostStatus notConnected(HostFault* f);
    // Reads the status (and the queue when it changed) and queues what the change means.
    // `ours`: the change follows a command of ours (a track left early is not a play).
    HostStatus refresh(HostFault* f, bool ours);
    bool readPlaylists();
    // The key of a song of the queue or a playlist; a song outside the database becomes a
    // track of its own.
    int32_t keyOf(const mpdclient::SongInfo& song);
    const std::string* uriOf(int32_t key) const;
    void countPlay(int32_t songPos);

    const std::string address_;
    const std::filesystem::path coverCache_;
    platform::Clock& clock_;
    std::unique_ptr<mpdclient::Connection> connection_;
    std::unique_ptr<MpdLibrary> library_;
    unsigned majorVersion_ = 0;

    mpdclient::StatusInfo status_;
    uint64_t statusAt_ = 0;              // monotonic ms when status_ was read
    std::vector<int32_t> queue_;         // file keys
    std::vector<std::string> queueUris_; // the same entries' songs
    bool queueRead_ = false;
    int32_t cursor_ = -1; // the entry chosen while stopped (MPD has no such choice)
    std::vector<medialib::PlaylistData> playlists_;
    KeyTable playlistIds_;
    std::unordered_set<std::string> withoutCover_; // uris MPD has no picture for
};

} // namespace mpdhost
