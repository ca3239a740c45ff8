// Round trip of a 16-byte message through TcpServer with an echoing delegate, against a plain
// blocking-socket echo server measured in the same run.
#include "server/transport/TcpServer.h"
#include "tools/bench/LatencyStats.h"

#include <cstdlib>
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
} // namespace

int main(int argc, char** argv) {
    int iterations = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (iterations <= 0) {
        std::fprintf(stderr, "usage: transport_bench [iterations]\n");
        return 2;
    }
    platform::socketStartup();
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
