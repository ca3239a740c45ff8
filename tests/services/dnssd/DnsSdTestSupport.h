// Helpers of the DNS-SD tests: the fake library's controls, a socket that the test makes
// readable to stand for the daemon's reply, and a recorder of the thread's observer events.
#pragma once

#include "platform/Socket.h"
#include "platform/Sync.h"
#include "services/dnssd/BonjourServiceThread.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "tests/services/dnssd/FakeDnsSd.h"
#include "tests/support/TestSocket.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace dnssd_test {

using services::dnssd::BonjourEvent;
using services::dnssd::BonjourServiceThread;

// The fake libraries (FakeDnsSd.cpp), by the path the build gives: beside the test program
// on Windows (found by the default search order), a full path elsewhere.
inline constexpr const char kFakeLibrary[] = FAKE_DNSSD_LIBRARY;
inline constexpr const char kFakeLibraryWithoutRegister[] = FAKE_DNSSD_LIBRARY_WITHOUT_REGISTER;

// The controls of the loaded fake.
class Fake {
public:
    // Loads the fake at `path` in place of the library, with `s` and an empty log; false when
    // it or one of its controls is missing.
    bool load(const char* path, const FakeDnsSdScript& s = {}) {
        if (!services::dnssd::replaceLibraryForTesting(path))
            return false;
        setScript_ = entry<FakeDnsSdScriptFn>("FakeDnsSdSetScript");
        log_ = entry<FakeDnsSdCallLogFn>("FakeDnsSdCallLog");
        live_ = entry<FakeDnsSdLiveFn>("FakeDnsSdLive");
        if (!setScript_ || !log_ || !live_)
            return false;
        script(s);
        return true;
    }
    void script(const FakeDnsSdScript& s) { setScript_(&s); }
    std::string log() {
        char buffer[4096];
        return std::string(buffer, log_(buffer, sizeof buffer));
    }
    int live() { return live_(); }
    bool waitForLog(const std::string& expected) {
        return testing_support::waitUntil([&] { return log() == expected; });
    }

private:
    template <class F> static F entry(const char* name) {
        return reinterpret_cast<F>(services::dnssd::libraryEntryForTesting(name));
    }
    FakeDnsSdScriptFn setScript_ = nullptr;
    FakeDnsSdCallLogFn log_ = nullptr;
    FakeDnsSdLiveFn live_ = nullptr;
};

// The thread's registration as the fake logs it: all interfaces, the computer's name, the
// default domain and host, the port's bytes in memory order, no TXT data.
inline std::string registration(const char* portBytes,
                                const std::string& type = "_tandravole._tcp") {
    return "register(0, 0, null, " + type + ", null, null, " + portBytes +
           ", 0, null, reply, context)";
}

// A connected pair of loopback sockets: the fake hands out the reading end as the
// registration's socket; a byte written to the other end is one reply of the "daemon", which
// the fake's DNSServiceProcessResult takes (drain) before it calls the reply callback.
class ReplyChannel {
public:
    ReplyChannel() {
        platform::socketStartup();
        platform::SocketHandle listener = platform::listenTcp4(0);
        writer_.connect(platform::socketLocalPort(listener));
        if (writer_.connected() && platform::selectReadable(listener, 3000000) == 1)
            reader_ = platform::acceptSocket(listener);
        platform::closeSocket(listener);
    }
    ~ReplyChannel() {
        if (reader_ != platform::kInvalidSocket)
            platform::closeSocket(reader_);
        writer_.close();
        platform::socketCleanup();
    }
    bool valid() const { return reader_ != platform::kInvalidSocket; }
    bool queueReply() { return writer_.sendAll("r", 1); }
    // While held, the fake's DNSServiceProcessResult blocks (up to 10 s) before it replies.
    void hold() { open_.reset(); }
    void release() { open_.set(); }
    // The script that answers through this channel.
    FakeDnsSdScript script() {
        FakeDnsSdScript s;
        s.sockFd = static_cast<int>(reader_);
        s.drain = [](void* user) {
            auto* self = static_cast<ReplyChannel*>(user);
            self->open_.wait(10000);
            char byte;
            platform::recvSome(self->reader_, &byte, 1);
        };
        s.drainUser = this;
        return s;
    }

private:
    platform::SocketHandle reader_ = platform::kInvalidSocket;
    testing_support::TestClient writer_;
    platform::Event open_{true};
};

// What the thread's observer is told: "registered:<name> failed:<error> ended:<error>", in order.
class EventRecorder {
public:
    BonjourServiceThread::Observer observer() {
        return [this](const BonjourEvent& e) {
            std::lock_guard hold(lock_);
            summary_ += summary_.empty() ? "" : " ";
            if (e.kind == BonjourEvent::Kind::Registered)
                summary_ += "registered:" + e.name;
            else
                summary_ += (e.kind == BonjourEvent::Kind::Failed ? "failed:" : "ended:") +
                            std::to_string(e.error);
        };
    }
    std::string summary() {
        std::lock_guard hold(lock_);
        return summary_;
    }
    size_t count(const std::string& word) {
        size_t n = 0;
        const std::string all = summary();
        for (size_t at = all.find(word); at != all.npos; at = all.find(word, at + 1))
            ++n;
        return n;
    }
    bool waitFor(const std::string& word, size_t times = 1, uint32_t ms = 5000) {
        return testing_support::waitUntil([&] { return count(word) >= times; }, ms);
    }

private:
    std::mutex lock_;
    std::string summary_;
};

} // namespace dnssd_test
