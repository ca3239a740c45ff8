// What the server keeps in memory per idle logged-in session (without and with keep-alive), per
// message waiting for the processing thread, per cover request waiting for a loader thread and
// per byte waiting in a connection's send buffer: the C runtime's heap in use, and for sessions
// resident memory too (their threads' stacks are not on the heap), each measured before and
// after making many of them and divided by how many. The apps are raw sockets of this process
// that allocate nothing on the heap while they are measured.
//
// Run: build/native/tools/bench/session_bench    (Linux only)
#include "platform/Memory.h"
#include "platform/Socket.h"
#include "server/engine/WinampControlServer.h"
#include "server/wire/Commands.h"
#include "server/wire/Messages.h"
#include "tools/testkit/RecordingDelegate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using testkit::Op;
using testkit::RecordingDelegate;

constexpr uint32_t kWaitMs = 30000;
constexpr int kSessions = 32;
constexpr size_t kMessages = 20000;
constexpr size_t kCovers = 1000; // below the 1024 keys after which the seen set starts over

uint64_t residentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
    return 0;
}

bool waitUntil(const std::function<bool()>& condition) {
    for (uint32_t start = platform::tickCount(); !condition();) {
        if (platform::tickCount() - start > kWaitMs)
            return false;
        platform::sleepMs(2);
    }
    return true;
}

void sendAll(platform::SocketHandle s, const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = platform::sendSome(s, bytes.data() + sent, bytes.size() - sent);
        if (n > 0)
            sent += size_t(n);
        else
            platform::sleepMs(1);
    }
}

// Connects, and logs in once the greeting is there (no password: any response will do).
platform::SocketHandle logIn(WinampControlServer& server, uint8_t keepaliveSeconds) {
    platform::SocketHandle s = platform::connectTcp4("127.0.0.1", server.boundPort(), kWaitMs);
    if (s == platform::kInvalidSocket || !waitUntil([&] { return server.sessionConnection(); }))
        return platform::kInvalidSocket;
    wire::LoginMessage login;
    login.hasOptions = true;
    login.keepaliveSeconds = keepaliveSeconds;
    sendAll(s, wire::encodeFrame(login));
    return waitUntil([&] { return server.loggedIn(); }) ? s : platform::kInvalidSocket;
}

std::string perItem(double bytes) {
    char text[48];
    if (bytes >= 10240)
        std::snprintf(text, sizeof text, "%.1f kB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.0f bytes", bytes);
    return text;
}

// kSessions servers, each with one idle logged-in app.
bool sessions(uint8_t keepaliveSeconds) {
    RecordingDelegate delegate;
    std::vector<std::unique_ptr<WinampControlServer>> servers;
    for (int i = 0; i < kSessions; ++i) {
        servers.push_back(std::make_unique<WinampControlServer>());
        servers.back()->setDelegate(&delegate);
        if (!servers.back()->listen(0))
            return false;
    }
    platform::sleepMs(200); // every listening thread settled
    const size_t heap = platform::heapInUse();
    const uint64_t resident = residentBytes();
    std::vector<platform::SocketHandle> apps;
    for (auto& server : servers) {
        apps.push_back(logIn(*server, keepaliveSeconds));
        if (apps.back() == platform::kInvalidSocket)
            return false;
    }
    platform::sleepMs(200); // the login bursts sent, every thread idle
    const double heapEach = double(platform::heapInUse() - heap) / kSessions;
    const double residentEach = (double(residentBytes()) - double(resident)) / kSessions;
    std::printf("per idle logged-in session%s (%d sessions): heap %s, resident %s (its "
                "threads' stacks included)\n",
                keepaliveSeconds ? ", keep-alive on" : "", kSessions, perItem(heapEach).c_str(),
                perItem(residentEach).c_str());
    for (auto s : apps)
        platform::closeSocket(s);
    return true;
}

// A server with one app logged in, whose delegate holds every call of `op` until the end.
struct HeldServer {
    explicit HeldServer(Op op) {
        delegate.onCall(op, [this] { release.wait(kWaitMs); });
        server.setDelegate(&delegate);
        if (server.listen(0))
            app = logIn(server, 0);
    }
    ~HeldServer() {
        release.set();
        if (app != platform::kInvalidSocket)
            platform::closeSocket(app);
    }
    RecordingDelegate delegate;
    platform::Event release{false};
    WinampControlServer server;
    platform::SocketHandle app = platform::kInvalidSocket;
};

