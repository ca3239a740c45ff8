// The sending operations the control calls, and the capability mask.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

TEST_F(Engine, PushesCarryWhatTheyAreGiven) {
    auto p = connectAndLogin();
    TrackInfo t;
    t.index = 1;
    t.name = "Hi";
    t.extra = {0, 0, 5, 0};
    server.sendTrackInfo(t);
    ReceivedMessage info = p->next();
    TrackInfoMessage back;
    ASSERT_TRUE(back.decode(info.payload.data(), info.payload.size()));
    EXPECT_EQ(back.track, t);
    server.sendPlayerStatus(PlayerStatus{0x01020304, 1, 2, 0x0200, 0});
    server.sendCurrentIndex(player::kCurrentU); // "none": nothing is sent
    server.sendCurrentIndex(player::kAtEndU);
    server.sendListChanged(player::kNowPlayingU); // the playing-now list has its own message
    server.sendListChanged(0xFFFFFFFE);
    server.sendPlaylistsChanged();
    server.sendEqualizer(EqualizerSetting{"ignored", {{60, 100}}, 100}, 200, 12, 1, true);
    server.sendEqualizer(EqualizerSetting{"", {}, 7}, 0x0102, 3, 0, false);
    server.sendUpdateNotice("v");
    server.sendServerNotice(NOTICE_SETTINGS_CHANGED);
    // The delegate's sleep mode 0..1 and action 0..2 travel plus one; others send nothing.
    server.sendSleepTimer(true, 2, player::SLEEP_ACTION_STOP, 5);
    server.sendSleepTimer(true, player::SLEEP_MODE_AT_TIME, 3, 5);
    server.sendSleepTimer(true, player::SLEEP_MODE_AT_LIST_END, player::SLEEP_ACTION_SUSPEND,
                          0x01020304);
    server.sendSleepTimer(false, player::SLEEP_MODE_AT_TIME, player::SLEEP_ACTION_POWER_OFF, 0);
    server.sendKeepalive();
    const std::pair<uint32_t, Bytes> expected[] = {
        {MSG_PLAYER_STATUS, le32(0x01020304) + Bytes({2, 0, 2, 1, 0x00, 0x02})},
        {MSG_CURRENT_INDEX, le32(0xFFFFFFFE)},
        {MSG_NOW_PLAYING_CHANGED, {}},
        {MSG_PLAYLIST_CHANGED, le32(0xFFFFFFFE)},
        {MSG_PLAYLISTS_CHANGED, {}},
        {MSG_EQUALIZER, {1, 1, 12, 1, 200, 0, 100, 0, 0, 0, 60, 0, 100, 0}},
        {MSG_EQUALIZER, {0, 0, 3, 0, 2, 1, 7, 0, 0, 0}},
        {MSG_UPDATE_NOTICE, {2, 0, 0, 0, 0, 0, 'v', 0}},
        {MSG_SERVER_NOTICE, {4}},
        {MSG_SLEEP_TIMER, Bytes({1, 2, 3, 0}) + le32(0x01020304)},
        {MSG_SLEEP_TIMER, Bytes({0, 1, 2, 0}) + le32(0)},
        {MSG_KEEPALIVE, {}},
    };
    for (const auto& [type, payload] : expected) {
        ReceivedMessage m = p->next();
        EXPECT_EQ(m.type, type);
        EXPECT_EQ(m.payload, payload) << type;
    }
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

} // namespace
} // namespace engine_test
