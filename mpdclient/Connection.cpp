#include "mpdclient/Connection.h"

#include "platform/Socket.h"

#include <mpd/client.h>

#include <cstring>
#include <mutex>

namespace mpdclient {

namespace {

std::string tag(const mpd_song* song, mpd_tag_type type) {
    const char* value = mpd_song_get_tag(song, type, 0);
    return value ? value : "";
}

SongInfo songInfo(const mpd_song* song) {
    SongInfo s;
    s.uri = mpd_song_get_uri(song);
    s.title = tag(song, MPD_TAG_TITLE);
    s.artist = tag(song, MPD_TAG_ARTIST);
    s.album = tag(song, MPD_TAG_ALBUM);
    s.albumArtist = tag(song, MPD_TAG_ALBUM_ARTIST);
    s.composer = tag(song, MPD_TAG_COMPOSER);
    s.genre = tag(song, MPD_TAG_GENRE);
    s.comment = tag(song, MPD_TAG_COMMENT);
    s.date = tag(song, MPD_TAG_DATE);
    s.track = tag(song, MPD_TAG_TRACK);
    s.disc = tag(song, MPD_TAG_DISC);
    s.durationMs = mpd_song_get_duration_ms(song);
    s.lastModified = int64_t(mpd_song_get_last_modified(song));
    return s;
}

PlayState playState(mpd_state state) {
    switch (state) {
    case MPD_STATE_STOP:
        return PlayState::Stopped;
    case MPD_STATE_PLAY:
        return PlayState::Playing;
    case MPD_STATE_PAUSE:
        return PlayState::Paused;
    default:
        return PlayState::Unknown;
    }
}

// The chunk MPD sends of a picture at a time unless a client asks for more ("binarylimit").
constexpr size_t kPictureChunk = 8192;

// libmpdclient reads the times of songs and playlists ("Last-Modified") through the C
// library's time zone functions, which keep one state for the whole process: connections on
// different threads read such entries one at a time. Held for one entry, not a whole answer,
// so a database being loaded on one connection does not hold up the other's commands.
std::mutex timeParsing;

template <typename Read> auto readTimed(Read read) {
    std::lock_guard<std::mutex> hold(timeParsing);
    return read();
}

} // namespace

std::unique_ptr<Connection> Connection::open(const Address& address, uint32_t timeoutMs,
                                             std::string& error) {
    mpd_connection* c = mpd_connection_new(address.host.c_str(), address.port, timeoutMs);
    if (!c) {
        error = "out of memory connecting to MPD";
        return nullptr;
    }
    if (mpd_connection_get_error(c) != MPD_ERROR_SUCCESS) {
        error = "cannot reach MPD at " + address.describe() + ": " +
                mpd_connection_get_error_message(c);
        mpd_connection_free(c);
        return nullptr;
    }
    std::unique_ptr<Connection> connection(new Connection(c));
    if (!address.password.empty() && !mpd_run_password(c, address.password.c_str())) {
        error = "MPD at " + address.describe() +
                " refused the password: " + mpd_connection_get_error_message(c);
        return nullptr;
    }
    return connection;
}

Connection::Connection(mpd_connection* c) : c_(c), fd_(mpd_connection_get_fd(c)) {}

Connection::~Connection() {
    mpd_connection_free(c_);
}

unsigned Connection::majorVersion() const {
    return mpd_connection_get_server_version(c_)[0];
}

void Connection::interrupt() {
    platform::shutdownBoth(platform::SocketHandle(fd_));
}

bool Connection::check(bool ok) {
    mpd_error e = mpd_connection_get_error(c_);
    if (ok && e == MPD_ERROR_SUCCESS)
        return true;
    if (e == MPD_ERROR_SUCCESS) {
        error_ = "MPD sent no answer";
        return false;
    }
    error_ = mpd_connection_get_error_message(c_);
    // A refusal or a bad argument leaves the connection usable; anything else ends it.
    bool recoverable = e == MPD_ERROR_SERVER || e == MPD_ERROR_ARGUMENT || e == MPD_ERROR_STATE;
    if (!recoverable || !mpd_connection_clear_error(c_))
        broken_ = true;
    return false;
}

bool Connection::status(StatusInfo& out) {
    mpd_status* s = mpd_run_status(c_);
    if (!check(s != nullptr))
        return false;
    out.state = playState(mpd_status_get_state(s));
    out.songPos = mpd_status_get_song_pos(s);
    out.songId = mpd_status_get_song_id(s);
    out.elapsedMs = mpd_status_get_elapsed_ms(s);
    out.durationMs = mpd_status_get_total_time(s) * 1000;
    out.volume = mpd_status_get_volume(s);
    out.random = mpd_status_get_random(s);
    out.repeat = mpd_status_get_repeat(s);
    out.single = mpd_status_get_single_state(s) != MPD_SINGLE_OFF;
    out.queueVersion = mpd_status_get_queue_version(s);
    out.queueLength = mpd_status_get_queue_length(s);
    out.kbitRate = mpd_status_get_kbit_rate(s);
    out.updatingDb = mpd_status_get_update_id(s) != 0;
    mpd_status_free(s);
    return true;
}

bool Connection::list(const std::function<bool()>& send, std::vector<SongInfo>& out) {
    out.clear();
    if (!check(send()))
        return false;
    while (mpd_entity* entity = readTimed([this] { return mpd_recv_entity(c_); })) {
        if (mpd_entity_get_type(entity) == MPD_ENTITY_TYPE_SONG)
            out.push_back(songInfo(mpd_entity_get_song(entity)));
        mpd_entity_free(entity);
    }
    return check(mpd_response_finish(c_));
}

bool Connection::queue(std::vector<SongInfo>& out) {
    return list([this] { return mpd_send_list_queue_meta(c_); }, out);
}

bool Connection::allSongs(std::vector<SongInfo>& out) {
    return list([this] { return mpd_send_list_all_meta(c_, ""); }, out);
}

bool Connection::stickers(const char* name, std::vector<std::pair<std::string, std::string>>& out,
                          bool& disabled) {
    out.clear();
    disabled = false;
    if (!check(mpd_send_sticker_find(c_, "song", "", name)))
        return false;
    std::string uri;
    while (mpd_pair* pair = mpd_recv_pair(c_)) {
        if (std::strcmp(pair->name, "file") == 0) {
            uri = pair->value;
        } else if (std::strcmp(pair->name, "sticker") == 0) {
            size_t nameLength = 0;
            if (const char* value = mpd_parse_sticker(pair->value, &nameLength))
                out.emplace_back(uri, value);
        }
        mpd_return_pair(c_, pair);
    }
    if (check(mpd_response_finish(c_)))
        return true;
    // MPD built without stickers, or run without a sticker file, refuses the command.
    if (!broken_ && (error_.find("sticker") != std::string::npos ||
                     mpd_connection_get_server_error(c_) == MPD_SERVER_ERROR_UNKNOWN_CMD)) {
        disabled = true;
        return true;
    }
    return false;
}

bool Connection::setSticker(const std::string& uri, const char* name, const std::string& value) {
    return check(mpd_run_sticker_set(c_, "song", uri.c_str(), name, value.c_str()));
}

bool Connection::play(int32_t pos) {
    return check(pos < 0 ? mpd_run_play(c_) : mpd_run_play_pos(c_, unsigned(pos)));
}

bool Connection::pause(bool on) {
    return check(mpd_run_pause(c_, on));
}

bool Connection::stop() {
    return check(mpd_run_stop(c_));
}

bool Connection::next() {
    return check(mpd_run_next(c_));
}

bool Connection::previous() {
    return check(mpd_run_previous(c_));
}

bool Connection::seekCurrent(uint32_t seconds) {
    return check(mpd_run_seek_current(c_, float(seconds), false));
}

bool Connection::seekEntry(uint32_t pos, uint32_t seconds) {
    return check(mpd_run_seek_pos(c_, pos, seconds));
}

bool Connection::add(const std::string& uri, int32_t at) {
    if (at < 0)
        return check(mpd_run_add(c_, uri.c_str()));
    return check(mpd_run_add_id_to(c_, uri.c_str(), unsigned(at)) >= 0);
}

bool Connection::remove(uint32_t pos) {
    return check(mpd_run_delete(c_, pos));
}

bool Connection::clear() {
    return check(mpd_run_clear(c_));
}

bool Connection::playSongs(const std::vector<std::string>& uris, uint32_t start) {
    bool ok = mpd_command_list_begin(c_, false) && mpd_send_clear(c_);
    for (size_t i = 0; ok && i < uris.size(); ++i)
        ok = mpd_send_add(c_, uris[i].c_str());
    ok = ok && mpd_send_play_pos(c_, start) && mpd_command_list_end(c_);
    return check(ok && mpd_response_finish(c_));
}

bool Connection::random(bool on) {
    return check(mpd_run_random(c_, on));
}

bool Connection::repeatSingle(bool repeat, bool single) {
    bool ok = mpd_command_list_begin(c_, false) && mpd_send_repeat(c_, repeat) &&
              mpd_send_single(c_, single) && mpd_command_list_end(c_);
    return check(ok && mpd_response_finish(c_));
}

bool Connection::setVolume(uint32_t volume) {
    return check(mpd_run_set_volume(c_, volume));
}

bool Connection::playlists(std::vector<std::string>& names) {
    names.clear();
    if (!check(mpd_send_list_playlists(c_)))
        return false;
    while (mpd_playlist* p = readTimed([this] { return mpd_recv_playlist(c_); })) {
        names.emplace_back(mpd_playlist_get_path(p));
        mpd_playlist_free(p);
    }
    return check(mpd_response_finish(c_));
}

bool Connection::playlistSongs(const std::string& name, std::vector<std::string>& uris) {
    uris.clear();
    if (!check(mpd_send_list_playlist(c_, name.c_str())))
        return false;
    while (mpd_pair* pair = mpd_recv_pair_named(c_, "file")) {
        uris.emplace_back(pair->value);
        mpd_return_pair(c_, pair);
    }
    return check(mpd_response_finish(c_));
}

bool Connection::storePlaylist(const std::string& name, const std::vector<std::string>& uris,
                               bool exists) {
    // "playlistclear" needs the playlist; "playlistadd" makes it when it is missing.
    bool ok =
        mpd_command_list_begin(c_, false) && (!exists || mpd_send_playlist_clear(c_, name.c_str()));
    for (size_t i = 0; ok && i < uris.size(); ++i)
        ok = mpd_send_playlist_add(c_, name.c_str(), uris[i].c_str());
    ok = ok && mpd_command_list_end(c_);
    return check(ok && mpd_response_finish(c_));
}

bool Connection::createPlaylist(const std::string& name, const std::string& anySong) {
    // MPD makes a playlist only by adding to it: one song in, and out again.
    bool ok = mpd_command_list_begin(c_, false) &&
              mpd_send_playlist_add(c_, name.c_str(), anySong.c_str()) &&
              mpd_send_playlist_delete(c_, name.c_str(), 0) && mpd_command_list_end(c_);
    return check(ok && mpd_response_finish(c_));
}

bool Connection::removePlaylist(const std::string& name) {
    return check(mpd_run_rm(c_, name.c_str()));
}

bool Connection::binary(bool embedded, const std::string& uri, std::vector<uint8_t>& bytes,
                        size_t maxBytes, bool& missing) {
    bytes.clear();
    missing = false;
    uint8_t chunk[kPictureChunk];
    for (;;) {
        int n =
            embedded
                ? mpd_run_readpicture(c_, uri.c_str(), unsigned(bytes.size()), chunk, sizeof chunk)
                : mpd_run_albumart(c_, uri.c_str(), unsigned(bytes.size()), chunk, sizeof chunk);
        if (n < 0) {
            // No picture: "albumart" refuses with "No file exists", "readpicture" answers
            // with nothing.
            mpd_error e = mpd_connection_get_error(c_);
            if (e == MPD_ERROR_SUCCESS ||
                (e == MPD_ERROR_SERVER &&
                 mpd_connection_get_server_error(c_) == MPD_SERVER_ERROR_NO_EXIST)) {
                missing = true;
                bytes.clear();
                if (e != MPD_ERROR_SUCCESS)
                    check(false); // clears the refusal
                return !broken_;
            }
            return check(false);
        }
        if (n == 0) {
            missing = bytes.empty();
            return true;
        }
        if (bytes.size() + size_t(n) > maxBytes) {
            error_ = "the picture is larger than " + std::to_string(maxBytes) + " bytes";
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

bool Connection::picture(const std::string& uri, std::vector<uint8_t>& bytes, size_t maxBytes) {
    bool missing = false;
    if (!binary(false, uri, bytes, maxBytes, missing))
        return false;
    if (!missing)
        return true;
    if (!binary(true, uri, bytes, maxBytes, missing))
        return false;
    return true; // empty when the file has no picture either
}

bool Connection::update() {
    return check(mpd_run_update(c_, nullptr) != 0);
}

bool Connection::waitIdle(unsigned mask, unsigned& changed) {
    if (!check(mpd_send_idle_mask(c_, mpd_idle(mask))))
        return false;
    changed = mpd_recv_idle(c_, true);
    return check(changed != 0);
}

} // namespace mpdclient
