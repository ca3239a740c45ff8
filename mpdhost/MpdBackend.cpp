#include "mpdhost/MpdBackend.h"

#include "common/Murmur3.h"
#include "common/Utf.h"
#include "imaging/Thumbnail.h"
#include "medialib/Search.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace mpdhost {

using automation::fault;
using automation::RepeatMode;
using host::HostFault;
using host::HostStatus;
using host::PlaybackOp;
using mpdclient::PlayState;

namespace {

constexpr HostStatus Ok = HostStatus::Ok;
// The cover sizes: size code 3 asks for the small one, 4 and 5 for the large one.
constexpr int kSmallCover = 96;
constexpr int kLargeCover = 300;
constexpr int kCoverQuality = 85;
constexpr size_t kMaxPictureBytes = 32u << 20;

} // namespace

bool loadLibrary(mpdclient::Connection& connection, MpdLibrary& library, std::string& error) {
    std::vector<mpdclient::SongInfo> songs;
    if (!connection.allSongs(songs)) {
        error = "reading MPD's database: " + connection.error();
        return false;
    }
    library = MpdLibrary();
    library.tracks.reserve(songs.size());
    library.modified.reserve(songs.size());
    for (const auto& song : songs) {
        int32_t key = library.keys.keyFor(song.uri);
        if (library.byKey.count(key))
            continue; // the same file twice
        library.byKey.emplace(key, library.tracks.size());
        library.tracks.push_back(trackFromSong(song, key));
        library.modified.push_back(song.lastModified);
    }
    for (const char* name : {kRatingSticker, kPlayCountSticker}) {
        std::vector<std::pair<std::string, std::string>> values;
        bool disabled = false;
        if (!connection.stickers(name, values, disabled)) {
            error = "reading MPD's stickers: " + connection.error();
            return false;
        }
        library.stickers = !disabled;
        for (const auto& [uri, value] : values) {
            const int32_t* key = library.keys.find(uri);
            if (!key)
                continue;
            medialib::Track& t = library.tracks[library.byKey[*key]];
            if (name == kRatingSticker)
                t.rating = ratingFromSticker(value);
            else
                t.playCount = countFromSticker(value);
        }
    }
    return true;
}

MpdBackend::MpdBackend(std::string address, std::filesystem::path coverCache,
                       platform::Clock& clock)
    : address_(std::move(address)), coverCache_(std::move(coverCache)), clock_(clock),
      library_(std::make_unique<MpdLibrary>()) {
    status_.state = PlayState::Stopped;
}

MpdBackend::~MpdBackend() = default;

// --- connection and refresh --------------------------------------------------------------------

bool MpdBackend::install(std::unique_ptr<mpdclient::Connection> connection,
                         std::unique_ptr<MpdLibrary> library, std::string& error) {
    connection_ = std::move(connection);
    majorVersion_ = connection_->majorVersion();
    replaceLibrary(std::move(library));
    queueRead_ = false;
    HostFault f;
    if (refresh(&f, false) != Ok || !readPlaylists()) {
        error = f.description.empty() ? connection_ ? connection_->error() : "MPD went away"
                                      : f.description;
        return false;
    }
    return true;
}

void MpdBackend::replaceLibrary(std::unique_ptr<MpdLibrary> library) {
    // Songs of the queue outside the database keep their tracks (their keys are in use).
    for (size_t i = 0; i < queueUris_.size() && library_; ++i) {
        if (library->keys.find(queueUris_[i]))
            continue;
        if (const medialib::Track* t = findTrack(queue_[i])) {
            library->keys.keyFor(queueUris_[i]);
            library->byKey.emplace(t->key, library->tracks.size());
            library->tracks.push_back(*t);
            library->modified.push_back(0);
        }
    }
    library_ = std::move(library);
    // The queue's entries map to the new library's keys (the same for the same paths).
    for (size_t i = 0; i < queueUris_.size(); ++i)
        if (const int32_t* key = library_->keys.find(queueUris_[i]))
            queue_[i] = *key;
    withoutCover_.clear();
}

void MpdBackend::disconnected() {
    if (!connection_)
        return;
    connection_.reset();
    mpdclient::StatusInfo stopped;
    stopped.state = PlayState::Stopped;
    StatusChange c = compareStatus(status_, stopped, 0);
    status_ = stopped;
    statusAt_ = clock_.monotonicMs();
    queue_.clear();
    queueUris_.clear();
    cursor_ = -1;
    if (c.state)
        notify(host::kNotifyPlayerStateChange);
    if (c.track)
        notify(host::kNotifyTrackChange);
    statusChanged();
}

