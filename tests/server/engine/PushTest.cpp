// The sending operations the control calls, byte by byte, and the capability mask.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

TEST_F(Engine, PushesAreByteExact) {
    auto p = connectAndLogin();
    TrackInfo t;
    t.index = 1;
    t.name = "Hi";
    t.extra = {0, 0, 5, 0}; // the third value alone brings the extra block
    server.sendTrackInfo(t);
    ReceivedMessage info = p->next();
    ASSERT_EQ(info.type, uint32_t(MSG_TRACK_INFO));
    EXPECT_EQ(info.payload, le32(1) + le32(0) + Bytes(6, 0) + Bytes(16, 0) +
                                Bytes({0x04, 2, 0, 0, 0}) + text0("Hi") + Bytes(3, 0) +
                                Bytes({0, 0, 0, 0, 5, 0, 0, 0}));

    // The volume byte is the volume divided by 257 (512 / 257 = 1, not 512 / 256).
    server.sendPlayerStatus(PlayerStatus{0x01020304, 1, 2, 0x0200, 0});
    EXPECT_EQ(p->next().payload, le32(0x01020304) + Bytes({2, 0, 2, 1, 0x00, 0x02}));

    // Current index: 0xFFFFFFFF is "none" and sends nothing; 0xFFFFFFFE is an index.
    server.sendCurrentIndex(player::kCurrentU);
    server.sendCurrentIndex(player::kAtEndU);
    ReceivedMessage index = p->next();
    EXPECT_EQ(index.type, uint32_t(MSG_CURRENT_INDEX));
    EXPECT_EQ(index.payload, le32(0xFFFFFFFE));

    // List changes: the playing-now list has its own message.
    server.sendListChanged(player::kNowPlayingU);
    ReceivedMessage nowPlaying = p->next();
    EXPECT_EQ(nowPlaying.type, uint32_t(MSG_NOW_PLAYING_CHANGED));
    EXPECT_TRUE(nowPlaying.payload.empty());
    server.sendListChanged(0xFFFFFFFE);
    ReceivedMessage changed = p->next();
    EXPECT_EQ(changed.type, uint32_t(MSG_PLAYLIST_CHANGED));
    EXPECT_EQ(changed.payload, le32(0xFFFFFFFE));
    server.sendPlaylistsChanged();
    ReceivedMessage lists = p->next();
    EXPECT_EQ(lists.type, uint32_t(MSG_PLAYLISTS_CHANGED));
    EXPECT_TRUE(lists.payload.empty());

    server.sendEqualizer(EqualizerSetting{"ignored", {{60, 100}}, 100}, 200, 12, 1, true);
    EXPECT_EQ(p->next().payload, (Bytes({1, 1, 12, 1, 200, 0, 100, 0, 0, 0, 60, 0, 100, 0})));
    server.sendEqualizer(EqualizerSetting{"", {}, 7}, 0x0102, 3, 0, false);
    EXPECT_EQ(p->next().payload, (Bytes({0, 0, 3, 0, 2, 1, 7, 0, 0, 0})));

    server.sendUpdateNotice("v");
    EXPECT_EQ(p->next().payload, (Bytes({2, 0, 0, 0, 0, 0, 'v', 0})));
    server.sendServerNotice(NOTICE_SETTINGS_CHANGED);
    ReceivedMessage notice = p->next();
    EXPECT_EQ(notice.type, uint32_t(MSG_SERVER_NOTICE));
    EXPECT_EQ(notice.payload, Bytes{4});
    server.sendKeepalive();
    ReceivedMessage probe = p->next();
    EXPECT_EQ(probe.type, uint32_t(MSG_KEEPALIVE));
    EXPECT_TRUE(probe.payload.empty());
}

// The delegate's mode 0..1 and action 0..2 travel plus one; anything else sends nothing.
TEST_F(Engine, SleepTimerPushesOnlyCodesTheWireCanCarry) {
    auto p = connectAndLogin();
    server.sendSleepTimer(true, 2, player::SLEEP_ACTION_STOP, 5);
    server.sendSleepTimer(true, player::SLEEP_MODE_AT_TIME, 3, 5);
    server.sendSleepTimer(true, player::SLEEP_MODE_AT_LIST_END, player::SLEEP_ACTION_SUSPEND,
                          0x01020304);
    server.sendSleepTimer(false, player::SLEEP_MODE_AT_TIME, player::SLEEP_ACTION_POWER_OFF, 0);
    ReceivedMessage first = p->next();
    EXPECT_EQ(first.type, uint32_t(MSG_SLEEP_TIMER));
    EXPECT_EQ(first.payload, Bytes({1, 2, 3, 0}) + le32(0x01020304));
    EXPECT_EQ(p->next().payload, Bytes({0, 1, 2, 0}) + le32(0));
}

// Pushes the delegate makes during the login come after the result and before the
// capabilities, then the keep-alive probe when one was asked for.
TEST_F(Engine, LoginPushesComeBetweenTheResultAndTheCapabilities) {
    server.keepalive().setClock(clock);
    fake.onCall(Op::OnClientLogin, [&] {
        server.sendKeepalive();
        server.sendPlayerStatus(PlayerStatus{});
    });
    Peer p(port);
    p.hello();
    p.sendRaw(MSG_LOGIN, Bytes(16, 0) + Bytes({0, 1}));
    std::vector<uint32_t> types;
    for (int i = 0; i < 5; ++i)
        types.push_back(p.next().type);
    EXPECT_EQ(types, (std::vector<uint32_t>{MSG_LOGIN_RESULT, MSG_KEEPALIVE, MSG_PLAYER_STATUS,
                                            MSG_CAPABILITIES, MSG_KEEPALIVE}));
}

TEST(EngineCapabilities, EachFlagSetsItsOwnBit) {
    WinampControlServer server;
    EXPECT_EQ(server.capabilityMask(), 0x1CFFu); // flags 0..7 and 10..12 from construction
    for (size_t i = 0; i < kCapabilityCount; ++i)
        server.setCapabilityFlag(i, false);
    EXPECT_EQ(server.capabilityMask(), 0u);
    const uint8_t bits[kCapabilityCount] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                            11, 12, 13, 14, 15, 16, 17, 20, 18, 21, 22};
    for (size_t i = 0; i < kCapabilityCount; ++i) {
        server.setCapabilityFlag(i, true);
        EXPECT_EQ(server.capabilityMask(), uint64_t(1) << bits[i]) << "flag " << i;
        server.setCapabilityFlag(i, false);
    }
    server.setCapabilityFlag(kCapabilityCount, true); // no such flag: ignored
    EXPECT_EQ(server.capabilityMask(), 0u);
    server.setAllCapabilities();
    EXPECT_EQ(server.capabilityMask(), 0x77FFFFu);
}

TEST_F(Engine, CapabilitiesCarryTheFlagsSetAtTheTime) {
    server.setCapabilityFlag(0, false);
    server.setCapabilityFlag(18, false);
    auto p = std::make_unique<Peer>(port);
    ASSERT_EQ(p->login(), 1);
    EXPECT_EQ(p->next().payload, le32(0x0067FFFE) + le32(0));
    server.setCapabilityFlag(18, true);
    server.sendCapabilities();
    EXPECT_EQ(p->next().payload, le32(0x0077FFFE) + le32(0));
}

} // namespace
} // namespace engine_test
