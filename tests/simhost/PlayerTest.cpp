// The simulated player through its automation objects, as the bridge will drive it: playback
// with a hand-moved clock, the events it raises and the thread they arrive on, playlist edits,
// the equalizer, files, and failures reported instead of crashes.
#include "simhost/SimPlayer.h"
#include "tests/library/RecordingHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace medialib;
using namespace simhost;
using namespace host;
using library_test::smallLibrary;

namespace {

struct RecordingSink : HostEventSink {
    std::vector<std::u16string> names;
    std::vector<std::thread::id> threads;
    void onHostEvent(int32_t id, std::span<const HostValue> args) override {
        EXPECT_EQ(id, kEventNotify);
        ASSERT_GE(args.size(), 2u);
        names.push_back(*args[1].asText());
        threads.push_back(std::this_thread::get_id());
    }
};

class PlayerTest : public ::testing::Test {
protected:
    PlayerTest() : player(smallLibrary(), SimOptions{&clock, {}, 0, false}) {
        root = player.root();
        playback = callMethod(root.get(), RootOp::Playback).asObject();
        now = callMethod(root.get(), RootOp::PlayingNow).asObject();
        volume = callMethod(root.get(), RootOp::VolumeEqualizer).asObject();
        EXPECT_EQ(root->advise(&sink, cookie), HostStatus::Ok);
    }
    int32_t state() { return *getProperty(playback.get(), PlaybackOp::State).asInt(); }
    int32_t seconds() { return *getProperty(playback.get(), PlaybackOp::Position).asInt(); }
    int32_t current() { return *getProperty(now.get(), PlayingNowOp::Position).asInt(); }
    std::vector<int32_t> keysOf(const HostObjectPtr& files) {
        std::vector<int32_t> keys;
        for (int32_t i = 0; i < *callMethod(files.get(), FilesOp::Count).asInt(); ++i) {
            auto f = callMethod(files.get(), FilesOp::Item, {i}).asObject();
            keys.push_back(*callMethod(f.get(), FileOp::Key).asInt());
        }
        return keys;
    }
    void act(PlaybackOp op) { ASSERT_TRUE(callMethod(playback.get(), op).ok()); }
    std::vector<std::u16string> events() {
        sink.names.clear();
        player.pump();
        return sink.names;
    }