HostStatus MpdBackend::notConnected(HostFault* f) {
    return fault(f, HostStatus::Failed, "not connected to MPD at " + address_);
}

HostStatus MpdBackend::failed(HostFault* f) {
    std::string reason = "MPD: " + connection_->error();
    if (connection_->broken()) {
        disconnected();
        if (onBroken)
            onBroken();
    }
    return fault(f, HostStatus::Failed, reason);
}

HostStatus MpdBackend::refresh(HostFault* f, bool ours) {
    if (!connection_)
        return notConnected(f);
    mpdclient::StatusInfo now;
    if (!connection_->status(now))
        return failed(f);
    if (!queueRead_ || now.queueVersion != status_.queueVersion) {
        std::vector<mpdclient::SongInfo> songs;
        if (!connection_->queue(songs))
            return failed(f);
        queue_.clear();
        queueUris_.clear();
        for (const auto& song : songs) {
            queue_.push_back(keyOf(song));
            queueUris_.push_back(song.uri);
        }
        queueRead_ = true;
    }
    const uint64_t at = clock_.monotonicMs();
    StatusChange c = compareStatus(status_, now, at - statusAt_);
    if (c.playedToEnd && !ours)
        countPlay(status_.songPos);
    status_ = now;
    statusAt_ = at;
    if (now.state != PlayState::Stopped || size_t(cursor_ + 1) > queue_.size())
        cursor_ = -1;
    if (c.state)
        notify(host::kNotifyPlayerStateChange);
    if (c.track)
        notify(host::kNotifyTrackChange);
    if (c.volume)
        notify(host::kNotifyVolumeChanged);
    if (c.status)
        statusChanged();
    return Ok;
}

void MpdBackend::countPlay(int32_t songPos) {
    if (!library_->stickers || songPos < 0 || size_t(songPos) >= queueUris_.size())
        return;
    const std::string& uri = queueUris_[size_t(songPos)];
    const int32_t* key = library_->keys.find(uri);
    if (!key)
        return;
    medialib::Track& t = library_->tracks[library_->byKey[*key]];
    if (connection_->setSticker(uri, kPlayCountSticker, std::to_string(t.playCount + 1)))
        ++t.playCount;
}

bool MpdBackend::readPlaylists() {
    std::vector<std::string> names;
    if (!connection_ || !connection_->playlists(names))
        return false;
    std::sort(names.begin(), names.end());
    playlists_.clear();
    for (const auto& name : names) {
        medialib::PlaylistData p;
        p.id = playlistIds_.keyFor(name);
        p.name = utf8ToUtf16(name);
        playlists_.push_back(std::move(p));
    }
    return true;
}

void MpdBackend::changed(unsigned subsystems) {
    using namespace mpdclient;
    if (!connection_)
        return;
    if (subsystems & (IdlePlayer | IdleMixer | IdleOptions | IdleQueue))
        refresh(nullptr, false);
    if (connection_ && (subsystems & IdleStoredPlaylist) && !readPlaylists() &&
        connection_->broken())
        failed(nullptr);
}

int32_t MpdBackend::keyOf(const mpdclient::SongInfo& song) {
    if (const int32_t* key = library_->keys.find(song.uri))
        return *key;
    // A stream or a file outside the database: a track of its own, left out of the lists.
    int32_t key = library_->keys.keyFor(song.uri);
    medialib::Track t = trackFromSong(song, key);
    t.mediaType = u"Stream";
    library_->byKey.emplace(key, library_->tracks.size());
    library_->tracks.push_back(std::move(t));
    library_->modified.push_back(0);
    return key;
}

const std::string* MpdBackend::uriOf(int32_t key) const {
    return library_->keys.textOf(key);
}

// --- library -----------------------------------------------------------------------------------

const medialib::Track* MpdBackend::findTrack(int32_t key) {
    auto it = library_->byKey.find(key);
    return it == library_->byKey.end() ? nullptr : &library_->tracks[it->second];
}

HostStatus MpdBackend::runSearch(std::u16string_view expression,
                                 const std::vector<int32_t>* candidates, std::vector<int32_t>& keys,
                                 HostFault* f) {
    std::string error;
    auto found = medialib::searchKeys(
        expression, library_->tracks, candidates, [this](int32_t key) { return findTrack(key); },
        error);
    if (!found)
        return fault(f, HostStatus::Failed, error);
    keys = std::move(*found);
    return Ok;
}

