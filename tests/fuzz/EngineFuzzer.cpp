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

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

constexpr uint32_t kSession = 1;
constexpr uint32_t kSecondConnection = 2;
constexpr uint32_t kLoopback = 0x0100007F; // 127.0.0.1 in network byte order

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
    // xorshift32: the receive-call lengths for a cut byte.
    uint32_t state = 0x9E3779B9u ^ cut;
    const size_t limit = size_t(1) << (cut & 7);
    bool secondArrived = false;
    size_t offset = 0;
    while (offset < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const size_t n = std::min(cut == 0 ? size : 1 + state % limit, size - offset);
        splitter.append(data + offset, n);
        offset += n;
        for (wire::ReceivedMessage message; splitter.next(message); message = {})
            server.dispatch(message);
        if ((options & 0x04) && !secondArrived && offset * 2 >= size) {
            secondArrived = true;
            server.clientAccepted(&server.transport(), kSecondConnection, kLoopback);
        }
    }
    if (uint32_t session = server.sessionConnection())
        server.clientClosed(&server.transport(), session);
    return 0;
}
