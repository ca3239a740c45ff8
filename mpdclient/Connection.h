// One connection to MPD through Debian's libmpdclient, and the few commands the player backend
// sends, with MPD's answers as plain records. No protocol parsing of our own: libmpdclient
// reads and writes every line.
//
// Threads: a connection is used by one thread at a time (its owner's lock or its own thread);
// only interrupt() may be called from another thread.
//
// Failures: a command returns false and error() says why. A refusal by MPD (an ACK: a bad
// argument, a missing file, a disabled sticker database) leaves the connection usable; any
// other failure (the server went away, a timeout) makes it broken(), to be replaced.
#pragma once

#include "mpdclient/Address.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct mpd_connection;

namespace mpdclient {

// The tags and times of one song, in UTF-8 as MPD sends them (the first value of each tag).
struct SongInfo {
    std::string uri;
    std::string title, artist, album, albumArtist, composer, genre, comment;
    std::string date, track, disc; // as tagged: "2001-05-12", "3/12", "1"
    uint32_t durationMs = 0;
    int64_t lastModified = 0; // seconds since 1970, 0 unknown
};

enum class PlayState { Unknown, Stopped, Playing, Paused };

struct StatusInfo {
    PlayState state = PlayState::Unknown;
    int32_t songPos = -1; // the current entry of the queue, -1 none
    int32_t songId = -1;
    uint32_t elapsedMs = 0;
    uint32_t durationMs = 0;
    int32_t volume = -1; // 0..100; -1: no mixer
    bool random = false, repeat = false, single = false;
    uint32_t queueVersion = 0;
    uint32_t queueLength = 0;
    uint32_t kbitRate = 0;
    bool updatingDb = false;

    bool operator==(const StatusInfo&) const = default;
};

// The idle subsystems, as MPD numbers them.
enum Idle : unsigned {
    IdleDatabase = 0x1,
    IdleStoredPlaylist = 0x2,
    IdleQueue = 0x4,
    IdlePlayer = 0x8,
    IdleMixer = 0x10,
    IdleOptions = 0x40,
    IdleUpdate = 0x80,
    IdleSticker = 0x100,
};

class Connection {
public:
    // Connects (and sends the password when there is one). Null with `error` filled: the
    // address and the system's or MPD's reason.
    static std::unique_ptr<Connection> open(const Address& address, uint32_t timeoutMs,
                                            std::string& error);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& error() const { return error_; }
    bool broken() const { return broken_; }
    // The server's protocol version's major number (0 for every MPD so far).
    unsigned majorVersion() const;
    // Any thread: shuts the socket, so that a wait for an idle event returns at once.
    void interrupt();

    bool status(StatusInfo& out);
    bool queue(std::vector<SongInfo>& out);    // the queue in order
    bool allSongs(std::vector<SongInfo>& out); // every song of the database
    // Every song's value of one sticker: (uri, value). `disabled` set when MPD has no sticker
    // database (the answer is then empty and the call succeeds).
    bool stickers(const char* name, std::vector<std::pair<std::string, std::string>>& out,
                  bool& disabled);
    bool setSticker(const std::string& uri, const char* name, const std::string& value);

    bool play(int32_t pos); // -1: the current entry
    bool pause(bool on);
    bool stop();
    bool next();
    bool previous();
    bool seekCurrent(uint32_t seconds);
    bool seekEntry(uint32_t pos, uint32_t seconds);
    bool add(const std::string& uri, int32_t at); // -1: at the end
    bool remove(uint32_t pos);
    bool clear();
    // Clears the queue, adds the songs and plays entry `start`, as one command list.
    bool playSongs(const std::vector<std::string>& uris, uint32_t start);
    bool random(bool on);
    // Repeat and single together, as one command list.
    bool repeatSingle(bool repeat, bool single);
    bool setVolume(uint32_t volume);

    bool playlists(std::vector<std::string>& names);
    bool playlistSongs(const std::string& name, std::vector<std::string>& uris);
    // Makes the stored playlist hold exactly these songs (`exists`: it is there to be emptied
    // first; otherwise songs create it).
    bool storePlaylist(const std::string& name, const std::vector<std::string>& uris, bool exists);
    // An empty stored playlist; MPD needs a song of its database to make one.
    bool createPlaylist(const std::string& name, const std::string& anySong);
    bool removePlaylist(const std::string& name);

    // The song's cover: the picture file of its folder ("albumart"), else the one embedded in
    // the file ("readpicture"); empty when there is none. At most maxBytes are read.
    bool picture(const std::string& uri, std::vector<uint8_t>& bytes, size_t maxBytes);

    // Asks MPD to rescan its music folder (the "database" idle event follows when done).
    bool update();

    // Blocks until one of the subsystems in `mask` changes, and says which changed.
    bool waitIdle(unsigned mask, unsigned& changed);

private:
    explicit Connection(mpd_connection* c);
    // Reads the connection's error state after a command: false when it failed.
    bool check(bool ok);
    bool binary(bool embedded, const std::string& uri, std::vector<uint8_t>& bytes, size_t maxBytes,
                bool& missing);
    bool list(const std::function<bool()>& send, std::vector<SongInfo>& out);

    mpd_connection* c_;
    int fd_;
    std::string error_;
    bool broken_ = false;
};

} // namespace mpdclient