HostStatus MpdBackend::rate(int32_t key, int32_t rating, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    const std::string* uri = uriOf(key);
    if (!uri)
        return fault(f, HostStatus::Failed, "the file is no longer in the library");
    if (!library_->stickers)
        return fault(f, HostStatus::Failed,
                     "MPD keeps no ratings: it has no sticker database (sticker_file)");
    if (!connection_->setSticker(*uri, kRatingSticker, std::to_string(rating)))
        return failed(f);
    library_->tracks[library_->byKey[key]].rating = rating;
    return Ok;
}

HostStatus MpdBackend::coverPath(const medialib::Track& track, int32_t sizeCode,
                                 std::u16string& path, HostFault* f) {
    path.clear();
    const std::string* uri = uriOf(track.key);
    if (coverCache_.empty() || !uri || withoutCover_.count(*uri))
        return Ok;
    // One pair of files per song and file time, so a changed picture is fetched again.
    const int64_t modified = library_->modified[library_->byKey[track.key]];
    char name[32];
    std::snprintf(name, sizeof name, "%08x%08x", murmur3_x86_32(*uri, uint32_t(modified)),
                  murmur3_x86_32(*uri, 0x5EED));
    const std::filesystem::path small = coverCache_ / (std::string(name) + "-96.jpg");
    const std::filesystem::path large = coverCache_ / (std::string(name) + "-300.jpg");
    const std::filesystem::path& wanted = sizeCode == 3 ? small : large;
    std::error_code ec;
    if (std::filesystem::exists(wanted, ec)) {
        path = wanted.u16string();
        return Ok;
    }
    if (!connection_)
        return notConnected(f);
    std::vector<uint8_t> picture;
    if (!connection_->picture(*uri, picture, kMaxPictureBytes)) {
        if (connection_->broken())
            return failed(f);
        withoutCover_.insert(*uri); // too large, or refused: not asked again
        return Ok;
    }
    std::vector<uint8_t> smallJpeg, largeJpeg;
    std::string error;
    if (picture.empty() ||
        !imaging::makeThumbnail(picture, kSmallCover, kCoverQuality, smallJpeg, error) ||
        !imaging::makeThumbnail(picture, kLargeCover, kCoverQuality, largeJpeg, error)) {
        withoutCover_.insert(*uri);
        return Ok;
    }
    std::filesystem::create_directories(coverCache_, ec);
    for (const auto& [file, bytes] : {std::pair{&small, &smallJpeg}, {&large, &largeJpeg}}) {
        // Written under a temporary name and renamed, so a reader never sees half a file.
        std::filesystem::path temporary = *file;
        temporary += ".part";
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
        out.close();
        if (!out)
            return fault(f, HostStatus::Failed, "cannot write " + temporary.string());
        std::filesystem::rename(temporary, *file, ec);
        if (ec)
            return fault(f, HostStatus::Failed,
                         "cannot write " + file->string() + ": " + ec.message());
    }
    path = wanted.u16string();
    return Ok;
}

// --- playback ----------------------------------------------------------------------------------

host::PlaybackState MpdBackend::playbackState() {
    switch (status_.state) {
    case PlayState::Playing:
        return host::PlaybackState::Playing;
    case PlayState::Paused:
        return host::PlaybackState::Paused;
    default:
        return host::PlaybackState::Stopped;
    }
}

int32_t MpdBackend::elapsedSeconds() {
    uint64_t ms = status_.elapsedMs;
    if (status_.state == PlayState::Playing) {
        // Played on since MPD said where it was.
        ms += clock_.monotonicMs() - statusAt_;
        if (status_.durationMs > 0)
            ms = std::min<uint64_t>(ms, status_.durationMs);
    } else if (status_.state != PlayState::Paused) {
        ms = 0;
    }
    return int32_t(ms / 1000);
}

int32_t MpdBackend::playbackFigure() {
    return status_.state == PlayState::Stopped ? 0 : int32_t(status_.kbitRate * 1000);
}

HostStatus MpdBackend::seekTo(int32_t seconds, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    if (status_.state == PlayState::Stopped)
        return Ok; // as the player does: a stopped track starts from the beginning
    if (!connection_->seekCurrent(uint32_t(std::max(seconds, 0))))
        return failed(f);
    return refresh(f, true);
}

