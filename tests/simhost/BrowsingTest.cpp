// The library browser's expressions run against the demo library through the root object, as
// the bridge will run them; the answers are checked against the library's own data.
#include "medialib/TextFold.h"
#include "simhost/DemoLibrary.h"
#include "simhost/SimPlayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using namespace medialib;
using namespace simhost;
using namespace host;

namespace {

// The browser's escaping: "/" before each of " / [ ] { }.
std::u16string esc(std::u16string_view v) {
    std::u16string out;
    for (char16_t c : v) {
        if (c == u'"' || c == u'/' || c == u'[' || c == u']' || c == u'{' || c == u'}')
            out += u'/';
        out += c;
    }
    return out;
}

std::u16string artistClause(std::u16string_view artist) {
    return u" [Album Artist (auto)]=[" + esc(artist) + u"] or [Artist]=[" + esc(artist) + u"] ";
}

class BrowsingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library = new LibraryData(demoLibrary());
        player = new SimPlayer(*library);
    }
    static void TearDownTestSuite() {
        delete player;
        delete library;
    }

    std::vector<const Track*> search(std::u16string_view expr) {
        HostFault fault;
        auto r = callMethod(player->root().get(), RootOp::Search, {std::u16string(expr)}, &fault);
        EXPECT_TRUE(r.ok()) << fault.description;
        auto files = r.asObject();
        std::vector<const Track*> out;
        int32_t n = callMethod(files.get(), FilesOp::Count).asInt().value_or(0);
        for (int32_t i = 0; i < n; ++i) {
            auto f = callMethod(files.get(), FilesOp::Item, {i}).asObject();
            int32_t key = *callMethod(f.get(), FileOp::Key).asInt();
            out.push_back(byKey(key));
        }
        return out;
    }
    const Track* byKey(int32_t key) {
        for (const auto& t : library->tracks)
            if (t.key == key)
                return &t;
        ADD_FAILURE() << "unknown key " << key;
        return &library->tracks[0];
    }

    static LibraryData* library;
    static SimPlayer* player;
};
LibraryData* BrowsingTest::library = nullptr;
SimPlayer* BrowsingTest::player = nullptr;

// The browser's lists and drill-downs over the demo library's awkward names, and its rule
// fills, against the library's own data.
TEST_F(BrowsingTest, ListsDrillDownsAndRuleFillsMatchTheData) {
    std::set<std::u16string> names;
    for (const Track* t : search(u"~nodup=[Artist] [Media Type]=[Audio] -[Artist]=[]"))
        EXPECT_TRUE(names.insert(t->artist).second) << "one file per artist name";
    for (const Track* t :
         search(u"~nodup=[Album Artist (auto)] [Media Type]=[Audio] -[Album Artist (auto)]=[]"))
        names.insert(t->albumArtist.empty() ? t->artist : t->albumArtist);
    for (const char16_t* name : {u"the case study", u"The Case Study", u"Various Artists"})
        EXPECT_TRUE(names.count(name));
    EXPECT_FALSE(names.count(u""));

    auto genres = search(u"~sort=[Genre] ~nodup=[Genre] [Media Type]=[Audio] -[Genre]=[]");
    ASSERT_GT(genres.size(), 5u);
    for (size_t i = 1; i < genres.size(); ++i)
        EXPECT_LT(compareFolded(genres[i - 1]->genre, genres[i]->genre), 0);
    std::set<std::pair<std::u16string, std::u16string>> albums;
    for (const Track* t : search(u"~sort=[Album] ~nodup=[Album],[Album Artist (auto)] "
                                 u"[Media Type]=[Audio] -[Album]=[]")) {
        EXPECT_EQ(t->mediaType, u"Audio") << "the videos' album is not listed";
        EXPECT_TRUE(albums.emplace(t->album, std::u16string(autoAlbumArtist(*t))).second);
    }
    EXPECT_GT(albums.size(), 150u);

    for (std::u16string artist :
         {u"Salt/Pepper [live]", u"AC/DX", u"The \"Quoted\" Ones", u"{Curly} & Sons"}) {
        auto found = search(u"~sort=[Album]" + artistClause(artist) +
                            u" -[Album]=[] [Media Type]=[Audio] ~nodup=[Album]");
        ASSERT_FALSE(found.empty()) << std::string(artist.begin(), artist.end());
        for (const Track* t : found)
            EXPECT_TRUE(equalsFolded(t->artist, artist) || equalsFolded(t->albumArtist, artist));
    }

    size_t neverPlayed = 0, fourOrMore = 0;
    for (const auto& t : library->tracks) {
        neverPlayed += t.mediaType == u"Audio" && t.playCount == 0;
        fourOrMore += t.mediaType == u"Audio" && t.rating >= 4;
    }
    EXPECT_EQ(search(u"[numberplays]=[] or numberplays=0 [Media Type]=[Audio]").size(),
              neverPlayed);
    EXPECT_EQ(search(u"[rating]=>3 [Media Type]=[Audio]").size(), fourOrMore);
}

TEST_F(BrowsingTest, EventsArriveOnTheThreadThatPumps) {
    platform::ManualClock clock;
    SimPlayer p(*library, SimOptions{&clock, {}, 0, false});
    struct Sink : HostEventSink {
        std::vector<std::thread::id> threads;
        void onHostEvent(int32_t, std::span<const HostValue>) override {
            threads.push_back(std::this_thread::get_id());
        }
    } sink;
    uint32_t cookie = 0;
    ASSERT_EQ(p.root()->advise(&sink, cookie), HostStatus::Ok);
    std::atomic<int> wakes{0};
    p.setWakeHandler([&] { ++wakes; });
    auto playback = callMethod(p.root().get(), RootOp::Playback).asObject();
    callMethod(playback.get(), PlaybackOp::Play); // from this thread, the "worker"
    EXPECT_GT(wakes.load(), 0);
    EXPECT_EQ(p.msUntilNextChange(), 0u) << "something waits for pump()";
    std::thread::id hostThread;
    std::thread host([&] {
        hostThread = std::this_thread::get_id();
        p.pump();
    });
    host.join();
    ASSERT_FALSE(sink.threads.empty());
    for (auto id : sink.threads)
        EXPECT_EQ(id, hostThread);
    EXPECT_GT(*p.msUntilNextChange(), 0u) << "the first track's remaining time";
    callMethod(playback.get(), PlaybackOp::Stop);
    p.pump();
    EXPECT_FALSE(p.msUntilNextChange().has_value()) << "stopped: nothing changes by itself";
}

} // namespace
