#include "client/CliSession.h"

#include "client/Describe.h"
#include "platform/Clock.h"

#include <fstream>

namespace remote {

int CliSession::open() {
    const std::string host = o_.host == "localhost" ? "127.0.0.1" : o_.host;
    ClientStatus s = client_.connect(host, o_.port, o_.timeoutMs);
    // The server serves one app and ends a closed session on its own thread: right after
    // an earlier command it may still refuse us for a moment, so try a few more times.
    const uint32_t start = platform::tickCount();
    for (int attempt = 0; s == ClientStatus::NoGreeting && attempt < 5 &&
                          platform::tickCount() - start + 100 < o_.timeoutMs;
         ++attempt) {
        platform::sleepMs(100);
        s = client_.connect(host, o_.port, o_.timeoutMs);
    }
    if (s == ClientStatus::ConnectFailed) {
        err_ << "tandravole-remote: cannot connect to " << o_.host << ":" << o_.port
             << " (connection refused, host unreachable, or not an IPv4 address)\n";
        return EXIT_CONNECT;
    }
    if (s != ClientStatus::Ok)
        return fail(s, "waiting for the server's greeting");
    s = client_.login(o_.password, true, o_.keepaliveSeconds, o_.timeoutMs);
    if (s == ClientStatus::LoginRefused) {
        err_ << "tandravole-remote: login refused: "
             << (o_.password.empty() ? "the server needs a password (use --password)"
                                     : "wrong password")
             << "\n";
        return EXIT_LOGIN;
    }
    if (s != ClientStatus::Ok)
        return fail(s, "logging in");
    return EXIT_OK;
}

int CliSession::fail(ClientStatus s, const char* doing) {
    err_ << "tandravole-remote: " << describeStatus(s) << " while " << doing << "\n";
    switch (s) {
    case ClientStatus::Timeout:
        return EXIT_TIMEOUT;
    case ClientStatus::Closed:
        return EXIT_CLOSED;
    case ClientStatus::NoGreeting:
    case ClientStatus::ConnectFailed:
        return EXIT_CONNECT;
    case ClientStatus::LoginRefused:
        return EXIT_LOGIN;
    default:
        return EXIT_FAILED;
    }
}

int CliSession::failed(const char* text) {
    err_ << "tandravole-remote: " << text << "\n";
    return EXIT_FAILED;
}

void CliSession::print(const Value& v) {
    if (o_.json)
        out_ << v.json() << "\n";
    else
        v.printText(out_);
}

ClientStatus
CliSession::untilBarrier(const std::function<void(const wire::ReceivedMessage&)>& collect) {
    if (!client_.query(wire::QUERY_TRACK_TEXT, 0))
        return ClientStatus::SendFailed;
    wire::ReceivedMessage m;
    for (;;) {
        ClientStatus s =
            client_.waitFor([](const wire::ReceivedMessage&) { return true; }, m, o_.timeoutMs);
        if (s != ClientStatus::Ok)
            return s;
        if (m.type == wire::MSG_TRACK_TEXT)
            return ClientStatus::Ok;
        collect(m);
    }
}

int CliSession::commandThenStatus(uint8_t code, uint32_t argument, const char* what) {
    if (!client_.command(code, argument))
        return fail(ClientStatus::SendFailed, what);
    ClientStatus s;
    auto st = playerStatus(s);
    if (s != ClientStatus::Ok)
        return fail(s, what);
    Value v = Value::object();
    v.set("ok", true);
    v.set("command", what);
    if (st)
        v.append(describe(*st));
    print(v);
    return EXIT_OK;
}

bool CliSession::writeFile(const std::vector<uint8_t>& bytes) {
    std::ofstream file(o_.output, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(file);
}

} // namespace remote