HostStatus MpdBackend::transport(PlaybackOp op, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    const bool stopped = status_.state == PlayState::Stopped;
    const int32_t count = int32_t(queue_.size());
    bool ok = true;
    switch (op) {
    case PlaybackOp::Play:
    case PlaybackOp::PlayPause:
        if (status_.state == PlayState::Playing)
            ok = op == PlaybackOp::Play || connection_->pause(true);
        else if (status_.state == PlayState::Paused)
            ok = connection_->pause(false);
        else if (count > 0)
            ok = connection_->play(cursor_ >= 0 ? cursor_ : std::max(status_.songPos, 0));
        break;
    case PlaybackOp::Stop:
        ok = connection_->stop();
        break;
    case PlaybackOp::Next:
    case PlaybackOp::Previous:
        if (stopped || status_.state == PlayState::Paused) {
            // MPD's next and previous start playing; the player moves and keeps its state.
            int32_t at = queuePosition() + (op == PlaybackOp::Next ? 1 : -1);
            if (queuePosition() >= 0 && at >= 0 && at < count)
                return selectEntry(at, f);
            return Ok;
        }
        ok = op == PlaybackOp::Next ? connection_->next() : connection_->previous();
        break;
    default:
        return fault(f, HostStatus::UnknownOperation, "not a transport command");
    }
    if (!ok)
        return failed(f);
    cursor_ = -1;
    return refresh(f, true);
}

// --- the playing-now list ----------------------------------------------------------------------

int32_t MpdBackend::queuePosition() {
    if (status_.state == PlayState::Stopped && cursor_ >= 0)
        return cursor_;
    return status_.songPos;
}

HostStatus MpdBackend::selectEntry(int32_t index, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    if (index < -1 || index >= int32_t(queue_.size()))
        return fault(f, HostStatus::BadIndex,
                     "index " + std::to_string(index) + " is outside 0.." +
                         std::to_string(int64_t(queue_.size()) - 1));
    if (index == -1)
        return transport(PlaybackOp::Stop, f);
    if (status_.state == PlayState::Stopped) {
        // MPD chooses an entry only by playing it: the choice waits for the next play.
        if (index != queuePosition()) {
            cursor_ = index;
            notify(host::kNotifyTrackChange);
            statusChanged();
        }
        return Ok;
    }
    // Playing or paused: the entry starts from its beginning, in the same state.
    const bool paused = status_.state == PlayState::Paused;
    if (!connection_->seekEntry(uint32_t(index), 0) || (paused && !connection_->pause(true)))
        return failed(f);
    return refresh(f, true);
}

HostStatus MpdBackend::insertEntry(int32_t key, int32_t at, bool& done, HostFault* f) {
    done = false;
    if (!connection_)
        return notConnected(f);
    const std::string* uri = uriOf(key);
    const int32_t count = int32_t(queue_.size());
    if (!uri || at < -1 || at > count)
        return Ok;
    if (!connection_->add(*uri, at == count ? -1 : at))
        return failed(f);
    if (cursor_ >= 0 && at >= 0 && at <= cursor_)
        ++cursor_; // the chosen entry moved down
    done = true;
    return refresh(f, true);
}

HostStatus MpdBackend::removeEntry(int32_t index, bool& done, HostFault* f) {
    done = false;
    if (!connection_)
        return notConnected(f);
    if (index < 0 || index >= int32_t(queue_.size()))
        return Ok;
    if (!connection_->remove(uint32_t(index)))
        return failed(f);
    if (cursor_ > index)
        --cursor_;
    done = true;
    return refresh(f, true);
}

HostStatus MpdBackend::clearQueue(HostFault* f) {
    if (!connection_)
        return notConnected(f);
    if (!connection_->clear())
        return failed(f);
    cursor_ = -1;
    return refresh(f, true);
}

HostStatus MpdBackend::playKeys(const std::vector<int32_t>& keys, int32_t start, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    std::vector<std::string> uris;
    for (int32_t key : keys)
        if (const std::string* uri = uriOf(key))
            uris.push_back(*uri);
    if (uris.empty())
        return fault(f, HostStatus::Failed, "nothing to play");
    if (start < 0 || size_t(start) >= uris.size())
        start = 0;
    if (!connection_->playSongs(uris, uint32_t(start)))
        return failed(f);
    cursor_ = -1;
    return refresh(f, true);
}

HostStatus MpdBackend::putShuffle(bool on, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    if (!connection_->random(on))
        return failed(f);
    return refresh(f, true);
}