// Messages held in the processing queue behind a request the delegate does not answer yet.
bool queuedMessages() {
    HeldServer held(Op::GetPlayerStatus);
    if (held.app == platform::kInvalidSocket)
        return false;
    wire::QueryMessage status;
    status.sub = wire::QUERY_PLAYER_STATUS;
    sendAll(held.app, wire::encodeFrame(status));
    if (!held.delegate.waitForCount(Op::GetPlayerStatus, 1, kWaitMs))
        return false;
    wire::QueryMessage index;
    index.sub = wire::QUERY_CURRENT_INDEX;
    const std::vector<uint8_t> frame = wire::encodeFrame(index);
    std::vector<uint8_t> all;
    for (size_t i = 0; i < kMessages; ++i)
        all.insert(all.end(), frame.begin(), frame.end());
    const size_t heap = platform::heapInUse();
    sendAll(held.app, all);
    if (!waitUntil([&] { return held.server.processor().queued() == kMessages; }))
        return false;
    const double each = double(platform::heapInUse() - heap) / kMessages;
    std::printf("per message waiting for the processing thread (%zu messages of %zu bytes): "
                "heap %s\n",
                kMessages, frame.size(), perItem(each).c_str());
    return true;
}

// Cover requests waiting while all four loader threads are busy.
bool pendingCovers() {
    HeldServer held(Op::GetAlbumCover);
    if (held.app == platform::kInvalidSocket)
        return false;
    auto request = [](size_t i) {
        wire::CoverRequestMessage r;
        r.album = "An Album Title Of Ordinary Length";
        r.hasArtist = true;
        r.artist = "An Artist";
        r.tag1 = uint32_t(i);
        r.requestedSize = 200;
        return wire::encodeFrame(r);
    };
    for (size_t i = 0; i < 4; ++i)
        sendAll(held.app, request(i));
    if (!held.delegate.waitForCount(Op::GetAlbumCover, 4, kWaitMs))
        return false;
    std::vector<uint8_t> all;
    for (size_t i = 4; i < 4 + kCovers; ++i) {
        std::vector<uint8_t> frame = request(i);
        all.insert(all.end(), frame.begin(), frame.end());
    }
    const size_t heap = platform::heapInUse();
    sendAll(held.app, all);
    if (!waitUntil([&] { return held.server.coverLoader().pendingCount() == kCovers; }))
        return false;
    const double each = double(platform::heapInUse() - heap) / kCovers;
    std::printf("per cover request waiting for a loader thread (%zu requests, album and artist "
                "of 33 and 9 bytes): heap %s\n",
                kCovers, perItem(each).c_str());
    return true;
}

// Pushes to an app that reads nothing, once the sockets' own buffers are full.
bool sendBacklog() {
    RecordingDelegate delegate;
    WinampControlServer server;
    server.setDelegate(&delegate);
    if (!server.listen(0))
        return false;
    platform::SocketHandle app = logIn(server, 0);
    if (app == platform::kInvalidSocket)
        return false;
    const uint32_t id = server.sessionConnection();
    TrackInfo track;
    track.name = std::string(200, 'n');
    track.artist = std::string(100, 'a');
    while (server.transport().queuedBytes(id) < (1u << 20))
        server.sendTrackInfo(track);
    platform::sleepMs(100);
    const size_t heap = platform::heapInUse();
    const size_t queued = server.transport().queuedBytes(id);
    for (int i = 0; i < 50000; ++i)
        server.sendTrackInfo(track);
    const size_t more = server.transport().queuedBytes(id) - queued;
    const double each = double(platform::heapInUse() - heap) / double(more);
    platform::closeSocket(app);
    std::printf("per byte waiting in a send buffer (%zu bytes more): heap %.2f bytes\n", more,
                each);
    return true;
}

} // namespace

int main() {
    if (!platform::socketStartup())
        return 1;
    if (platform::heapInUse() == 0) {
        std::printf("session_bench: this C runtime does not say how much heap is in use\n");
        return 0;
    }
    bool ok = sessions(0) && sessions(10) && queuedMessages() && pendingCovers() && sendBacklog();
    platform::socketCleanup();
    if (!ok)
        std::fprintf(stderr, "session_bench: a step did not finish within %u ms\n", kWaitMs);
    return ok ? 0 : 1;
}
