// Sessions: the greeting, the login and its sizes, passwords, power-action gating, takeover and
// refusal, and how a session ends.
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

// The greeting: version, password flag, a fresh challenge each time. Without a password any
// response logs in; MSG_CAPABILITIES follows the result.
TEST_F(Engine, GreetingThenLoginWithoutPasswordAcceptsAnyResponse) {
    server.setPassword("secret");
    Peer a(port);
    ReceivedMessage m = a.next();
    ASSERT_EQ(m.type, uint32_t(MSG_HELLO));
    ASSERT_EQ(m.payload.size(), 11u);
    EXPECT_EQ(Bytes(m.payload.begin(), m.payload.begin() + 3), (Bytes({0x02, 0x03, 1})));
    EXPECT_TRUE(fake.waitFor("onClientConnected()"));
    a.client.close();
    ASSERT_TRUE(sessionEnded());
    server.setPassword("");
    Peer p(port);
    ReceivedMessage m2 = p.next();
    ASSERT_EQ(m2.payload.size(), 11u);
    EXPECT_EQ(m2.payload[2], 0); // no password
    EXPECT_NE(Bytes(m.payload.begin() + 3, m.payload.end()),
              Bytes(m2.payload.begin() + 3, m2.payload.end()));

    EXPECT_EQ(server.compressionMode(), CompressionMode::Fast);
    p.sendRaw(MSG_PING, {}); // not answered before login
    p.sendRaw(MSG_LOGIN, Bytes(16, 0x5A));
    ReceivedMessage r = p.next();
    ASSERT_EQ(r.type, uint32_t(MSG_LOGIN_RESULT));
    EXPECT_EQ(r.payload, Bytes{1});
    ReceivedMessage caps = p.next();
    ASSERT_EQ(caps.type, uint32_t(MSG_CAPABILITIES));
    EXPECT_EQ(caps.payload, (Bytes({0xFF, 0xFF, 0x77, 0, 0, 0, 0, 0})));
    EXPECT_TRUE(fake.waitFor("onClientLogin(1)"));
    EXPECT_EQ(server.compressionMode(), CompressionMode::High);
    // A second login is dropped: no second result, and the session stays.
    p.sendRaw(MSG_LOGIN, Bytes(16, 0));
    p.sendRaw(MSG_PING, {1, 2}); // its payload is ignored
    EXPECT_EQ(p.next().type, uint32_t(MSG_KEEPALIVE));
    EXPECT_EQ(fake.count(Op::OnClientLogin), 1u);
}

// 15 bytes are dropped; 16, 17 and 19 log in without options; exactly 18 carry the
// extended-lists flag and the keep-alive interval (its thread starts after MSG_CAPABILITIES).
TEST_F(Engine, LoginSizesDecideWhetherTheOptionBytesCount) {
    server.keepalive().setClock(clock);
    for (size_t size : {15u, 16u, 17u, 18u, 19u}) {
        SCOPED_TRACE(size);
        const bool options = size == 18;
        Peer p(port);
        p.hello();
        Bytes payload(16, 0);
        payload.resize(size, 1); // extended lists
        if (size > 17)
            payload[17] = 3; // keep-alive seconds
        p.sendRaw(MSG_LOGIN, payload);
        ReceivedMessage r = p.next(size == 15 ? 200 : 3000);
        if (size == 15) {
            EXPECT_EQ(r.type, 0u);
            EXPECT_EQ(server.compressionMode(), CompressionMode::Fast);
        } else {
            EXPECT_EQ(r.payload, Bytes{1});
            EXPECT_EQ(server.extendedLists(), options);
            EXPECT_EQ(p.next().type, uint32_t(MSG_CAPABILITIES));
            if (options) {
                EXPECT_TRUE(waitUntil([&] { return server.keepalive().IsRunning(); }));
                EXPECT_EQ(server.keepalive().interval(), 3);
            } else {
                EXPECT_FALSE(server.keepalive().IsRunning());
            }
        }
        p.client.close();
        ASSERT_TRUE(sessionEnded());
        ASSERT_TRUE(waitUntil([&] { return !server.keepalive().IsRunning(); }));
    }
}