RepeatMode MpdBackend::repeatMode() {
    if (!status_.repeat)
        return RepeatMode::Off; // single alone stops after the track: no repeat
    return status_.single ? RepeatMode::Track : RepeatMode::List;
}

HostStatus MpdBackend::putRepeat(RepeatMode mode, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    if (!connection_->repeatSingle(mode != RepeatMode::Off, mode == RepeatMode::Track))
        return failed(f);
    return refresh(f, true);
}

// --- volume and equalizer ----------------------------------------------------------------------

HostStatus MpdBackend::volumeLevel(int32_t& level, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    if (status_.volume < 0)
        return fault(f, HostStatus::Failed, "MPD has no mixer for its output");
    level = status_.volume;
    return Ok;
}

HostStatus MpdBackend::putVolume(int32_t level, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    if (!connection_->setVolume(uint32_t(level)))
        return failed(f);
    return refresh(f, true);
}

HostStatus MpdBackend::putMuted(bool, HostFault* f) {
    return fault(f, HostStatus::Failed, "MPD has no mute switch");
}

HostStatus MpdBackend::putEqualizerOn(bool, HostFault* f) {
    return fault(f, HostStatus::Failed, "MPD has no equalizer");
}

HostStatus MpdBackend::putBand(int32_t, int32_t, HostFault* f) {
    return fault(f, HostStatus::Failed, "MPD has no equalizer");
}

// --- stored playlists --------------------------------------------------------------------------

const medialib::PlaylistData* MpdBackend::findPlaylist(int32_t id) {
    for (const auto& p : playlists_)
        if (p.id == id)
            return &p;
    return nullptr;
}

HostStatus MpdBackend::playlistKeys(const medialib::PlaylistData& playlist,
                                    std::vector<int32_t>& keys, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    std::vector<std::string> uris;
    if (!connection_->playlistSongs(utf16ToUtf8(playlist.name), uris))
        return failed(f);
    keys.clear();
    for (const auto& uri : uris) {
        mpdclient::SongInfo song;
        song.uri = uri;
        keys.push_back(keyOf(song));
    }
    return Ok;
}

HostStatus MpdBackend::storePlaylistKeys(int32_t id, const std::vector<int32_t>& keys, bool& stored,
                                         HostFault* f) {
    stored = false;
    if (!connection_)
        return notConnected(f);
    const medialib::PlaylistData* p = findPlaylist(id);
    if (!p)
        return fault(f, HostStatus::Failed, "the playlist was deleted");
    std::vector<std::string> uris;
    for (int32_t key : keys)
        if (const std::string* uri = uriOf(key))
            uris.push_back(*uri);
    if (!connection_->storePlaylist(utf16ToUtf8(p->name), uris, true))
        return failed(f);
    stored = true;
    return Ok;
}

HostStatus MpdBackend::createPlaylist(const std::u16string& name, const std::u16string& path,
                                      int32_t& id, HostFault* f) {
    if (!connection_)
        return notConnected(f);
    if (!path.empty())
        return fault(f, HostStatus::Failed, "MPD keeps no playlist groups");
    for (const auto& p : playlists_)
        if (p.name == name)
            return fault(f, HostStatus::Failed, "a playlist of this name exists");
    const std::string utf8 = utf16ToUtf8(name);
    auto song = std::find_if(library_->tracks.begin(), library_->tracks.end(),
                             [](const auto& t) { return t.mediaType == u"Audio"; });
    if (song == library_->tracks.end())
        return fault(f, HostStatus::Failed, "MPD makes playlists only in a library with songs");
    if (!connection_->createPlaylist(utf8, *uriOf(song->key)))
        return failed(f);
    if (!readPlaylists())
        return failed(f);
    id = playlistIds_.keyFor(utf8);
    return Ok;
}

HostStatus MpdBackend::deletePlaylist(const std::u16string& name, const std::u16string& path,
                                      bool& deleted, HostFault* f) {
    deleted = false;
    if (!connection_)
        return notConnected(f);
    if (!path.empty() || !std::any_of(playlists_.begin(), playlists_.end(),
                                      [&](const auto& p) { return p.name == name; }))
        return Ok;
    if (!connection_->removePlaylist(utf16ToUtf8(name)))
        return failed(f);
    deleted = true;
    if (!readPlaylists())
        return failed(f);
    return Ok;
}

} // namespace mpdhost
