#include "tools/testkit/posix/MpdServer.h"

#include "mpdclient/Connection.h"
#include "platform/Clock.h"
#include "platform/Socket.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace mpd_test {

namespace {

// Polls until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& cond, uint32_t ms) {
    for (uint32_t start = platform::tickCount(); !cond();) {
        if (platform::tickCount() - start >= ms)
            return cond();
        platform::sleepMs(2);
    }
    return true;
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The folder's cover picture and the embedded one: 400 x 400 PNGs drawn by sox.
bool makePicture(const fs::path& file, int frequency) {
    return run("sox -n -n synth 1 sine " + std::to_string(frequency) +
               " spectrogram -r -x 400 -y 400 -o " + quoted(file.string()));
}

bool makeSong(const fs::path& music, const SongSpec& s) {
    fs::path file = music / s.path;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string tags;
    auto tag = [&](const char* name, const std::string& value) {
        if (!value.empty())
            tags += " " + quoted(std::string("--set-tag=") + name + "=" + value);
    };
    tag("ARTIST", s.artist);
    tag("ALBUM", s.album);
    tag("TITLE", s.title);
    tag("GENRE", s.genre);
    tag("COMPOSER", s.composer);
    tag("ALBUMARTIST", s.albumArtist);
    if (s.track)
        tag("TRACKNUMBER", std::to_string(s.track));
    return run("sox -n -r 8000 -c 1 " + quoted(file.string()) + " synth " +
               std::to_string(s.seconds) + " sine 440") &&
           (tags.empty() || run("metaflac" + tags + " " + quoted(file.string())));
}

} // namespace

const std::vector<SongSpec>& standardSongs() {
    static const std::vector<SongSpec> songs = [] {
        std::vector<SongSpec> v;
        auto album = [&](const std::string& folder, const std::string& artist,
                         const std::string& title, const std::string& genre,
                         const std::string& composer, std::vector<std::string> names,
                         const std::string& albumArtist = "") {
            int n = 0;
            for (const auto& name : names) {
                ++n;
                v.push_back({folder + "/" + std::to_string(n) + " " + name + ".flac", artist, title,
                             name, genre, composer, albumArtist, n, 2});
            }
        };
        album("Anna Berg/First Light", "Anna Berg", "First Light", "Jazz", "Clara Schumann",
              {"Dawn", "Morning", "Noon", "Dusk"});
        album("Anna Berg/Second Wind", "Anna Berg", "Second Wind", "Jazz", "",
              {"Gale", "Breeze", "Calm"});
        album("Björk Ensemble/Blå", "Björk Ensemble", "Blå", "Folk", "Edvard Grieg",
              {"Ström", "Fjäll", "Ö"});
        album("Salt/Spice", "Salt/Pepper [live]", "Spice {1}", "Rock", "", {"Hot", "Cold \"Wet\""});
        album("Various/Hits", "Zed", "Hits \"2000\"", "Pop", "", {"One", "Two"}, "Various Artists");
        v[v.size() - 1].artist = "Anna Berg";
        v.push_back({"Singles/Loner - Alone.flac", "Loner", "", "Alone", "Pop", "", "", 0, 2});
        v.push_back({"Singles/Loner - Again.flac", "Loner", "", "Again", "Pop", "", "", 0, 2});
        v.push_back({"Singles/untagged.flac", "", "", "", "", "", "", 0, 2});
        return v;
    }();
    return songs;
}

bool toolsPresent(std::string& missing) {
    for (const char* tool : {"mpd", "sox", "metaflac"})
        if (!run(std::string("command -v ") + tool)) {
            missing = std::string(tool) + " is not installed (scripts/install-deps.sh installs it)";
            return false;
        }
    return true;
}

MpdServer::MpdServer(const std::vector<SongSpec>& songs, bool withStickers)
    : stickers_(withStickers) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("tandravole-mpd-" + std::to_string(stamp));
    fs::create_directories(dir_ / "music");
    fs::create_directories(dir_ / "playlists");
    for (const SongSpec& s : songs)
        if (!makeSong(dir_ / "music", s))
            problem_ = "cannot make " + s.path + " with sox and metaflac";
    // A cover file in one album's folder, a picture embedded in one file of another.
    if (!makePicture(dir_ / "music/Anna Berg/First Light/cover.png", 440))
        problem_ = "cannot draw a cover with sox";
    const fs::path embedded = dir_ / "embedded.png";
    if (makePicture(embedded, 880))
        run("metaflac --import-picture-from=" + quoted(embedded.string()) + " " +
            quoted((dir_ / "music/Björk Ensemble/Blå/1 Ström.flac").string()));
}