TEST_F(Engine, PasswordLoginRefusesWrongAndStaleResponsesAndMayBeRetried) {
    server.setPassword("pässword");
    Bytes stale;
    {
        Peer first(port);
        first.hello();
        stale = first.response("pässword");
    }
    ASSERT_TRUE(sessionEnded());
    Peer p(port);
    p.hello();
    p.sendRaw(MSG_LOGIN, stale);
    EXPECT_EQ(p.next().payload, Bytes{0});
    EXPECT_TRUE(fake.waitFor("onClientLogin(0)"));
    // A refused login changes the compression mode too, and leaves the connection open.
    EXPECT_EQ(server.compressionMode(), CompressionMode::High);
    p.sendRaw(MSG_LOGIN, Bytes(16, 0));
    EXPECT_EQ(p.next().payload, Bytes{0});
    // Nothing else arrives for a refused login: no capabilities, a query gets no reply.
    p.query(QUERY_PLAYER_STATUS);
    EXPECT_TRUE(fake.waitForCount(Op::GetPlayerStatus, 1));
    EXPECT_TRUE(p.within(100).empty());
    EXPECT_FALSE(server.loggedIn());
    // The right response over this connection's challenge, with its options.
    p.sendRaw(MSG_LOGIN, p.response("pässword") + Bytes({1, 0}));
    EXPECT_EQ(p.next().payload, Bytes{1});
    EXPECT_EQ(p.next().type, uint32_t(MSG_CAPABILITIES));
    EXPECT_TRUE(server.loggedIn());
    EXPECT_TRUE(server.extendedLists());
}

// "Password used" is set at every login attempt from whether a password is configured,
// whatever the outcome, and cleared only by kickSession; power actions need it.
TEST_F(Engine, PowerActionsNeedAPasswordAtTheLatestLoginAttempt) {
    const Bytes restart = Bytes{QUERY_POWER_ACTION} + le32(player::POWER_RESTART);
    auto powerActions = [&] { return fake.count(Op::StartPowerAction); };
    // Ends with a request whose reply shows that everything before it was dispatched.
    auto tryPower = [&](Peer& p) {
        p.sendRaw(MSG_QUERY, restart);
        const uint64_t asked = fake.count(Op::GetCurrentTrackIndex);
        p.query(QUERY_CURRENT_INDEX);
        EXPECT_TRUE(fake.waitForCount(Op::GetCurrentTrackIndex, asked + 1));
    };

    // Without a password: refused even when logged in.
    auto open = connectAndLogin();
    tryPower(*open);
    EXPECT_EQ(powerActions(), 0u);
    open.reset();
    ASSERT_TRUE(sessionEnded());

    server.setPassword("pw");
    auto p = std::make_unique<Peer>(port);
    p->hello();
    tryPower(*p); // before any attempt on this server: the flag is still clear
    EXPECT_EQ(powerActions(), 0u);
    p->sendRaw(MSG_LOGIN, Bytes(16, 0)); // refused, but a password was configured
    EXPECT_EQ(p->next().payload, Bytes{0});
    tryPower(*p);
    EXPECT_TRUE(fake.waitFor("startPowerAction(1)"));
    // An attempt while no password is configured clears it again.
    server.setPassword("");
    p->sendRaw(MSG_LOGIN, Bytes(16, 0));
    EXPECT_EQ(p->next().payload, Bytes{1});
    tryPower(*p);
    EXPECT_EQ(powerActions(), 1u);
    p.reset();
    ASSERT_TRUE(sessionEnded());

    server.setPassword("pw");
    p = std::make_unique<Peer>(port);
    ASSERT_EQ(p->login("pw"), 1);
    // Action codes above 2 are dropped; 0 and 2 are the other two actions.
    p->sendRaw(MSG_QUERY, Bytes{QUERY_POWER_ACTION} + le32(3));
    p->sendRaw(MSG_QUERY, Bytes{QUERY_POWER_ACTION} + le32(0x0100 | player::POWER_SLEEP));
    p->sendRaw(MSG_QUERY, Bytes{QUERY_POWER_ACTION} + le32(player::POWER_OFF));
    EXPECT_TRUE(fake.waitFor("startPowerAction(2)"));
    EXPECT_TRUE(fake.called("startPowerAction(0)"));
    EXPECT_EQ(powerActions(), 3u);

    // The flag outlives a connection that simply closed: the next one may use it before it
    // tries to log in. Only a kick clears it.
    p.reset();
    ASSERT_TRUE(sessionEnded());
    auto fresh = std::make_unique<Peer>(port);
    fresh->hello();
    tryPower(*fresh);
    EXPECT_EQ(powerActions(), 4u);
    server.kickSession();
    ASSERT_TRUE(fresh->client.closedByPeer());
    fresh.reset();
    Peer third(port);
    third.hello();
    tryPower(third);
    EXPECT_EQ(powerActions(), 4u);
}

// A frame cut short by the close is forgotten: the next session's bytes parse on their own.
TEST_F(Engine, ClosingTheSessionEmptiesTheParseBuffer) {
    {
        Peer p(port);
        p.hello();
        const Bytes frame = buildFrame(MSG_QUERY, Bytes({QUERY_PLAYER_STATUS, 0, 0, 0, 0}));
        // The connection's thread reads these bytes before it sees the close.
        p.client.sendAll(frame.data(), frame.size() - 2);
    }
    ASSERT_TRUE(sessionEnded());
    auto p = connectAndLogin();
    p->query(QUERY_CURRENT_INDEX);
    EXPECT_EQ(p->next().payload, le32(4));
    EXPECT_EQ(fake.count(Op::GetPlayerStatus), 0u);
}

} // namespace
} // namespace engine_test
