// The greeting with its challenge, and the login that answers it.
#include "server/engine/WinampControlServer.h"

#include "common/Log.h"
#include "common/Md5.h"
#include "server/engine/Guarded.h"
#include "server/wire/Messages.h"

#include <string>

using namespace wire;

// Under the session lock, inside clientAccepted: a fresh challenge for every connection, and
// MSG_HELLO straight to the new connection (the send rule does not apply to it).
void WinampControlServer::sendHello(uint32_t connectionId) {
    HelloMessage hello;
    hello.passwordRequired = password_.empty() ? 0 : 1;
    for (uint8_t& b : challenge_)
        b = uint8_t(random_());
    hello.challenge = challenge_;
    std::vector<uint8_t> frame = encodeFrame(hello);
    transport_.send(connectionId, frame.data(), uint32_t(frame.size()));
}

// Under the session lock: no password accepts any response; otherwise the response must be
// the MD5 of the password's UTF-8 bytes followed by this connection's challenge.
bool WinampControlServer::responseAccepted(const std::array<uint8_t, 16>& response) {
    if (password_.empty())
        return true;
    Md5Context ctx;
    md5Init(ctx);
    md5Update(ctx, password_.data(), password_.size());
    md5Update(ctx, challenge_.data(), challenge_.size());
    return md5Final(ctx) == response;
}

void WinampControlServer::login(const ReceivedMessage& message) {
    LoginMessage m;
    if (!m.decode(message.payload.data(), message.payload.size()))
        return;
    // Every login attempt, whatever its outcome, switches envelopes to high compression.
    compression_ = uint32_t(CompressionMode::High);
    bool accepted;
    uint32_t session;
    {
        platform::ScopedLock hold(sessionLock_);
        session = session_;
        accepted = responseAccepted(m.response);
        LoginResultMessage result;
        result.accepted = accepted ? 1 : 0;
        std::vector<uint8_t> frame = encodeFrame(result);
        if (session_)
            transport_.send(session_, frame.data(), uint32_t(frame.size()));
        loggedIn_ = accepted ? 1 : 0;
        extendedLists_ = m.extendedLists;
        passwordUsed_ = password_.empty() ? 0 : 1;
    }
    logLazy(LogKind::Session, [&] {
        return connectionName(session) + (accepted ? " logged in" : ": login refused");
    });
    tellDelegate(session, "onClientLogin",
                 [accepted](WinampControlServerDelegate& d) { d.onClientLogin(accepted); });
    if (loggedIn())
        sendCapabilities();
    if (accepted && m.keepaliveSeconds)
        keepalive_->begin(m.keepaliveSeconds);
}