MpdServer::~MpdServer() {
    stop();
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

bool MpdServer::addSong(const SongSpec& song) {
    return makeSong(dir_ / "music", song);
}

bool MpdServer::addGeneratedAlbums(int artists, int albums, int tracks) {
    const fs::path one = dir_ / "one.flac";
    if (!run("sox -n -r 8000 -c 1 " + quoted(one.string()) + " synth 1 sine 440"))
        return false;
    static const char* genres[] = {"Rock", "Jazz", "Pop", "Folk", "Classical", "Blues"};
    for (int a = 0; a < artists; ++a)
        for (int b = 0; b < albums; ++b) {
            const std::string artist = "Artist " + std::to_string(a);
            const std::string album = "Album " + std::to_string(a) + "-" + std::to_string(b);
            const fs::path folder = dir_ / "music" / "generated" / artist / album;
            std::error_code ec;
            fs::create_directories(folder, ec);
            std::string files;
            for (int t = 1; t <= tracks; ++t) {
                const fs::path file = folder / ("Track " + std::to_string(t) + ".flac");
                fs::copy_file(one, file, fs::copy_options::overwrite_existing, ec);
                if (ec)
                    return false;
                files += " " + quoted(file.string());
            }
            if (!run("metaflac " + quoted("--set-tag=ARTIST=" + artist) + " " +
                     quoted("--set-tag=ALBUM=" + album) + " " +
                     quoted(std::string("--set-tag=GENRE=") + genres[(a + b) % 6]) + files))
                return false;
        }
    return true;
}

mpdclient::Address MpdServer::address() const {
    mpdclient::Address a;
    a.port = port_;
    return a;
}

bool MpdServer::start(uint16_t port) {
    if (!problem_.empty())
        return false;
    if (port == 0) { // a port the system had free a moment ago
        platform::socketStartup();
        platform::SocketHandle s = platform::listenTcp4(0);
        port = platform::socketLocalPort(s);
        platform::closeSocket(s);
    }
    port_ = port;
    const fs::path conf = dir_ / "mpd.conf";
    std::ofstream(conf) << "music_directory \"" << (dir_ / "music").string() << "\"\n"
                        << "playlist_directory \"" << (dir_ / "playlists").string() << "\"\n"
                        << "db_file \"" << (dir_ / "database").string() << "\"\n"
                        << "log_file \"" << (dir_ / "log").string() << "\"\n"
                        << (stickers_ ? "sticker_file \"" + (dir_ / "stickers").string() + "\"\n"
                                      : std::string())
                        << "bind_to_address \"127.0.0.1\"\nport \"" << port << "\"\n"
                        << "zeroconf_enabled \"no\"\n"
                        << "audio_output {\n type \"null\"\n name \"null\"\n"
                        << " mixer_type \"software\"\n}\n";
    // mpd runs in the foreground as our child, and the system ends it when this process ends
    // however it ends (a crash, a sanitizer's halt): no daemon outlives the test.
    const std::string confPath = conf.string();
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // The signal follows the thread that forked; a parent gone before prctl took effect
        // would never send it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::execlp("mpd", "mpd", "--no-daemon", confPath.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid_ < 0) {
        pid_ = 0;
        problem_ = "cannot start mpd";
        return false;
    }
    // Its database made from the music folder, once mpd answers.
    std::unique_ptr<mpdclient::Connection> c;
    std::string error;
    bool ready = waitUntil(
                     [&] {
                         c = mpdclient::Connection::open(address(), 2000, error);
                         return c != nullptr;
                     },
                     20000) &&
                 c->update() &&
                 waitUntil(
                     [&] {
                         mpdclient::StatusInfo status;
                         return c->status(status) && !status.updatingDb;
                     },
                     20000);
    if (!ready)
        problem_ = "mpd did not answer on 127.0.0.1:" + std::to_string(port);
    return ready;
}

void MpdServer::stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    bool gone = waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 20000);
    if (!gone) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = 0;
}

} // namespace mpd_test
