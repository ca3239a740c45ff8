// What the engine tests share: a raw app (Peer) speaking to the server over 127.0.0.1, and a
// fixture whose server has the recording delegate behind it.
#pragma once

#include "common/Md5.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "server/engine/WinampControlServer.h"
#include "server/wire/Messages.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestSocket.h"
#include "tools/testkit/RecordingDelegate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace engine_test {

using namespace wire;
using testing_support::TestClient;
using testing_support::waitUntil;
using testkit::Answers;
using testkit::Op;
using testkit::RecordingDelegate;
using Bytes = std::vector<uint8_t>;

inline Bytes le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Bytes text0(const std::string& s) { // the text and its terminating 0
    Bytes out(s.begin(), s.end());
    out.push_back(0);
    return out;
}
inline Bytes queryBytes(uint8_t sub, uint32_t parameter) {
    return Bytes{sub} + le32(parameter);
}
inline Bytes queryBytes(uint8_t sub, uint32_t parameter, uint32_t second) {
    return queryBytes(sub, parameter) + le32(second);
}
inline std::vector<uint32_t> types(const std::vector<ReceivedMessage>& frames) {
    std::vector<uint32_t> out;
    for (const ReceivedMessage& m : frames)
        out.push_back(m.type);
    return out;
}
using Frames = std::vector<std::pair<uint32_t, Bytes>>;
inline Frames frames(const std::vector<ReceivedMessage>& in) {
    Frames out;
    for (const ReceivedMessage& m : in)
        out.emplace_back(m.type, m.payload);
    return out;
}

// Frames from the server, read from a TestClient with bounded waits.
class Peer {
public:
    explicit Peer(uint16_t port) : client(port) {}

    // The next whole frame, or type 0 when none arrives within ms.
    ReceivedMessage next(uint32_t ms = 3000) {
        ReceivedMessage m;
        while (!splitter_.next(m)) {
            uint8_t buffer[8192];
            if (platform::selectReadable(client.handle(), ms * 1000) != 1)
                return {};
            int n = platform::recvSome(client.handle(), buffer, sizeof buffer);
            if (n <= 0)
                return {};
            splitter_.append(buffer, size_t(n));
        }
        return m;
    }
    // Skips frames until one of the type arrives.
    ReceivedMessage nextOf(uint32_t type, uint32_t ms = 3000) {
        for (int i = 0; i < 100; ++i) {
            ReceivedMessage m = next(ms);
            if (m.type == type || m.type == 0)
                return m;
        }
        return {};
    }
    // Collects frames arriving within ms.
    std::vector<ReceivedMessage> within(uint32_t ms) {
        std::vector<ReceivedMessage> out;
        uint32_t start = platform::tickCount();
        while (platform::tickCount() - start < ms) {
            ReceivedMessage m = next(ms - (platform::tickCount() - start) + 1);
            if (m.type == 0)
                break;
            out.push_back(std::move(m));
        }
        return out;
    }
    template <class M> void send(const M& m) { client.sendAll(encodeFrame(m)); }
    void sendRaw(uint32_t type, const Bytes& payload) { client.sendAll(buildFrame(type, payload)); }

    void hello() {
        ReceivedMessage m = next();
        HelloMessage h;
        EXPECT_TRUE(m.type == MSG_HELLO && h.decode(m.payload.data(), m.payload.size()));
        challenge = h.challenge;
    }
    // The response to the latest greeting's challenge.
    Bytes response(const std::string& password) const {
        Md5Context ctx;
        md5Init(ctx);
        md5Update(ctx, password.data(), password.size());
        md5Update(ctx, challenge.data(), challenge.size());
        Md5Digest d = md5Final(ctx);
        return Bytes(d.begin(), d.end());
    }
    // Reads the greeting, logs in with the password, returns the login result byte.
    int login(const std::string& password = "", uint8_t extended = 0, uint8_t keepalive = 0) {
        hello();
        sendRaw(MSG_LOGIN, response(password) + Bytes{extended, keepalive});
        ReceivedMessage r = nextOf(MSG_LOGIN_RESULT);
        return r.payload.size() == 1 ? r.payload[0] : -1;
    }
    void query(uint8_t sub, uint32_t parameter = 0) {
        sendRaw(MSG_QUERY, queryBytes(sub, parameter));
    }

    TestClient client;
    std::array<uint8_t, 8> challenge{};

private:
    FrameSplitter splitter_;
};

// Holds the engine inside one delegate operation until released (or destroyed).
class Hold {
public:
    Hold(RecordingDelegate& delegate, Op op) : delegate_(delegate), op_(op) {
        delegate.onCall(op, [release = release_] { release->wait(10000); });
    }
    ~Hold() {
        release();
        delegate_.onCall(op_, nullptr);
    }
    void release() { release_->set(); }

private:
    RecordingDelegate& delegate_;
    Op op_;
    std::shared_ptr<platform::Event> release_ = std::make_shared<platform::Event>(false);
};

class Engine : public ::testing::Test {
protected:
    Engine() {
        platform::socketStartup();
        fake.edit([](Answers& a) {
            a.status = PlayerStatus{61000, 0, 2, 0x8080, 1};
            a.currentIndex = 4;
        });
    }
    void SetUp() override {
        server.setDelegate(&fake);
        server.setAllCapabilities();
        ASSERT_TRUE(server.listen(0));
        port = server.boundPort();
    }
    void TearDown() override { server.transport().stopAll(true); }

    std::unique_ptr<Peer> connectAndLogin(uint8_t extended = 1) {
        auto peer = std::make_unique<Peer>(port);
        EXPECT_EQ(peer->login("", extended), 1);
        EXPECT_EQ(peer->nextOf(MSG_CAPABILITIES).type, uint32_t(MSG_CAPABILITIES));
        return peer;
    }
    bool sessionEnded() {
        return waitUntil([&] { return server.sessionConnection() == 0; });
    }
    // The frames request() produces, up to the reply to a marker query sent after it: the
    // track text (sent whatever the delegate answers), or the current index when op is that.
    template <class Request>
    std::vector<ReceivedMessage> repliesTo(Peer& p, Op op, Request request) {
        request();
        const bool textMarker = op != Op::GetCurrentTrackText;
        p.query(textMarker ? QUERY_TRACK_TEXT : QUERY_CURRENT_INDEX);
        const uint32_t marker = textMarker ? MSG_TRACK_TEXT : MSG_CURRENT_INDEX;
        std::vector<ReceivedMessage> out;
        for (ReceivedMessage m = p.next(); m.type != marker; m = p.next()) {
            if (m.type == 0) {
                ADD_FAILURE() << "the marker's reply did not arrive";
                break;
            }
            out.push_back(std::move(m));
        }
        return out;
    }
    // The frames a request produces when its delegate call is held until the app has gone
    // quiet (which lasts until the marker query is dispatched).
    template <class Request>
    std::vector<ReceivedMessage> finishedWhileQuiet(Peer& p, Op op, Request request) {
        Hold hold(fake, op);
        const uint64_t before = fake.count(op);
        return repliesTo(p, op, [&] {
            request();
            EXPECT_TRUE(fake.waitForCount(op, before + 1));
            p.sendRaw(MSG_QUIET, {});
            EXPECT_TRUE(waitUntil([&] { return server.quiet(); }));
            hold.release();
        });
    }

    testing_support::LogCapture log; // installed before the server's threads start
    RecordingDelegate fake{RecordingDelegate::Recording::On};
    platform::ManualClock clock; // outlives the server, whose keep-alive thread reads it
    WinampControlServer server;
    uint16_t port = 0;
};

} // namespace engine_test
