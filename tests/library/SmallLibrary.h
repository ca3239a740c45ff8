// Small libraries built in a test, the simulated player over them, and its root seen through
// a recorder.
#pragma once

#include "simhost/SimPlayer.h"
#include "tests/library/RecordingHost.h"

#include <gtest/gtest.h>

#include <functional>
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
    t.trackNumber = key;
    return t;
}

struct SmallPlayer {
    explicit SmallPlayer(std::vector<medialib::Track> tracks)
        : player(medialib::LibraryData{std::move(tracks), {}, {}}),
          recorder(std::make_shared<Recorder>()), root(recordedRoot(recorder, player.root())) {}

    simhost::SimPlayer player;
    std::shared_ptr<Recorder> recorder;
    host::HostObjectPtr root;
};

// Runs `request` once (it must succeed), then again with each of its host calls failing in
// turn: every such run must fail. `prepare` sets up each run's fresh recorder.
template <class Request>
void failEachCall(SmallPlayer& p, Request request, const std::function<void()>& prepare = {}) {
    p.recorder->clear();
    if (prepare)
        prepare();
    ASSERT_TRUE(request());
    size_t calls = p.recorder->calls().size();
    for (size_t i = 0; i < calls; ++i) {
        p.recorder->clear();
        if (prepare)
            prepare();
        p.recorder->failCall("", int(i));
        EXPECT_FALSE(request()) << "call " << p.recorder->calls()[i];
    }
}

} // namespace library_test
