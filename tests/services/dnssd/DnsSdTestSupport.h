// Helpers of the DNS-SD tests: the fake library's controls, a socket that stays readable to
// stand for the daemon's reply, and a recorder of the thread's observer events.
#pragma once

#include "platform/Socket.h"
#include "services/dnssd/BonjourServiceThread.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "tests/services/dnssd/FakeDnsSd.h"
#include "tests/support/TestSocket.h"

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
    // it or its control is missing.
    bool load(const char* path, const FakeDnsSdScript& s = {}) {
        control_ = services::dnssd::replaceLibraryForTesting(path)
                       ? reinterpret_cast<FakeDnsSdControlFn>(
                             services::dnssd::libraryEntryForTesting("FakeDnsSdControl"))
                       : nullptr;
        if (!control_)
            return false;
        script(s);
        return true;
    }
    void script(const FakeDnsSdScript& s) { log(&s); }
    std::string log(const FakeDnsSdScript* s = nullptr) {
        char buffer[4096];
        return std::string(buffer, control_(s, buffer, sizeof buffer));
    }
    bool waitForLog(const std::string& expected) {
        return testing_support::waitUntil([&] { return log() == expected; });
    }

private:
    FakeDnsSdControlFn control_ = nullptr;
};

// The thread's registration as the fake logs it: all interfaces, the computer's name, the
// default domain and host, the port's bytes in memory order, no TXT data.
inline std::string registration(const char* portBytes,
                                const std::string& type = "_tandravole._tcp") {
    return "register(0, 0, null, " + type + ", null, null, " + portBytes +
           ", 0, null, reply, context)";
}

// A listening socket with a connection waiting: readable until it is closed, so the thread that
// is handed it as the daemon's socket goes on to process a result at once.
class ReadableSocket {
public:
    ReadableSocket() {
        platform::socketStartup();
        listener_ = platform::listenTcp4(0);
        client_.connect(platform::socketLocalPort(listener_));
    }
    ~ReadableSocket() {
        client_.close();
        platform::closeSocket(listener_);
        platform::socketCleanup();
    }
    int fd() const { return client_.connected() ? static_cast<int>(listener_) : -1; }

private:
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    testing_support::TestClient client_;
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

private:
    std::mutex lock_;
    std::string summary_;
};

} // namespace dnssd_test
