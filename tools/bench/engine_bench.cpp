// The protocol engine's two speed figures, with a delegate that answers at once:
//  1. query round trip: MSG_QUERY 2 -> MSG_PLAYER_STATUS on a logged-in session, against a
//     plain blocking-socket echo of the same request measured in the same run;
//  2. pipelined throughput: MSG_PLAYER_COMMAND frames sent back to back, dispatched per second.
#include "platform/Clock.h"
#include "server/engine/WinampControlServer.h"
#include "server/wire/Messages.h"
#include "tools/bench/LatencyStats.h"
#include "tools/testkit/RecordingDelegate.h"

#include <cstdlib>

namespace {

bool receiveExactly(platform::SocketHandle s, uint8_t* out, size_t count) {
    size_t got = 0;
    while (got < count) {
        int n = platform::recvSome(s, out + got, count - got);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

// Connects, reads the greeting, logs in (no password) and reads the result and capabilities.
platform::SocketHandle loggedInSession(uint16_t port) {
    platform::SocketHandle s = platform::connectTcp4("127.0.0.1", port, 3000);
    if (s == platform::kInvalidSocket)
        return s;
    platform::setNoDelay(s, true);
    uint8_t greeting[23], afterLogin[13 + 20];
    wire::LoginMessage login;
    std::vector<uint8_t> frame = wire::encodeFrame(login);
    if (!receiveExactly(s, greeting, sizeof greeting) ||
        platform::sendSome(s, frame.data(), frame.size()) != int(frame.size()) ||
        !receiveExactly(s, afterLogin, sizeof afterLogin) || afterLogin[12] != 1) {
        platform::closeSocket(s);
        return platform::kInvalidSocket;
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    int iterations = argc > 1 ? std::atoi(argv[1]) : 10000;
    int pipelined = argc > 2 ? std::atoi(argv[2]) : 100000;
    if (iterations <= 0 || pipelined <= 0) {
        std::fprintf(stderr, "usage: engine_bench [round trips] [pipelined commands]\n");
        return 2;
    }
    platform::socketStartup();

    wire::QueryMessage query;
    query.sub = wire::QUERY_PLAYER_STATUS;
    std::vector<uint8_t> request = wire::encodeFrame(query);
    const size_t replySize = wire::kHeaderSize + 10;

    std::vector<double> plain;
    {
        bench::PlainEchoServer echo;
        plain = bench::measureRoundTrips(echo.port(), request.data(), request.size(),
                                         request.size(), iterations);
    }

    // Answers the status query at once and records nothing; volume commands are counted.
    testkit::RecordingDelegate delegate;
    delegate.edit([](testkit::Answers& a) { a.status = PlayerStatus{42000, 0, 0, 30000, 0}; });
    WinampControlServer server;
    server.setDelegate(&delegate);
    server.setAllCapabilities();
    if (!server.listen(0)) {
        std::fprintf(stderr, "listen failed\n");
        return 1;
    }

    std::vector<double> ours;
    {
        platform::SocketHandle s = loggedInSession(server.boundPort());
        if (s == platform::kInvalidSocket) {
            std::fprintf(stderr, "login failed\n");
            return 1;
        }
        std::vector<uint8_t> reply(replySize);
        const int warmUp = 200;
        ours.reserve(size_t(iterations));
        for (int i = 0; i < warmUp + iterations; ++i) {
            auto start = std::chrono::steady_clock::now();
            if (!bench::exchange(s, request.data(), request.size(), reply.data(), replySize) ||
                reply[4] != wire::MSG_PLAYER_STATUS) {
                std::fprintf(stderr, "status round trip failed after %d\n", i);
                return 1;
            }
            if (i >= warmUp)
                ours.push_back(bench::microsecondsSince(start));
        }
        platform::closeSocket(s);
    }
    // Pipelined commands on a fresh session (the previous one must have closed first).
    for (int i = 0; i < 2000 && server.sessionConnection() != 0; ++i)
        platform::sleepMs(1);
    double perSecond = 0;
    {
        wire::PlayerCommandMessage command;
        command.command = wire::CMD_VOLUME;
        command.argument = 0x40;
        std::vector<uint8_t> one = wire::encodeFrame(command), all;
        all.reserve(one.size() * size_t(pipelined));
        for (int i = 0; i < pipelined; ++i)
            all.insert(all.end(), one.begin(), one.end());
        platform::SocketHandle s = loggedInSession(server.boundPort());
        if (s == platform::kInvalidSocket) {
            std::fprintf(stderr, "login failed\n");
            return 1;
        }
        const uint64_t target = delegate.count(testkit::Op::SetVolume) + uint64_t(pipelined);
        auto start = std::chrono::steady_clock::now();
        size_t sent = 0;
        while (sent < all.size()) {
            int n = platform::sendSome(s, all.data() + sent, all.size() - sent);
            if (n <= 0) {
                std::fprintf(stderr, "send failed\n");
                return 1;
            }
            sent += size_t(n);
        }
        const bool reached = delegate.waitForCount(testkit::Op::SetVolume, target, 30000);
        double seconds = bench::microsecondsSince(start) / 1e6;
        if (!reached) {
            std::fprintf(stderr, "only %llu of %d commands dispatched\n",
                         static_cast<unsigned long long>(delegate.count(testkit::Op::SetVolume)),
                         pipelined);
            return 1;
        }
        perSecond = double(pipelined) / seconds;
        platform::closeSocket(s);
    }
    server.transport().stopAll(true);

    bench::Percentiles p = bench::percentiles(plain), t = bench::percentiles(ours);
    std::printf("MSG_QUERY 2 -> MSG_PLAYER_STATUS round trip, %d iterations on one session\n",
                iterations);
    bench::printRow("plain blocking echo", p);
    bench::printRow("WinampControlServer", t);
    std::printf("ratio engine/plain: p50 %.2f  p99 %.2f  (targets: p99 < 300 us, ratio <= 4.00)\n",
                t.p50 / p.p50, t.p99 / p.p99);
    std::printf("pipelined MSG_PLAYER_COMMAND: %d frames dispatched at %.0f messages/s "
                "(target > 100000/s)\n",
                pipelined, perSecond);
    return 0;
}
