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

namespace engine_test {
namespace {

// A delegate call that throws ends the handling of its message only: no reply, the failure
// logged, and the next message is served.
TEST_F(Engine, AMessageWhoseHandlingThrowsIsDroppedAndTheSessionGoesOn) {
    auto p = connectAndLogin();
    const uint32_t id = server.sessionConnection();
    fake.onCall(Op::GetPlayerStatus, [] { throw std::bad_alloc(); });
    fake.onCall(Op::SetVolume, [] { throw 42; });
    auto got = repliesTo(*p, Op::GetPlayerStatus, [&] {
        p->query(QUERY_PLAYER_STATUS);
        p->sendRaw(MSG_PLAYER_COMMAND, Bytes({CMD_VOLUME, 1, 0, 0, 0}));
    });
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(log.has(LogKind::Message, "connection " + std::to_string(id) +
                                              ": MSG_QUERY dropped, its handling failed: "));
    EXPECT_TRUE(log.has(LogKind::Message, "MSG_PLAYER_COMMAND dropped, its handling failed: an "
                                          "exception of unknown type"));
    fake.clearHooks();
    p->query(QUERY_PLAYER_STATUS);
    EXPECT_EQ(p->next().type, uint32_t(MSG_PLAYER_STATUS));
    EXPECT_TRUE(server.loggedIn());
}

// The delegate's session events are guarded one by one: the greeting, the capabilities and
// the clean-up after a close still happen.
TEST_F(Engine, ThrowingSessionEventsEndOnlyTheirOwnCall) {
    fake.onCall(Op::OnClientConnected, [] { throw std::runtime_error("connected"); });
    fake.onCall(Op::OnClientLogin, [] { throw std::runtime_error("login"); });
    fake.onCall(Op::OnClientDisconnected, [] { throw std::runtime_error("closed"); });
    auto p = connectAndLogin(); // greeting, result and capabilities all arrive
    EXPECT_TRUE(log.has(LogKind::Error, "onClientConnected failed: connected"));
    EXPECT_TRUE(log.has(LogKind::Error, "onClientLogin failed: login"));
    p.reset();
    EXPECT_TRUE(log.waitFor(LogKind::Error, "onClientDisconnected failed: closed"));
    ASSERT_TRUE(sessionEnded());
    fake.clearHooks();
    p = connectAndLogin();
    p->query(QUERY_CURRENT_INDEX);
    EXPECT_EQ(p->next().type, uint32_t(MSG_CURRENT_INDEX));
}

// A second app is refused without a greeting while allow kick is off; with it on it takes
// over, and the app it ends is told only when it had logged in. Each session event is logged as
// one sentence with the connection's id; a kicked connection's close is not reported as the
// session's end, to the log or to the delegate.
TEST_F(Engine, RefusalTakeoverTimeoutAndCloseAreLogged) {
    server.keepalive().setClock(clock);
    server.setPassword("pw");
    auto first = std::make_unique<Peer>(port);
    first->hello();
    const uint32_t firstId = server.sessionConnection();
    const std::string a = "connection " + std::to_string(firstId);
    EXPECT_TRUE(log.has(LogKind::Connection, a + " accepted"));
    first->sendRaw(MSG_LOGIN, Bytes(16, 0));
    EXPECT_EQ(first->next().payload, Bytes{0});
    EXPECT_TRUE(log.has(LogKind::Session, a + ": login refused"));
    first->sendRaw(MSG_LOGIN, first->response("pw") + Bytes({0, 1}));
    EXPECT_EQ(first->next().payload, Bytes{1});
    EXPECT_TRUE(log.has(LogKind::Session, a + " logged in"));

    Bytes received;
    {
        Peer refused(port);
        EXPECT_TRUE(refused.client.closedByPeer(3000, &received));
        EXPECT_TRUE(received.empty());
    }
    EXPECT_TRUE(log.waitFor(LogKind::Connection, " refused: " + a + " holds the session"));
    EXPECT_EQ(server.sessionConnection(), firstId);

    server.setAllowKick(true);
    auto second = std::make_unique<Peer>(port);
    second->hello();
    const std::string b = "connection " + std::to_string(server.sessionConnection());
    ReceivedMessage notice = first->nextOf(MSG_SERVER_NOTICE);
    EXPECT_EQ(notice.payload, Bytes{NOTICE_TAKEN_OVER});
    EXPECT_TRUE(first->client.closedByPeer());
    EXPECT_TRUE(log.has(LogKind::Session, b + " takes the session over from " + a));
    EXPECT_TRUE(log.has(LogKind::Session, a + " kicked"));
    second->sendRaw(MSG_LOGIN, second->response("pw"));
    ASSERT_EQ(second->next().payload, Bytes{1});

    // The keep-alive thread of the first login times the new session out.
    clock.advance(2001);
    EXPECT_TRUE(second->client.closedByPeer(5000));
    EXPECT_TRUE(log.has(LogKind::Session,
                        b + ": no MSG_KEEPALIVE for more than 2000 ms, the session timed out"));
    EXPECT_TRUE(log.has(LogKind::Session, b + " kicked"));

    // An app that never logged in is taken over without a notice.
    Peer third(port);
    third.hello();
    auto fourth = std::make_unique<Peer>(port);
    EXPECT_TRUE(third.client.closedByPeer(3000, &received));
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(fourth->login("pw"), 1);
    const std::string d = "connection " + std::to_string(server.sessionConnection());
    fourth->query(QUERY_CURRENT_INDEX);
    EXPECT_EQ(fourth->nextOf(MSG_CURRENT_INDEX).type, uint32_t(MSG_CURRENT_INDEX));
    EXPECT_EQ(fake.count(Op::OnClientDisconnected), 0u);
    // A session connection that closes by itself.
    fourth.reset();
    EXPECT_TRUE(log.waitFor(LogKind::Connection, d + " closed, the session ended"));
    EXPECT_FALSE(log.has(LogKind::Connection, a + " closed"));
}

} // namespace
} // namespace engine_test
