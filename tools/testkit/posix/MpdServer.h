// A real mpd for tests and benchmarks: its own music folder (short tagged FLAC files made with sox
// and metaflac), database, sticker file and playlists in a temporary folder, a null audio output
// with a software mixer, on a free port of 127.0.0.1. Started and stopped by its pid; never a
// daemon that outlives the test, never the system's MPD.
#pragma once

#include "mpdclient/Address.h"

#include <filesystem>
#include <string>
#include <vector>

namespace mpd_test {

// One file of the generated music folder.
struct SongSpec {
    std::string path; // inside the music folder
    std::string artist, album, title, genre, composer, albumArtist;
    int track = 0;
    int seconds = 2;
};

// The music every test plays, made once per test program.
const std::vector<SongSpec>& standardSongs();

// Whether mpd, sox and metaflac are installed; otherwise why not.
bool toolsPresent(std::string& missing);

class MpdServer {
public:
    // Makes the folder and the music (`withStickers`: a sticker file). Nothing runs yet.
    MpdServer(const std::vector<SongSpec>& songs, bool withStickers = true);
    ~MpdServer(); // stops mpd and removes the folder

    // Starts mpd on the port (0: a free one) and waits until its database is up to date.
    bool start(uint16_t port = 0);
    void stop();
    bool running() const { return pid_ > 0; }
    // Adds a song to the music folder (MPD sees it after an update).
    bool addSong(const SongSpec& song);
    // Fills the music folder with artists x albums x tracks copies of one short file, tagged
    // one album at a time (quick enough for ten thousand files).
    bool addGeneratedAlbums(int artists, int albums, int tracks);

    uint16_t port() const { return port_; }
    mpdclient::Address address() const;
    const std::filesystem::path& dir() const { return dir_; }
    const std::string& problem() const { return problem_; }

private:
    std::filesystem::path dir_;
    uint16_t port_ = 0;
    int pid_ = 0;
    bool stickers_;
    std::string problem_;
};

} // namespace mpd_test
