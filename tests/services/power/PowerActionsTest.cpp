// The power actions with a recording power system: every call, flag, order and fallback; then
// the Linux host's service over its announcing system.
#include "services/power/PowerActions.h"

#include "common/Utf.h"
#include "platform/Sync.h"
#include "services/power/AnnouncingPowerSystem.h"
#include "tests/support/TestSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace services::power;
using Calls = std::vector<std::string>;

namespace {

// Records every call as "Name(args)", numbers in hex, and answers from a script: answers[key]
// gives one answer per call, the last one repeated; a call without one succeeds. Keys: "token",
// a module's name, "find:<entry>" and a called entry's name. A handle stands for its name.
class RecordingPowerSystem final : public PowerSystem {
public:
    using Answers = std::map<std::string, std::vector<int>>;
    explicit RecordingPowerSystem(Answers answers = {}) : answers_(std::move(answers)) {}

    Calls calls;

    bool openProcessToken(uint32_t access, Handle& token) override {
        token = handle("token");
        return call("token", "OpenProcessToken", access);
    }
    bool lookupPrivilegeValue(std::u16string_view privilege, Luid& luid) override {
        luid = Luid{19, 0};
        return call("", "LookupPrivilegeValue", utf16ToUtf8(privilege));
    }
    bool adjustTokenPrivilege(Handle token, const Luid& luid, uint32_t attributes) override {
        return call("", "AdjustTokenPrivileges", name(token), luid.lowPart, luid.highPart,
                    attributes);
    }
    bool closeHandle(Handle h) override { return call("", "CloseHandle", name(h)); }
    Handle getModuleHandle(std::u16string_view m) override { return module("GetModuleHandle", m); }
    Handle loadLibrary(std::u16string_view m) override { return module("LoadLibrary", m); }
    Handle getProcAddress(Handle module, std::string_view entry) override {
        const std::string e(entry);
        return call("find:" + e, "GetProcAddress", name(module), e) ? handle(e) : 0;
    }
    void freeLibrary(Handle module) override { call("", "FreeLibrary", name(module)); }
    bool callInitiateSystemShutdownEx(Handle procedure, const char16_t* machine,
                                      const char16_t* message, uint32_t timeout, bool force,
                                      bool reboot, uint32_t reason) override {
        return call(name(procedure), name(procedure), machine ? "machine" : "null",
                    message ? "message" : "null", timeout, force, reboot, reason);
    }
    uint8_t callPowerQuery(Handle procedure) override {
        return uint8_t(call(name(procedure), name(procedure)));
    }
    uint8_t callSetSuspendState(Handle procedure, bool hibernate, bool force,
                                bool wakeupEventsDisabled) override {
        return uint8_t(
            call(name(procedure), name(procedure), hibernate, force, wakeupEventsDisabled));
    }
    bool exitWindowsEx(uint32_t flags, uint32_t reason) override {
        return call("ExitWindowsEx", "ExitWindowsEx", flags, reason);
    }

private:
    // Logs "what(arg, arg, ...)" and answers for `key`.
    template <class... Args>
    int call(const std::string& key, const std::string& what, Args... args) {
        std::ostringstream text;
        text << std::hex << std::showbase << what << "(";
        [[maybe_unused]] const char* separator = "";
        ((text << separator << args, separator = ", "), ...);
        calls.push_back(text.str() + ")");
        auto it = answers_.find(key);
        return it == answers_.end() ? 1 : it->second[std::min(used_[key]++, it->second.size() - 1)];
    }
    Handle module(const std::string& what, std::u16string_view module) {
        const std::string m = utf16ToUtf8(module);
        return call(m, what, m) ? handle(m) : 0;
    }
    Handle handle(const std::string& what) { return Handle(&*names_.insert(what).first); }
    static std::string name(Handle h) { return *reinterpret_cast<const std::string*>(h); }

