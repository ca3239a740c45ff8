#include "client/RemoteClient.h"

#include "common/Md5.h"
#include "platform/Clock.h"

namespace remote {

const char* describeStatus(ClientStatus status) {
    switch (status) {
    case ClientStatus::Ok:
        return "ok";
    case ClientStatus::ConnectFailed:
        return "cannot connect";
    case ClientStatus::NoGreeting:
        return "connected, but the server sent no greeting (another app may hold the session)";
    case ClientStatus::LoginRefused:
        return "login refused: wrong password";
    case ClientStatus::Timeout:
        return "timed out waiting for the server";
    case ClientStatus::Closed:
        return "the server closed the connection";
    case ClientStatus::SendFailed:
        return "sending to the server failed";
    }
    return "unknown error";
}

std::array<uint8_t, 16> loginResponse(const std::string& password,
                                      const std::array<uint8_t, 8>& challenge) {
    Md5Context ctx;
    md5Init(ctx);
    md5Update(ctx, password.data(), password.size());
    md5Update(ctx, challenge.data(), challenge.size());
    return md5Final(ctx);
}

RemoteClient::~RemoteClient() {
    close();
}

void RemoteClient::close() {
    if (socket_ == platform::kInvalidSocket)
        return;
    platform::shutdownBoth(socket_);
    platform::closeSocket(socket_);
    socket_ = platform::kInvalidSocket;
    splitter_.clear();
    kept_.clear();
}

ClientStatus RemoteClient::connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
    close();
    socket_ = platform::connectTcp4(host.c_str(), port, timeoutMs);
    if (socket_ == platform::kInvalidSocket)
        return ClientStatus::ConnectFailed;
    platform::setNoDelay(socket_, true);

    wire::ReceivedMessage greeting;
    ClientStatus status = receive(greeting, timeoutMs);
    // A refused second connection is closed without a greeting.
    if (status == ClientStatus::Closed)
        return ClientStatus::NoGreeting;
    if (status != ClientStatus::Ok)
        return status;
    auto hello = decodeAs<wire::HelloMessage>(greeting);
    if (!hello)
        return ClientStatus::NoGreeting;
    hello_ = *hello;
    return ClientStatus::Ok;
}

ClientStatus RemoteClient::login(const std::string& password, bool extendedLists,
                                 uint8_t keepaliveSeconds, uint32_t timeoutMs) {
    wire::LoginMessage login;
    login.response = loginResponse(password, hello_.challenge);
    login.hasOptions = true;
    login.extendedLists = extendedLists ? 1 : 0;
    login.keepaliveSeconds = keepaliveSeconds;
    if (!send(login))
        return ClientStatus::SendFailed;

    wire::ReceivedMessage reply;
    ClientStatus status = waitForType(wire::MSG_LOGIN_RESULT, reply, timeoutMs);
    if (status != ClientStatus::Ok)
        return status;
    auto result = decodeAs<wire::LoginResultMessage>(reply);
    if (!result || result->accepted == 0)
        return ClientStatus::LoginRefused;
    extendedLists_ = extendedLists;

    status = waitForType(wire::MSG_CAPABILITIES, reply, timeoutMs);
    if (status != ClientStatus::Ok)
        return status;
    if (auto caps = decodeAs<wire::CapabilitiesMessage>(reply))
        capabilities_ = caps->mask;
    return ClientStatus::Ok;
}

bool RemoteClient::sendFrame(const std::vector<uint8_t>& frame) {
    if (socket_ == platform::kInvalidSocket)
        return false;
    size_t sent = 0;
    while (sent < frame.size()) {
        int n = platform::sendSome(socket_, frame.data() + sent, frame.size() - sent);
        if (n > 0) {
            sent += size_t(n);
        } else if (n < 0 && platform::lastErrorWouldBlock()) {
            platform::sleepMs(1);
        } else {
            return false;
        }
    }
    return true;
}

