// Helpers of the DNS-SD tests: the fake library's controls and a recorder of the thread's
// observer events.
#pragma once

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
