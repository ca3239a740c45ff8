// Transport benchmark, two modes.
//
//   transport_bench [iterations]   round trip of a 16-byte message through TcpServer with an
//                                  echoing delegate, against a plain blocking-socket echo
//                                  server measured in the same run
//   transport_bench --idle [s]     wake-ups per second of this process while it listens with
//                                  one connected, silent client (default 10 s); counts the
//                                  context switches of every thread from /proc (Linux only)
#include "platform/Clock.h"
#include "server/transport/TcpServer.h"
#include "tools/bench/LatencyStats.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {
class EchoDelegate : public TcpServerDelegate {
public:
    bool clientAccepted(TcpServer*, uint32_t, uint32_t) override { return true; }
    void clientClosed(TcpServer*, uint32_t) override {}
    void dataReceived(TcpServer* server, uint32_t id, uint32_t count) override {
        std::vector<uint8_t> bytes(count);
        uint32_t n = server->read(id, bytes.data(), count);
        server->send(id, bytes.data(), n);
    }
};

// Voluntary plus involuntary context switches of every thread of this process, by thread id.
// Each one is a time the thread went to sleep or was put aside, so the growth over an idle
// interval counts its wake-ups. Empty where there is no /proc.
std::map<std::string, uint64_t> contextSwitchesByThread() {
    std::map<std::string, uint64_t> out;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream status(task.path() / "status");
        std::string line;
        uint64_t total = 0;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
        }
        out[task.path().filename().string()] = total;
    }
    return out;
}

// The main thread's id is the process id, which /proc/self names.
std::string mainThreadId() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self", error).filename().string();
}

int measureIdle(int seconds) {
    EchoDelegate delegate;
    TcpServer server;
    server.setDelegate(&delegate);
    server.setMaximumConnections(2);
    if (!server.listen(0)) {
        std::fprintf(stderr, "listen failed\n");
        return 1;
    }
    // One round trip proves the connection is up and its thread is past its first pass.
    uint8_t message[16] = {}, reply[16];
    platform::SocketHandle client = platform::connectTcp4("127.0.0.1", server.boundPort(), 3000);
    if (client == platform::kInvalidSocket || !bench::exchange(client, message, 16, reply, 16)) {
        std::fprintf(stderr, "cannot reach the server\n");
        return 1;
    }
    std::map<std::string, uint64_t> before = contextSwitchesByThread();
    if (before.empty()) {
        std::fprintf(stderr, "idle mode needs /proc/self/task (Linux)\n");
        platform::closeSocket(client);
        return 2;
    }
    platform::sleepMs(uint32_t(seconds) * 1000);
    std::map<std::string, uint64_t> after = contextSwitchesByThread();
    std::string self = mainThreadId();
    uint64_t total = 0;
    std::printf("idle TcpServer with one silent client, %d s\n", seconds);
    for (const auto& [id, count] : after) {
        if (id == self)
            continue; // the measuring thread itself
        auto it = before.find(id);
        uint64_t delta = count - (it == before.end() ? 0 : it->second);
        total += delta;
        std::printf("  thread %-8s %8.1f wake-ups/s\n", id.c_str(), double(delta) / seconds);
    }
    std::printf("server threads together: %.1f wake-ups/s\n", double(total) / seconds);
    platform::closeSocket(client);
    server.stopAll(true);
    return 0;
}

int measureRoundTrips(int iterations) {
    uint8_t message[16];
    for (int i = 0; i < 16; ++i)
        message[i] = uint8_t(i);

    std::vector<double> plain;
    {
        bench::PlainEchoServer echo;
        plain = bench::measureRoundTrips(echo.port(), message, 16, 16, iterations);
    }
    std::vector<double> ours;
    {
        EchoDelegate delegate;
        TcpServer server;
        server.setDelegate(&delegate);
        server.setMaximumConnections(2);
        if (!server.listen(0)) {
            std::fprintf(stderr, "listen failed\n");
            return 1;
        }
        ours = bench::measureRoundTrips(server.boundPort(), message, 16, 16, iterations);
        server.stopAll(true);
    }
    if (plain.size() != size_t(iterations) || ours.size() != size_t(iterations))
        return 1;
    bench::Percentiles p = bench::percentiles(plain), t = bench::percentiles(ours);
    std::printf("16-byte echo round trip, %d iterations on one connection\n", iterations);
    bench::printRow("plain blocking echo", p);
    bench::printRow("TcpServer echo delegate", t);
    std::printf("ratio TcpServer/plain: p50 %.2f  p99 %.2f  (target p99 <= 2.00)\n", t.p50 / p.p50,
                t.p99 / p.p99);
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    platform::socketStartup();
    if (argc > 1 && std::strcmp(argv[1], "--idle") == 0) {
        int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
        if (seconds <= 0 || seconds > 3600) {
            std::fprintf(stderr, "usage: transport_bench --idle [seconds 1..3600]\n");
            return 2;
        }
        return measureIdle(seconds);
    }
    int iterations = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (iterations <= 0) {
        std::fprintf(stderr, "usage: transport_bench [iterations] | --idle [seconds]\n");
        return 2;
    }
    return measureRoundTrips(iterations);
}