bool RemoteClient::query(uint8_t sub, uint32_t parameter) {
    wire::QueryMessage q;
    q.sub = sub;
    q.parameter = parameter;
    return send(q);
}

bool RemoteClient::query(uint8_t sub, uint32_t parameter, uint32_t second) {
    wire::QueryMessage q;
    q.sub = sub;
    q.parameter = parameter;
    q.hasSecond = true;
    q.second = second;
    return send(q);
}

bool RemoteClient::command(uint8_t code, uint32_t argument) {
    wire::PlayerCommandMessage c;
    c.command = code;
    c.argument = argument;
    return send(c);
}

bool RemoteClient::nextBuffered(wire::ReceivedMessage& out) {
    while (splitter_.next(out)) {
        if (out.type == wire::MSG_COMPRESSED) {
            wire::ReceivedMessage inner;
            if (!wire::openCompressed(out.payload.data(), out.payload.size(), inner)) {
                ++envelopesDropped_;
                continue;
            }
            ++envelopesOpened_;
            out = std::move(inner);
        }
        if (out.type == wire::MSG_KEEPALIVE) {
            // The server ends a session that stays silent for two probe intervals.
            if (send(wire::KeepaliveMessage{}))
                ++keepalivesAnswered_;
        }
        return true;
    }
    return false;
}

ClientStatus RemoteClient::receive(wire::ReceivedMessage& out, uint32_t timeoutMs) {
    if (!kept_.empty()) {
        out = std::move(kept_.front());
        kept_.pop_front();
        return ClientStatus::Ok;
    }
    return receiveNew(out, timeoutMs);
}

ClientStatus RemoteClient::receiveNew(wire::ReceivedMessage& out, uint32_t timeoutMs) {
    if (socket_ == platform::kInvalidSocket)
        return ClientStatus::Closed;
    const uint32_t start = platform::tickCount();
    uint8_t buffer[16384];
    for (;;) {
        if (nextBuffered(out))
            return ClientStatus::Ok;
        const uint32_t elapsed = platform::tickCount() - start;
        if (elapsed >= timeoutMs)
            return ClientStatus::Timeout;
        const uint32_t left = timeoutMs - elapsed;
        // Bounded steps, so a long wait never overflows the microsecond count.
        const uint32_t stepMs = left < 1000 ? left : 1000;
        int ready = platform::selectReadable(socket_, stepMs * 1000);
        if (ready < 0)
            return ClientStatus::Closed;
        if (ready == 0)
            continue;
        int n = platform::recvSome(socket_, buffer, sizeof buffer);
        if (n > 0) {
            bytesReceived_ += uint64_t(n);
            splitter_.append(buffer, size_t(n));
        } else if (n < 0 && platform::lastErrorWouldBlock()) {
            continue;
        } else {
            return ClientStatus::Closed;
        }
    }
}

ClientStatus RemoteClient::waitFor(const std::function<bool(const wire::ReceivedMessage&)>& want,
                                   wire::ReceivedMessage& out, uint32_t timeoutMs) {
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (want(*it)) {
            out = std::move(*it);
            kept_.erase(it);
            return ClientStatus::Ok;
        }
    }
    const uint32_t start = platform::tickCount();
    for (;;) {
        const uint32_t elapsed = platform::tickCount() - start;
        if (elapsed >= timeoutMs)
            return ClientStatus::Timeout;
        ClientStatus status = receiveNew(out, timeoutMs - elapsed);
        if (status != ClientStatus::Ok)
            return status;
        if (want(out))
            return ClientStatus::Ok;
        if (pushHandler_) {
            pushHandler_(out);
        } else {
            if (kept_.size() >= kMaxKept)
                kept_.pop_front();
            kept_.push_back(std::move(out));
        }
    }
}

ClientStatus RemoteClient::waitForType(uint32_t type, wire::ReceivedMessage& out,
                                       uint32_t timeoutMs) {
    return waitFor([type](const wire::ReceivedMessage& m) { return m.type == type; }, out,
                   timeoutMs);
}

} // namespace remote