    platform::ManualClock clock;
    SimPlayer player;
    HostObjectPtr root, playback, now, volume;
    RecordingSink sink;
    uint32_t cookie = 0;
};

TEST_F(PlayerTest, PlaybackFollowsTheClockWaitsForATrackAndRepeats) {
    auto files = callMethod(root.get(), RootOp::Search, {u"~sort=[Name]"}).asObject();
    ASSERT_TRUE(callMethod(files.get(), FilesOp::Play, {-1}).ok());
    clock.advance(9999);
    EXPECT_EQ(std::pair(current(), seconds()), std::pair(0, 9));
    // Three tracks end in one jump: 1 ms of A, 20 s of B, 30 s of C, 40 s of D -> 5 s into E.
    clock.advance(1 + 20000 + 30000 + 40000 + 5000);
    EXPECT_EQ(std::pair(current(), seconds()), std::pair(4, 5));
    clock.advance(45000 + 60000); // the end of the list: stop on the last entry
    EXPECT_EQ(state(), int32_t(PlaybackState::Stopped));
    EXPECT_EQ(std::pair(current(), seconds()), std::pair(5, 0));
    // Every track that played to its end counted a play.
    auto third = callMethod(now.get(), PlayingNowOp::Item, {2}).asObject();
    EXPECT_EQ(*getProperty(third.get(), FileOp::IntProperty11).asInt(), 8);

    // Repeat of the list wraps; repeat of the track restarts it (the bridge's PlaybackCommands
    // switches repeat on and off).
    auto one = callMethod(root.get(), RootOp::Search, {u"[Album]=[One]"}).asObject();
    callMethod(one.get(), FilesOp::Play, {-1});
    ASSERT_TRUE(putProperty(now.get(), PlayingNowOp::Repeat, HostValue::boolean(true)).ok());
    clock.advance(10000 + 20000 + 30000 + 2000);
    EXPECT_EQ(std::pair(current(), seconds()), std::pair(0, 2));
    player.setRepeatMode(RepeatMode::Track);
    clock.advance(8000 + 10000 + 3000);
    EXPECT_EQ(std::pair(current(), seconds()), std::pair(0, 3));

    // A player that takes 500 ms to open a file waits before the track starts.
    SimPlayer slow(smallLibrary(), SimOptions{&clock, {}, 500, false});
    auto pb = callMethod(slow.root().get(), RootOp::Playback).asObject();
    auto first = callMethod(slow.root().get(), RootOp::Search, {u"[Key]=100"}).asObject();
    callMethod(first.get(), FilesOp::Play, {-1});
    EXPECT_EQ(*getProperty(pb.get(), PlaybackOp::State).asInt(), int32_t(PlaybackState::Waiting));
    clock.advance(500 + 4000);
    EXPECT_EQ(*getProperty(pb.get(), PlaybackOp::Position).asInt(), 4);
    EXPECT_EQ(*slow.msUntilNextChange(), 6000u);
}

TEST_F(PlayerTest, TransportCommandsTheirEventsAndStatusMessages) {
    std::vector<std::pair<int32_t, uint64_t>> messages;
    player.setWindowMessageHandler([&](int32_t w, uint32_t msg, uint64_t wp, int64_t) {
        EXPECT_EQ(msg, kStatusWindowMessage);
        messages.emplace_back(w, wp);
    });
    ASSERT_TRUE(callMethod(root.get(), RootOp::RegisterWindow, {0x1234, 1}).ok());
    std::atomic<int> wakes{0};
    player.setWakeHandler([&] { ++wakes; });
    events();
    messages.clear();
    act(PlaybackOp::Play); // position -1: the first entry is selected and plays
    EXPECT_EQ(current(), 0);
    EXPECT_GT(wakes.load(), 0);
    EXPECT_EQ(player.msUntilNextChange(), 0u) << "something waits for pump()";
    EXPECT_TRUE(messages.empty()) << "messages wait for the player's thread";
    // Events and messages are delivered on the thread that pumps.
    std::thread::id pumping;
    std::thread([&] {
        pumping = std::this_thread::get_id();
        player.pump();
    }).join();
    EXPECT_EQ(std::count(sink.names.begin(), sink.names.end(), kNotifyTrackChange), 1);
    EXPECT_EQ(sink.threads, std::vector(sink.threads.size(), pumping));
    ASSERT_EQ(messages.size(), 1u) << "queued status changes coalesce into one message";
    EXPECT_EQ(messages[0], (std::pair<int32_t, uint64_t>(0x1234, kStatusWindowParam)));
    EXPECT_EQ(*player.msUntilNextChange(), 10000u) << "the first track's remaining time";

    clock.advance(3000);
    act(PlaybackOp::PlayPause);
    EXPECT_EQ(state(), int32_t(PlaybackState::Paused));
    clock.advance(60000);
    act(PlaybackOp::Play);
    EXPECT_EQ(seconds(), 3) << "a paused track does not advance";

    act(PlaybackOp::Next);
    clock.advance(2000);
    act(PlaybackOp::Previous); // early in a track: the previous entry
    EXPECT_EQ(current(), 0);
    clock.advance(6000);
    act(PlaybackOp::Previous); // later: the same track from its start
    EXPECT_EQ(current(), 0);
    EXPECT_EQ(seconds(), 0);

    act(PlaybackOp::Stop);
    events();
    EXPECT_FALSE(player.msUntilNextChange().has_value()) << "stopped: nothing changes by itself";
    messages.clear();
    putProperty(volume.get(), VolumeOp::Volume, 30);
    EXPECT_EQ(events(), (std::vector<std::u16string>{kNotifyVolumeChanged}));
    EXPECT_EQ(messages.size(), 1u);
    callMethod(root.get(), RootOp::RegisterWindow, {0x1234, 0});
    root->unadvise(cookie);
    act(PlaybackOp::Play);
    EXPECT_TRUE(events().empty()) << "an unadvised sink hears nothing";
    EXPECT_EQ(messages.size(), 1u) << "an unregistered window gets nothing";
}

// Listing and moving entries are the bridge's (tests/bridge/ListsTest.cpp); here what the
// player refuses and how deleted lists answer.
TEST_F(PlayerTest, WhatPlaylistsRefuseAndHowADeletedOneAnswers) {
    auto lists = callMethod(root.get(), RootOp::Playlists).asObject();
    auto files = callMethod(callMethod(root.get(), RootOp::PlaylistById, {7}).asObject().get(),
                            PlaylistOp::Files)
                     .asObject();
    EXPECT_FALSE(callMethod(files.get(), FilesOp::Remove, {3}).isTrue());
    EXPECT_EQ(callMethod(files.get(), FilesOp::AppendKey, {4242}).status, HostStatus::Failed);
    // Smart lists come from their expression; groups and smart lists take no files.
    auto smart = callMethod(root.get(), RootOp::PlaylistById, {9}).asObject();
    EXPECT_EQ(keysOf(callMethod(smart.get(), PlaylistOp::Files).asObject()).size(), 3u);
    EXPECT_FALSE(callMethod(smart.get(), PlaylistOp::SetFiles, {files}).isTrue());

    auto made = callMethod(lists.get(), PlaylistsOp::Create, {u"Fresh", u""}).asObject();
    ASSERT_TRUE(made);
    int32_t id = *callMethod(made.get(), PlaylistOp::Id).asInt();
    EXPECT_GT(id, 10);
    EXPECT_FALSE(callMethod(lists.get(), PlaylistsOp::Delete, {u"Fresh", u"Elsewhere"}).isTrue());
    EXPECT_TRUE(callMethod(lists.get(), PlaylistsOp::Delete, {u"fresh", u""}).isTrue());
    // A deleted playlist's object fails instead of answering stale data.
    EXPECT_EQ(callMethod(made.get(), PlaylistOp::Id).status, HostStatus::Failed);
    EXPECT_EQ(callMethod(root.get(), RootOp::PlaylistById, {id}).asObject(), nullptr);
}

TEST_F(PlayerTest, FilesNarrowingVolumeEqualizerAndFailures) {
    HostFault fault;
    EXPECT_EQ(callMethod(root.get(), RootOp::Search, {u"[Nope]=[x]"}, &fault).status,
              HostStatus::Failed);
    EXPECT_EQ(fault.description, "search expression: column 1: unknown field [Nope]");
    EXPECT_EQ(callMethod(root.get(), RootOp::Search, {42}).status, HostStatus::TypeMismatch);
    EXPECT_EQ(callMethod(root.get(), RootOp::Search).status, HostStatus::BadArgumentCount);
    EXPECT_EQ(getProperty(root.get(), RootOp::Playback).status, HostStatus::UnknownOperation);
    auto files = callMethod(root.get(), RootOp::Search, {u"[Key]=102"}).asObject();
    auto f = callMethod(files.get(), FilesOp::Item, {0}).asObject();
    std::vector<std::u16string> texts; // the album artist as tagged, no fallback
    for (FileOp op : {FileOp::Path, FileOp::Album, FileOp::Text, FileOp::AlbumArtist})
        texts.push_back(getProperty(f.get(), op).text());
    for (const char16_t* field : {u"Album Artist (auto)", u"No Such Field"})
        texts.push_back(callMethod(f.get(), FileOp::FieldByName, {field}).text());
    texts.push_back(callMethod(f.get(), FileOp::ImagePath, {4}).text()); // no cover folder
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"D:\\Music\\song2.mp3", u"One", u"la la la", u"",
                                                  u"First Band", u"", u""}));
    std::vector<int32_t> numbers;
    for (FileOp op : {FileOp::Duration, FileOp::TrackNumber, FileOp::IntProperty10,
                      FileOp::IntProperty11, FileOp::Rating})
        numbers.push_back(*getProperty(f.get(), op).asInt());
    EXPECT_EQ(numbers, (std::vector<int32_t>{30, 3, 1999, 7, 2}));
    ASSERT_TRUE(putProperty(f.get(), FileOp::Rating, 9).ok());
    EXPECT_EQ(*getProperty(f.get(), FileOp::Rating).asInt(), 5) << "ratings stay in 0..5";
    EXPECT_EQ(callMethod(f.get(), FileOp::ImagePath, {6}).status, HostStatus::BadIndex);

    // Narrowing keeps the order and applies the modifiers.
    files = callMethod(root.get(), RootOp::Search, {u"~sort=[Duration]"}).asObject();
    ASSERT_TRUE(callMethod(files.get(), FilesOp::Narrow, {u"[Artist]=\"band\" ~n=4"}).ok());
    ASSERT_TRUE(callMethod(files.get(), FilesOp::Narrow, {u"-[Key]=101"}).ok());
    EXPECT_EQ(keysOf(files), (std::vector<int32_t>{100, 102, 103}));

    for (auto [asked, kept] : {std::pair{150, 100}, {-5, 0}}) {
        ASSERT_TRUE(putProperty(volume.get(), VolumeOp::Volume, asked).ok());
        EXPECT_EQ(*getProperty(volume.get(), VolumeOp::Volume).asInt(), kept);
    }
    EXPECT_FALSE(getProperty(volume.get(), VolumeOp::Muted).isTrue());
    player.setMuted(true);
    EXPECT_EQ(getProperty(volume.get(), VolumeOp::Muted).value.asVariantBool(), kVariantTrue);
    events();
    for (auto [band, asked, kept] : {std::tuple{10, -150, -100}, {0, 25, 25}}) {
        ASSERT_TRUE(callMethod(volume.get(), VolumeOp::SetBand, {band, asked}).ok());
        EXPECT_EQ(*callMethod(volume.get(), VolumeOp::Band, {band}).asInt(), kept);
    }
    EXPECT_EQ(callMethod(volume.get(), VolumeOp::Band, {11}).status, HostStatus::BadIndex);
    EXPECT_EQ(callMethod(volume.get(), VolumeOp::SetBand, {-1, 0}).status, HostStatus::BadIndex);
    EXPECT_EQ(events(), (std::vector<std::u16string>{kNotifyEqChanged})) << "coalesced";
}

} // namespace
