// The engine's lifetime: teardown with a live session, and a server without a delegate.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

TEST(EngineLifetime, DestroyingTheServerWithALiveSessionEndsEverything) {
    platform::socketStartup();
    RecordingDelegate fake;
    fake.edit([](Answers& a) { a.status = PlayerStatus{}; });
    auto server = std::make_unique<WinampControlServer>();
    server->setDelegate(&fake);
    ASSERT_TRUE(server->listen(0));
    Peer p(server->boundPort());
    ASSERT_EQ(p.login("", 1, 1), 1);
    p.query(QUERY_PLAYER_STATUS);
    server.reset();
    EXPECT_TRUE(p.client.closedByPeer());
}

TEST(EngineLifetime, WithoutDelegateGreetingAndLoginStillRun) {
    platform::socketStartup();
    WinampControlServer server;
    ASSERT_TRUE(server.listen(0));
    Peer p(server.boundPort());
    EXPECT_EQ(p.login(), 1);
    p.query(QUERY_PLAYER_STATUS);
    p.sendRaw(MSG_PING, {});
    auto got = p.within(100);
    // Capabilities after the result; no keep-alive answer, no status without a delegate.
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, uint32_t(MSG_CAPABILITIES));
    EXPECT_EQ(got[0].payload, le32(0x1CFF) + le32(0));
    server.transport().stopAll(true);
}

} // namespace
} // namespace engine_test
