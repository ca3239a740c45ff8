// The protocol engine's receive side: a byte stream from the app, cut into receive calls at
// points the input chooses, goes through the frame splitter and every message is dispatched
// into a real WinampControlServer with a delegate that does nothing. No socket is opened:
// the session is set up through the engine's own transport callbacks for a connection the
// transport does not know, so everything the engine sends is dropped by the transport.
//
// Input: byte 0 options, byte 1 how to cut, then the stream.
//   options bit 0  a password is configured (every login then fails: the challenge is random)
//   options bit 1  takeover allowed
//   options bit 2  a second connection arrives after the receive call that reaches the
//                  middle of the stream
//   options bit 3  no session connection at all
//   options bit 4  no delegate
//   cut 0          the whole stream in one receive call
//   cut n          receive calls of 1 .. 2^(n & 7) bytes, lengths drawn from a generator
//                  seeded with n
//
// All messages are dispatched on this thread in arrival order. The engine itself hands every
// type but the four immediate ones to its processing thread; dispatching them here keeps a
// run deterministic and reaches the same handlers.
#include "server/engine/WinampControlServer.h"
#include "server/wire/Frame.h"
#include "tools/testkit/RecordingDelegate.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr uint32_t kSession = 1;
constexpr uint32_t kSecondConnection = 2;
constexpr uint32_t kLoopback = 0x0100007F; // 127.0.0.1 in network byte order

// xorshift32: the receive-call lengths for a cut byte.
class Cuts {
public:
    explicit Cuts(uint8_t cut) : state_(0x9E3779B9u ^ cut), limit_(size_t(1) << (cut & 7)) {}
    size_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return 1 + state_ % limit_;
    }

private:
    uint32_t state_;
    size_t limit_;
};

void drain(WinampControlServer& server, wire::FrameSplitter& splitter) {
    wire::ReceivedMessage message;
    while (splitter.next(message)) {
        server.dispatch(message);
        message = wire::ReceivedMessage{};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t options = data[0];
    const uint8_t cut = data[1];
    data += 2;
    size -= 2;

    testkit::RecordingDelegate delegate; // answers nothing, records nothing
    WinampControlServer server;
    if (options & 0x01)
        server.setPassword("secret");
    server.setAllowKick((options & 0x02) != 0);
    server.setAllCapabilities();
    if (!(options & 0x10))
        server.setDelegate(&delegate);
    if (!(options & 0x08))
        server.clientAccepted(&server.transport(), kSession, kLoopback);

    wire::FrameSplitter splitter;
    Cuts cuts(cut);
    bool secondArrived = false;
    size_t offset = 0;
    while (offset < size) {
        size_t n = cut == 0 ? size : cuts.next();
        if (n > size - offset)
            n = size - offset;
        splitter.append(data + offset, n);
        offset += n;
        drain(server, splitter);
        if ((options & 0x04) && !secondArrived && offset * 2 >= size) {
            secondArrived = true;
            server.clientAccepted(&server.transport(), kSecondConnection, kLoopback);
        }
    }
    if (uint32_t session = server.sessionConnection())
        server.clientClosed(&server.transport(), session);
    return 0;
}
