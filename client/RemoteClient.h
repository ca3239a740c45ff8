// The companion-app side of the protocol: connects, reads the greeting, logs in with the
// challenge response, sends any client-to-server message and receives server messages with
// compressed envelopes already opened and keep-alive probes already answered.
//
// One thread drives a client; nothing here is locked.
#pragma once

#include "platform/Socket.h"
#include "server/wire/Frame.h"
#include "server/wire/Messages.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace remote {

enum class ClientStatus {
    Ok,
    ConnectFailed, // refused, unreachable, or the host is not a dotted IPv4 address
    NoGreeting,    // connected, but no MSG_HELLO came (another app holds the session?)
    LoginRefused,  // wrong password
    Timeout,       // the awaited message did not come in time
    Closed,        // the server closed the connection
    SendFailed,
};

// A short English description, for error messages.
const char* describeStatus(ClientStatus status);

// The 16-byte login response: MD5 of the password's UTF-8 bytes followed by the challenge.
std::array<uint8_t, 16> loginResponse(const std::string& password,
                                      const std::array<uint8_t, 8>& challenge);

// Decodes a received message as codec M; empty when the type differs or the payload does not
// satisfy M's size rules.
template <class M> std::optional<M> decodeAs(const wire::ReceivedMessage& message) {
    if (message.type != M::kType)
        return std::nullopt;
    M decoded;
    if (!decoded.decode(message.payload.data(), message.payload.size()))
        return std::nullopt;
    return decoded;
}

class RemoteClient {
public:
    RemoteClient() = default;
    ~RemoteClient();
    RemoteClient(const RemoteClient&) = delete;
    RemoteClient& operator=(const RemoteClient&) = delete;

    // Connects and waits for MSG_HELLO.
    ClientStatus connect(const std::string& host, uint16_t port, uint32_t timeoutMs);
    const wire::HelloMessage& hello() const { return hello_; }

    // Sends MSG_LOGIN (18 bytes: response, extended-lists flag, keep-alive seconds) and waits
    // for MSG_LOGIN_RESULT. When accepted, also waits for the MSG_CAPABILITIES that ends the
    // login burst; the burst's messages go to the push handler.
    ClientStatus login(const std::string& password, bool extendedLists, uint8_t keepaliveSeconds,
                       uint32_t timeoutMs);
    bool extendedLists() const { return extendedLists_; }
    uint64_t capabilities() const { return capabilities_; }

    template <class M> bool send(const M& message) { return sendFrame(wire::encodeFrame(message)); }
    bool sendFrame(const std::vector<uint8_t>& frame);
    bool query(uint8_t sub, uint32_t parameter);
    bool query(uint8_t sub, uint32_t parameter, uint32_t second);
    bool command(uint8_t command, uint32_t argument);

    // The next server message: first any that an earlier wait passed over, then new ones.
    // MSG_COMPRESSED arrives as its inner message; MSG_KEEPALIVE probes are answered with
    // MSG_KEEPALIVE as they arrive. A malformed envelope is skipped.
    ClientStatus receive(wire::ReceivedMessage& out, uint32_t timeoutMs);

    // Receives until `want` accepts a message (looking at passed-over ones first). Every other
    // message goes to the push handler, or, without one, is kept for later receive() calls,
    // so pushes that arrive during a login or a request are not lost.
    ClientStatus waitFor(const std::function<bool(const wire::ReceivedMessage&)>& want,
                         wire::ReceivedMessage& out, uint32_t timeoutMs);
    ClientStatus waitForType(uint32_t type, wire::ReceivedMessage& out, uint32_t timeoutMs);

    // Messages that arrive while waiting for something else.
    void setPushHandler(std::function<void(const wire::ReceivedMessage&)> handler) {
        pushHandler_ = std::move(handler);
    }

    void close();
    bool connected() const { return socket_ != platform::kInvalidSocket; }

    uint32_t keepalivesAnswered() const { return keepalivesAnswered_; }
    uint32_t envelopesOpened() const { return envelopesOpened_; }
    uint32_t envelopesDropped() const { return envelopesDropped_; }
    // Bytes read from the connection so far, frames and envelopes as they came.
    uint64_t bytesReceived() const { return bytesReceived_; }

private:
    // At most this many passed-over messages are kept; the oldest go first.
    static constexpr size_t kMaxKept = 4096;

    // Takes one frame from the splitter and handles envelopes and probes; false when none.
    bool nextBuffered(wire::ReceivedMessage& out);
    // The next message from the connection, ignoring the kept ones.
    ClientStatus receiveNew(wire::ReceivedMessage& out, uint32_t timeoutMs);

    platform::SocketHandle socket_ = platform::kInvalidSocket;
    wire::FrameSplitter splitter_;
    wire::HelloMessage hello_;
    bool extendedLists_ = false;
    uint64_t capabilities_ = 0;
    std::function<void(const wire::ReceivedMessage&)> pushHandler_;
    std::deque<wire::ReceivedMessage> kept_;
    uint32_t keepalivesAnswered_ = 0;
    uint32_t envelopesOpened_ = 0;
    uint32_t envelopesDropped_ = 0;
    uint64_t bytesReceived_ = 0;
};

} // namespace remote