    Answers answers_;
    std::map<std::string, size_t> used_;
    std::set<std::string> names_;
};

Calls operator+(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The whole ShutdownSystem sequence around `request`.
Calls shutdownVia(const std::string& request) {
    return {"OpenProcessToken(0x28)",
            "LookupPrivilegeValue(SeShutdownPrivilege)",
            "AdjustTokenPrivileges(token, 0x13, 0, 0x2)",
            "GetModuleHandle(ADVAPI32)",
            "GetProcAddress(ADVAPI32, InitiateSystemShutdownExW)",
            request,
            "AdjustTokenPrivileges(token, 0x13, 0, 0)",
            "CloseHandle(token)"};
}
Calls init(bool reboot) {
    return shutdownVia(std::string("InitiateSystemShutdownExW(null, null, 0, 0x1, ") +
                       (reboot ? "0x1" : "0") + ", 0x80040001)");
}
Calls exitw(const std::string& flags) {
    return shutdownVia("ExitWindowsEx(" + flags + ", 0x80040001)");
}
// powrprof.dll loaded, one entry looked up, called as `call` unless empty, and freed.
Calls powrprof(const std::string& entry, const std::string& call) {
    Calls out = {"LoadLibrary(powrprof.dll)", "GetProcAddress(powrprof.dll, " + entry + ")"};
    if (!call.empty())
        out.push_back(call);
    out.push_back("FreeLibrary(powrprof.dll)");
    return out;
}
Calls suspendState(bool hibernate) {
    return powrprof("SetSuspendState",
                    std::string("SetSuspendState(") + (hibernate ? "0x1" : "0") + ", 0x1, 0)");
}

} // namespace

// Each row: the system's answers, one call of the logic ('S' ShutdownSystem(arg), 'H'
// SetSuspendStateIfAvailable(arg), 'A' CarryOutPowerAction(arg)), what it answers and every call.
TEST(PowerActions, CallsInOrderForEachAnswerOfTheSystem) {
    using A = RecordingPowerSystem::Answers;
    const std::string initiate = "InitiateSystemShutdownExW", noInit = "find:" + initiate;
    const std::string lib = "powrprof.dll", query = "IsPwrSuspendAllowed";
    const Calls load = {"LoadLibrary(powrprof.dll)"};
    const Calls askS = powrprof("IsPwrSuspendAllowed", "IsPwrSuspendAllowed()");
    const Calls askH = powrprof("IsPwrHibernateAllowed", "IsPwrHibernateAllowed()");
    Calls bareExit = exitw("0x16"); // InitiateSystemShutdownExW not looked up
    bareExit.erase(bareExit.begin() + 4);
    const std::tuple<const char*, A, char, uint32_t, bool, Calls> cases[] = {
        // ShutdownSystem: InitiateSystemShutdownExW for shutdown, restart and power off only.
        {"all three", {}, 'S', kEwxShutdown | kEwxReboot | kEwxPowerOff, true, init(true)},
        {"refused", A{{initiate, {0}}}, 'S', kEwxReboot, false, init(true)},
        {"no initiate", A{{noInit, {0}}}, 'S', kEwxReboot, true, exitw("0x16")},
        {"exit refused", A{{noInit, {0}}, {"ExitWindowsEx", {0}}}, 'S', kEwxReboot, false,
         exitw("0x16")},
        {"no ADVAPI32", A{{"ADVAPI32", {0}}}, 'S', kEwxReboot, true, bareExit},
        {"no token", A{{"token", {0}}}, 'S', kEwxReboot, false, {"OpenProcessToken(0x28)"}},
        // Flags beyond those three take ExitWindowsEx, forced, the others kept.
        {"force", {}, 'S', kEwxForce, true, exitw("0x14")},
        {"power off 0x40", {}, 'S', kEwxPowerOff | 0x40, true, exitw("0x5c")},
        // SetSuspendStateIfAvailable: any non-zero answer is accepted; the sleep rows call it too.
        {"suspend refused", A{{"SetSuspendState", {0}}}, 'H', 0, false, suspendState(false)},
        {"suspend answers 2", A{{"SetSuspendState", {2}}}, 'H', 0, true, suspendState(false)},
        {"no powrprof", A{{lib, {0}}}, 'H', 1, false, load},
        {"no SetSuspendState", A{{"find:SetSuspendState", {0}}}, 'H', 1, false,
         powrprof("SetSuspendState", "")},
        // Sleep: suspend when allowed (exactly 1), else hibernate when allowed, else nothing.
        {"sleep", {}, 'A', 0, true, askS + suspendState(false)},
        {"sleep hibernates", A{{query, {0}}}, 'A', 0, true, askS + askH + suspendState(true)},
        {"suspend allowed 2", A{{query, {2}}}, 'A', 0, true, askS + askH + suspendState(true)},
        {"neither is exactly 1", A{{query, {2}}, {"IsPwrHibernateAllowed", {0xFF}}}, 'A', 0, true,
         askS + askH},
        {"sleep without powrprof", A{{lib, {0}}}, 'A', 0, true, load + load},
        {"no suspend query", A{{"find:" + query, {0}}}, 'A', 0, true,
         powrprof("IsPwrSuspendAllowed", "") + askH + suspendState(true)},
        // Restart does not fall back; power off falls back once to a plain shutdown.
        {"restart action", {}, 'A', 1, true, init(true)},
        {"restart refused", A{{noInit, {0}}, {"ExitWindowsEx", {0}}}, 'A', 1, true, exitw("0x16")},
        {"power off action", {}, 'A', 2, true, init(false)},
        {"power off refused", A{{initiate, {0}}}, 'A', 2, true, init(false) + init(false)},
        {"falls back", A{{noInit, {0}}, {"ExitWindowsEx", {0, 1}}}, 'A', 2, true,
         exitw("0x1c") + exitw("0x15")},
        {"action 3", {}, 'A', 3, true, {}},
    };
    for (const auto& [what, answers, call, arg, result, calls] : cases) {
        SCOPED_TRACE(what);
        RecordingPowerSystem sys(answers);
        bool answered = true;
        if (call == 'S')
            answered = ShutdownSystem(sys, arg);
        else if (call == 'H')
            answered = SetSuspendStateIfAvailable(sys, arg != 0);
        else
            CarryOutPowerAction(sys, arg);
        EXPECT_EQ(answered, result);
        EXPECT_EQ(sys.calls, calls);
    }
}

// The host's service: one action at a time (a start while one runs changes nothing and answers
// true; once it has ended a new start runs the next), each announced once, and destroying the
// service waits for a running action.
TEST(AnnouncingPowerActions, OneAtATimeEachAnnouncedAndDestroyingWaits) {
    platform::Event entered, release;
    std::mutex mutex;
    Calls heard;
    auto service = makeAnnouncingPowerActions([&](std::string s) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            heard.push_back(std::move(s));
        }
        entered.set();
        release.wait(platform::kInfinite);
    });
    EXPECT_FALSE(service->isRunning());
    ASSERT_TRUE(service->start(1));
    ASSERT_TRUE(entered.wait(10000));
    EXPECT_TRUE(service->isRunning());
    EXPECT_TRUE(service->start(2));
    release.set();
    for (uint32_t action : {0u, 2u, 7u}) {
        ASSERT_TRUE(testing_support::waitUntil([&] { return !service->isRunning(); }, 10000));
        EXPECT_TRUE(service->start(action));
    }
    ASSERT_TRUE(testing_support::waitUntil([&] { return !service->isRunning(); }, 10000));
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(heard, (Calls{"would restart", "would suspend", "would power off"}));
    }

    release.reset();
    entered.reset();
    ASSERT_TRUE(service->start(1));
    ASSERT_TRUE(entered.wait(10000));
    std::thread releaser([&release] {
        platform::sleepMs(50);
        release.set();
    });
    service.reset(); // returns only once the blocked announcement has been released
    EXPECT_TRUE(release.isSet());
    releaser.join();
}
