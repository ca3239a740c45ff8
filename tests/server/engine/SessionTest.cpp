// Sessions: greeting, login, passwords, refusal, takeover and kick, failing delegate calls and
// the server's teardown.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

// The greeting: version, no password flag (set with a password: the bridge's session test) and
// a challenge (fresh for every connection: the stale response below). Without a password any
// response logs in; MSG_CAPABILITIES follows the result.
TEST_F(Engine, GreetingThenLoginWithoutPasswordAcceptsAnyResponse) {
    Peer p(port);
    ReceivedMessage m = p.next();
    ASSERT_TRUE(m.type == MSG_HELLO && m.payload.size() == 11u);
    EXPECT_EQ(Bytes(m.payload.begin(), m.payload.begin() + 3), (Bytes({0x02, 0x03, 0})));
    EXPECT_TRUE(fake.waitFor("onClientConnected()"));
    EXPECT_EQ(server.compressionMode(), CompressionMode::Fast);
    p.sendRaw(MSG_PING, {}); // not answered before login
    p.sendRaw(MSG_LOGIN, Bytes(16, 0x5A));
    EXPECT_EQ(
        frames({p.next(), p.next()}),
        (Frames{{MSG_LOGIN_RESULT, {1}}, {MSG_CAPABILITIES, {0xFF, 0xFF, 0x77, 0, 0, 0, 0, 0}}}));
    EXPECT_TRUE(fake.waitFor("onClientLogin(1)"));
    EXPECT_EQ(server.compressionMode(), CompressionMode::High);
    // A second login is dropped: no second result, and the session stays.
    p.sendRaw(MSG_LOGIN, Bytes(16, 0));
    p.sendRaw(MSG_PING, {1, 2}); // its payload is ignored
    EXPECT_EQ(p.next().type, uint32_t(MSG_KEEPALIVE));
    EXPECT_EQ(fake.count(Op::OnClientLogin), 1u);
}

// 15 bytes are dropped; 16, 17 and 19 log in without options; exactly 18 carry the
// extended-lists flag and the keep-alive interval.
TEST_F(Engine, LoginSizesDecideWhetherTheOptionBytesCount) {
    server.keepalive().setClock(clock);
    for (size_t size : {15u, 16u, 17u, 18u, 19u}) {
        SCOPED_TRACE(size);
        Peer p(port);
        p.hello();
        Bytes payload(16, 0);
        payload.resize(size, 1); // extended lists
        if (size > 17)
            payload[17] = 3; // keep-alive seconds
        p.sendRaw(MSG_LOGIN, payload);
        ReceivedMessage r = p.next(size == 15 ? 200 : 3000);
        EXPECT_EQ(r.payload, size == 15 ? Bytes{} : Bytes{1});
        if (size > 15) {
            EXPECT_EQ(server.extendedLists(), size == 18);
            EXPECT_EQ(p.next().type, uint32_t(MSG_CAPABILITIES));
            EXPECT_EQ(waitUntil([&] { return server.keepalive().IsRunning(); }, 200), size == 18);
            EXPECT_TRUE(size != 18 || server.keepalive().interval() == 3);
        }
        p.client.close();
        ASSERT_TRUE(sessionEnded());
        ASSERT_TRUE(waitUntil([&] { return !server.keepalive().IsRunning(); }));
    }
}

