// Helpers of the DNS-SD tests: the fake library's controls, a socket that the test makes
// readable to stand for the daemon's reply, and a recorder of the thread's observer events.
#pragma once

#include "platform/Socket.h"
#include "platform/Sync.h"
#include "services/dnssd/BonjourServiceThread.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "tests/services/dnssd/FakeDnsSd.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace dnssd_test {

using services::dnssd::BonjourEvent;
using services::dnssd::BonjourServiceThread;

// The fake libraries (FakeDnsSd.cpp), by the path the build gives: beside the test program
// on Windows (found by the default search order), a full path elsewhere.
inline constexpr const char kFakeLibrary[] = FAKE_DNSSD_LIBRARY;
inline constexpr const char kFakeLibraryWithoutRegister[] = FAKE_DNSSD_LIBRARY_WITHOUT_REGISTER;

// The controls of the fake that is loaded now.
class FakeControls {
public:
    // Resolves the controls of the loaded fake; valid() says whether all were found.
    FakeControls()
        : reset_(entry<FakeDnsSdResetFn>(kFakeDnsSdReset)),
          setScript_(entry<FakeDnsSdSetScriptFn>(kFakeDnsSdSetScript)),
          lastRegistration_(entry<FakeDnsSdLastRegistrationFn>(kFakeDnsSdLastRegistration)),
          callLog_(entry<FakeDnsSdCallLogFn>(kFakeDnsSdCallLog)),
          live_(entry<FakeDnsSdLiveRegistrationsFn>(kFakeDnsSdLiveRegistrations)) {}
    bool valid() const { return reset_ && setScript_ && lastRegistration_ && callLog_ && live_; }

    void reset() { reset_(); }
    void script(const FakeDnsSdScript& s) { setScript_(&s); }
    bool lastRegistration(FakeDnsSdRegistration& out) { return lastRegistration_(&out); }
    std::string log() {
        char buffer[4096];
        size_t n = callLog_(buffer, sizeof buffer);
        return std::string(buffer, n);
    }
    int liveRegistrations() { return live_(); }
    bool waitForLog(const std::string& expected, uint32_t ms = 5000) {
        return testing_support::waitUntil([&] { return log() == expected; }, ms);
    }

private:
    template <class F> static F entry(const char* name) {
        return reinterpret_cast<F>(services::dnssd::libraryEntryForTesting(name));
    }
    FakeDnsSdResetFn reset_ = nullptr;
    FakeDnsSdSetScriptFn setScript_ = nullptr;
    FakeDnsSdLastRegistrationFn lastRegistration_ = nullptr;
    FakeDnsSdCallLogFn callLog_ = nullptr;
    FakeDnsSdLiveRegistrationsFn live_ = nullptr;
};

// A connected pair of loopback sockets: the fake hands out the reading end as the
// registration's socket; a byte written to the other end is one reply of the "daemon", which
// the fake's DNSServiceProcessResult takes (drain) before it calls the reply callback.
class ReplyChannel {
public:
    ReplyChannel() {
        platform::socketStartup();
        platform::SocketHandle listener = platform::listenTcp4(0);
        if (listener == platform::kInvalidSocket)
            return;
        writer_ = platform::connectTcp4("127.0.0.1", platform::socketLocalPort(listener), 3000);
        if (writer_ != platform::kInvalidSocket && platform::selectReadable(listener, 3000000) == 1)
            reader_ = platform::acceptSocket(listener);
        platform::closeSocket(listener);
    }
    ~ReplyChannel() {
        if (reader_ != platform::kInvalidSocket)
            platform::closeSocket(reader_);
        if (writer_ != platform::kInvalidSocket)
            platform::closeSocket(writer_);
        platform::socketCleanup();
    }
    ReplyChannel(const ReplyChannel&) = delete;
    ReplyChannel& operator=(const ReplyChannel&) = delete;

    bool valid() const {
        return reader_ != platform::kInvalidSocket && writer_ != platform::kInvalidSocket;
    }
    int fd() const { return static_cast<int>(reader_); }
    bool queueReply() {
        const char byte = 'r';
        return platform::sendSome(writer_, &byte, 1) == 1;
    }
    // While held, the fake's DNSServiceProcessResult blocks (up to 10 s) before it replies.
    void hold() { open_.reset(); }
    void release() { open_.set(); }
    static void drain(void* user) {
        auto* self = static_cast<ReplyChannel*>(user);
        self->open_.wait(10000);
        char byte;
        platform::recvSome(self->reader_, &byte, 1);
    }
    // The script that answers through this channel.
    FakeDnsSdScript script() {
        FakeDnsSdScript s;
        s.sockFd = fd();
        s.drain = &ReplyChannel::drain;
        s.drainUser = this;
        return s;
    }

private:
    platform::SocketHandle reader_ = platform::kInvalidSocket;
    platform::SocketHandle writer_ = platform::kInvalidSocket;
    platform::Event open_{true};
};

// Keeps what the thread's observer is told.
class EventRecorder {
public:
    BonjourServiceThread::Observer observer() {
        return [this](const BonjourEvent& event) {
            std::lock_guard hold(lock_);
            events_.push_back(event);
        };
    }
    std::vector<BonjourEvent> events() {
        std::lock_guard hold(lock_);
        return events_;
    }
    size_t count(BonjourEvent::Kind kind) {
        std::lock_guard hold(lock_);
        size_t n = 0;
        for (const auto& e : events_)
            n += e.kind == kind;
        return n;
    }
    bool waitFor(BonjourEvent::Kind kind, size_t times = 1, uint32_t ms = 5000) {
        return testing_support::waitUntil([&] { return count(kind) >= times; }, ms);
    }
    // "registered:<name> failed:<error> ended:<error>", in order.
    std::string summary() {
        std::lock_guard hold(lock_);
        std::string out;
        for (const auto& e : events_) {
            if (!out.empty())
                out += ' ';
            switch (e.kind) {
            case BonjourEvent::Kind::Registered:
                out += "registered:" + e.name;
                break;
            case BonjourEvent::Kind::Failed:
                out += "failed:" + std::to_string(e.error);
                break;
            case BonjourEvent::Kind::Ended:
                out += "ended:" + std::to_string(e.error);
                break;
            }
        }
        return out;
    }

private:
    std::mutex lock_;
    std::vector<BonjourEvent> events_;
};

} // namespace dnssd_test
