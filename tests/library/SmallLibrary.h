// Small libraries built in a test, the simulated player over them, and its root seen through
// a recorder.
#pragma once

#include "simhost/SimPlayer.h"
#include "tests/library/RecordingHost.h"

#include <memory>
#include <string>
#include <vector>

namespace library_test {

inline medialib::Track track(int32_t key, std::u16string artist, std::u16string album,
                             std::u16string name, std::u16string genre = u"Rock") {
    medialib::Track t;
    t.key = key;
    t.path = u"/music/" + name;
    t.artist = std::move(artist);
    t.album = std::move(album);
    t.name = std::move(name);
    t.genre = std::move(genre);
    t.durationSeconds = 200 + key;
    t.trackNumber = key;
    return t;
}

class SmallPlayer {
public:
    explicit SmallPlayer(medialib::LibraryData data, simhost::SimOptions options = {})
        : player(std::move(data), options), recorder(std::make_shared<Recorder>()),
          root(recordedRoot(recorder, player.root())) {}
    explicit SmallPlayer(std::vector<medialib::Track> tracks)
        : SmallPlayer(medialib::LibraryData{std::move(tracks), {}, {}}) {}

    // A fresh recorder (no calls, no rules) over the same player.
    void rerecord() {
        recorder = std::make_shared<Recorder>();
        root = recordedRoot(recorder, player.root());
    }

    simhost::SimPlayer player;
    std::shared_ptr<Recorder> recorder;
    host::HostObjectPtr root;
};

} // namespace library_test