// A response over another connection's challenge is refused, the connection left open. "Password
// used", which power actions need, is set at every login attempt from whether a password is
// configured, whatever the outcome, and cleared only by kickSession.
TEST_F(Engine, PasswordLoginAndPowerActionsThatNeedAPasswordAtTheLatestAttempt) {
    auto powerActions = [&] { return fake.count(Op::StartPowerAction); };
    // Ends with a request that shows that everything before it was dispatched.
    auto tryPower = [&](Peer& p, uint32_t action = player::POWER_RESTART) {
        p.sendRaw(MSG_QUERY, queryBytes(QUERY_POWER_ACTION, action));
        const uint64_t asked = fake.count(Op::GetCurrentTrackIndex);
        p.query(QUERY_CURRENT_INDEX);
        EXPECT_TRUE(fake.waitForCount(Op::GetCurrentTrackIndex, asked + 1));
    };
    server.setPassword("pässword");
    Bytes stale;
    {
        Peer first(port);
        first.hello();
        stale = first.response("pässword");
    }
    std::unique_ptr<Peer> p;
    auto reconnect = [&] {
        p.reset();
        EXPECT_TRUE(sessionEnded());
        p = std::make_unique<Peer>(port);
        p->hello();
    };
    reconnect();
    tryPower(*p); // before any attempt on this server: the flag is still clear
    EXPECT_EQ(powerActions(), 0u);
    p->sendRaw(MSG_LOGIN, stale);
    EXPECT_EQ(p->next().payload, Bytes{0});
    EXPECT_TRUE(fake.waitFor("onClientLogin(0)"));
    EXPECT_EQ(server.compressionMode(), CompressionMode::High);
    tryPower(*p); // refused, but a password was configured
    EXPECT_TRUE(fake.waitFor("startPowerAction(1)"));
    EXPECT_TRUE(p->within(100).empty());
    EXPECT_FALSE(server.loggedIn());
    // An attempt while no password is configured clears it again, though it logs in.
    server.setPassword("");
    p->sendRaw(MSG_LOGIN, Bytes(16, 0));
    EXPECT_EQ(p->next().payload, Bytes{1});
    tryPower(*p);
    EXPECT_EQ(powerActions(), 1u);

    server.setPassword("pässword");
    reconnect();
    p->sendRaw(MSG_LOGIN, p->response("pässword") + Bytes{1, 0});
    ASSERT_EQ(p->next().payload, Bytes{1});
    EXPECT_TRUE(server.extendedLists());
    // Action codes above 2 are dropped; 0 and 2 are the other two actions.
    tryPower(*p, 3);
    tryPower(*p, 0x0100 | player::POWER_SLEEP);
    tryPower(*p, player::POWER_OFF);
    EXPECT_TRUE(fake.called("startPowerAction(2)"));
    EXPECT_TRUE(fake.called("startPowerAction(0)"));
    EXPECT_EQ(powerActions(), 3u);

    // The flag outlives a connection that simply closed; only a kick clears it.
    reconnect();
    tryPower(*p);
    EXPECT_EQ(powerActions(), 4u);
    server.kickSession();
    ASSERT_TRUE(p->client.closedByPeer());
    reconnect();
    tryPower(*p);
    EXPECT_EQ(powerActions(), 4u);
}

// A second app is refused without a greeting while allow kick is off; with it on it takes
// over, and the app it ends is told only when it had logged in. A kick leaves the keep-alive
// thread watching the next session. Each session event is logged with the connection's id.
TEST_F(Engine, RefusalTakeoverKickAndCloseAreLogged) {
    server.keepalive().setClock(clock);
    auto first = std::make_unique<Peer>(port);
    ASSERT_EQ(first->login("", 1, 1), 1);
    const uint32_t firstId = server.sessionConnection();
    const std::string a = "connection " + std::to_string(firstId);
    EXPECT_TRUE(log.has(LogKind::Connection, a + " accepted"));
    EXPECT_TRUE(log.has(LogKind::Session, a + " logged in"));
    first->sendRaw(MSG_QUIET, {});
    ASSERT_TRUE(waitUntil([&] { return server.quiet(); }));
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
    EXPECT_FALSE(server.loggedIn() || server.quiet() || server.extendedLists());
    const std::string b = "connection " + std::to_string(server.sessionConnection());
    EXPECT_EQ(first->nextOf(MSG_SERVER_NOTICE).payload, Bytes{NOTICE_TAKEN_OVER});
    EXPECT_TRUE(first->client.closedByPeer());
    EXPECT_TRUE(log.has(LogKind::Session, b + " takes the session over from " + a));
    second->sendRaw(MSG_LOGIN, Bytes(16, 0));
    ASSERT_EQ(second->next().payload, Bytes{1});
    // The keep-alive thread of the first login times the new session out.
    EXPECT_TRUE(server.keepalive().IsRunning());
    clock.advance(2001);
    EXPECT_TRUE(second->client.closedByPeer(5000));
    EXPECT_TRUE(log.has(LogKind::Session,
                        b + ": no MSG_KEEPALIVE for more than 2000 ms, the session timed out"));

    // An app that never logged in is taken over without a notice. (The timed-out connection
    // must have left first: two connections are the transport's limit.)
    ASSERT_TRUE(waitUntil([&] { return server.transport().connectionCount() == 0; }));
    Peer third(port);
    third.hello();
    auto fourth = std::make_unique<Peer>(port);
    EXPECT_TRUE(third.client.closedByPeer(3000, &received));
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(fourth->login(), 1);
    const std::string d = "connection " + std::to_string(server.sessionConnection());
    EXPECT_EQ(fake.count(Op::OnClientDisconnected), 0u); // no kicked close is reported
    fourth.reset();
    EXPECT_TRUE(log.waitFor(LogKind::Connection, d + " closed, the session ended"));
    EXPECT_TRUE(fake.waitFor("onClientDisconnected()"));
    EXPECT_FALSE(log.has(LogKind::Connection, a + " closed"));
}

