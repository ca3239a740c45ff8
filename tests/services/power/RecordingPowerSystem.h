// A power system that records every call with its arguments, in order, and answers as told.
// Optionally each request that would change the machine's state (InitiateSystemShutdownExW,
// ExitWindowsEx, SetSuspendState) blocks until the test releases it, so a test can see the
// action's thread running. Thread-safe: the action's thread calls it, the test reads it.
#pragma once

#include "platform/Sync.h"
#include "services/power/PowerSystem.h"

#include <cstdio>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace powertest {

using namespace services::power;

class RecordingPowerSystem final : public PowerSystem {
public:
    static constexpr Luid kShutdownLuid{19, 0};

    // Answers.
    struct Answers {
        bool tokenOpens = true;
        bool hasInitiate = true;
        bool initiateAccepts = true;
        std::vector<bool> exitAnswers{}; // one per ExitWindowsEx call; true past the end
        bool powrprofLoads = true;
        int powrprofFirstLoadsFailing = 0;      // that many loads fail before it loads
        std::set<std::string> missingEntries{}; // of powrprof
        uint8_t suspendAllowed = 1;
        uint8_t hibernateAllowed = 1;
        uint8_t setSuspendAnswer = 1;
    } answers;

    RecordingPowerSystem() = default;
    explicit RecordingPowerSystem(Answers a) : answers(std::move(a)) {}

    // Blocking: when `release` is given, each state-changing request signals `entered` and
    // waits for it. The test owns it, so a thread that sets it may outlive this system.
    platform::Event* release = nullptr;
    platform::Event entered{false};

    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    // The calls that change the machine's state.
    std::vector<std::string> requests() {
        std::vector<std::string> out;
        for (const std::string& c : calls())
            if (c.rfind("InitiateSystemShutdownExW", 0) == 0 || c.rfind("ExitWindowsEx", 0) == 0 ||
                c.rfind("SetSuspendState", 0) == 0)
                out.push_back(c);
        return out;
    }

    bool openProcessToken(uint32_t access, Handle& token) override {
        log("OpenProcessToken(" + hex(access) + ")");
        if (!answers.tokenOpens)
            return false;
        token = handleOf("token");
        return true;
    }
    bool lookupPrivilegeValue(std::u16string_view name, Luid& luid) override {
        std::string n(name.begin(), name.end());
        log("LookupPrivilegeValue(local, " + n + ")");
        luid = kShutdownLuid;
        return true;
    }
    bool adjustTokenPrivilege(Handle token, const Luid& luid, uint32_t attributes) override {
        log("AdjustTokenPrivileges(" + name(token) + ", " + std::to_string(luid.lowPart) + ":" +
            std::to_string(luid.highPart) + ", " + std::to_string(attributes) + ")");
        return true;
    }
    bool closeHandle(Handle handle) override {
        log("CloseHandle(" + name(handle) + ")");
        return true;
    }
    Handle getModuleHandle(std::u16string_view module) override {
        log("GetModuleHandle(" + std::string(module.begin(), module.end()) + ")");
        return module == u"ADVAPI32" ? handleOf("ADVAPI32") : 0;
    }
    Handle loadLibrary(std::u16string_view module) override {
        log("LoadLibrary(" + std::string(module.begin(), module.end()) + ")");
        if (module != u"powrprof.dll" || !answers.powrprofLoads)
            return 0;
        std::lock_guard<std::mutex> lock(mutex_);
        return powrprofLoadsSoFar_++ < answers.powrprofFirstLoadsFailing ? 0 : handleOf("powrprof");
    }
    Handle getProcAddress(Handle module, std::string_view entry) override {
        const std::string e(entry);
        log("GetProcAddress(" + name(module) + ", " + e + ")");
        if (name(module) == "ADVAPI32" && e == "InitiateSystemShutdownExW" && answers.hasInitiate)
            return handleOf(e);
        if (name(module) == "powrprof" && !answers.missingEntries.count(e) &&
            (e == "IsPwrSuspendAllowed" || e == "IsPwrHibernateAllowed" || e == "SetSuspendState"))
            return handleOf(e);
        return 0;
    }
    void freeLibrary(Handle module) override { log("FreeLibrary(" + name(module) + ")"); }

    bool callInitiateSystemShutdownEx(Handle procedure, const char16_t* machine,
                                      const char16_t* message, uint32_t timeout,
                                      bool forceAppsClosed, bool rebootAfterShutdown,
                                      uint32_t reason) override {
        log(name(procedure) + "(" + (machine ? "machine" : "null") + ", " +
            (message ? "message" : "null") + ", " + std::to_string(timeout) + ", force " +
            std::to_string(forceAppsClosed) + ", reboot " + std::to_string(rebootAfterShutdown) +
            ", " + hex(reason) + ")");
        block();
        return answers.initiateAccepts;
    }
    uint8_t callPowerQuery(Handle procedure) override {
        const std::string n = name(procedure);
        log(n + "()");
        return n == "IsPwrSuspendAllowed"     ? answers.suspendAllowed
               : n == "IsPwrHibernateAllowed" ? answers.hibernateAllowed
                                              : 0xEE;
    }
    uint8_t callSetSuspendState(Handle procedure, bool hibernate, bool force,
                                bool wakeupEventsDisabled) override {
        log(name(procedure) + "(hibernate " + std::to_string(hibernate) + ", force " +
            std::to_string(force) + ", wake disabled " + std::to_string(wakeupEventsDisabled) +
            ")");
        block();
        return answers.setSuspendAnswer;
    }
    bool exitWindowsEx(uint32_t flags, uint32_t reason) override {
        size_t n;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            n = exitCalls_++;
        }
        log("ExitWindowsEx(" + hex(flags) + ", " + hex(reason) + ")");
        block();
        return n < answers.exitAnswers.size() ? answers.exitAnswers[n] : true;
    }

private:
    static std::string hex(uint32_t v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", v);
        return buf;
    }
    // Every handle it gives out is the index of its name here.
    static constexpr const char* kNames[] = {"",
                                             "token",
                                             "ADVAPI32",
                                             "powrprof",
                                             "InitiateSystemShutdownExW",
                                             "IsPwrSuspendAllowed",
                                             "IsPwrHibernateAllowed",
                                             "SetSuspendState"};
    static Handle handleOf(std::string_view name) {
        Handle h = 1;
        while (h < std::size(kNames) && kNames[h] != name)
            ++h;
        return h;
    }
    static std::string name(Handle h) {
        return h < std::size(kNames) ? kNames[h] : "handle " + std::to_string(h);
    }
    void log(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
    }
    void block() {
        if (!release)
            return;
        entered.set();
        release->wait(platform::kInfinite);
    }

    std::mutex mutex_;
    std::vector<std::string> calls_;
    size_t exitCalls_ = 0;
    int powrprofLoadsSoFar_ = 0;
};

} // namespace powertest