// A delegate call that throws ends the handling of its message or session event only.
TEST_F(Engine, ThrowingDelegateCallsEndOnlyTheirOwnMessageOrEvent) {
    fake.onCall(Op::OnClientConnected, [] { throw std::runtime_error("connected"); });
    fake.onCall(Op::OnClientLogin, [] { throw std::runtime_error("login"); });
    fake.onCall(Op::OnClientDisconnected, [] { throw std::runtime_error("closed"); });
    fake.onCall(Op::GetPlayerStatus, [] { throw std::bad_alloc(); });
    fake.onCall(Op::SetVolume, [] { throw 42; });
    auto p = connectAndLogin(); // greeting, result and capabilities all arrive
    EXPECT_TRUE(log.has(LogKind::Error, "onClientConnected failed: connected"));
    EXPECT_TRUE(log.has(LogKind::Error, "onClientLogin failed: login"));
    const uint32_t id = server.sessionConnection();
    auto got = repliesTo(*p, Op::GetPlayerStatus, [&] {
        p->query(QUERY_PLAYER_STATUS);
        p->sendRaw(MSG_PLAYER_COMMAND, Bytes({CMD_VOLUME, 1, 0, 0, 0}));
    });
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(log.has(LogKind::Message, "connection " + std::to_string(id) +
                                              ": MSG_QUERY dropped, its handling failed: "));
    EXPECT_TRUE(log.has(LogKind::Message, "MSG_PLAYER_COMMAND dropped, its handling failed: an "
                                          "exception of unknown type"));
    p.reset();
    EXPECT_TRUE(log.waitFor(LogKind::Error, "onClientDisconnected failed: closed"));
    ASSERT_TRUE(sessionEnded());
    fake.clearHooks();
    p = connectAndLogin();
    p->query(QUERY_PLAYER_STATUS);
    EXPECT_EQ(p->next().type, uint32_t(MSG_PLAYER_STATUS));
}

TEST(EngineLifetime, WithoutDelegateGreetingAndLoginStillRunAndDestructionEndsTheSession) {
    platform::socketStartup();
    auto server = std::make_unique<WinampControlServer>();
    ASSERT_TRUE(server->listen(0));
    Peer p(server->boundPort());
    EXPECT_EQ(p.login(), 1);
    p.query(QUERY_PLAYER_STATUS);
    p.sendRaw(MSG_PING, {});
    auto got = p.within(100);
    // Capabilities after the result; no keep-alive answer, no status without a delegate.
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].payload, le32(0x1CFF) + le32(0));
    server.reset();
    EXPECT_TRUE(p.client.closedByPeer());
}

} // namespace
} // namespace engine_test
