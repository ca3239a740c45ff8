// The power actions with a recording power system: every call, flag, order and fallback of the
// actions, ShutdownSystem and SetSuspendStateIfAvailable, SystemShutdownThread's start rule, and
// the Linux host's announcing system. Nothing here touches the machine.
#include "services/power/PowerActions.h"

#include "common/Utf.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "services/power/AnnouncingPowerSystem.h"
#include "services/power/PowerSystem.h"
#include "services/power/SystemShutdownThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace services::power;
using Calls = std::vector<std::string>;

namespace {

// Records every call with its arguments, in order, and answers from a script: answers[key] gives
// one answer per call, the last one repeated; a call without one succeeds. Keys: "token", a
// module's name, "find:<entry>" and a called entry's own name. Each handle is named by what it
// stands for. With `release` set, each request that would change the machine's state signals
// `entered` and waits for it. The action's thread calls it while the test reads it.
class RecordingPowerSystem final : public PowerSystem {
public:
    using Answers = std::map<std::string, std::vector<int>>;
    explicit RecordingPowerSystem(Answers answers = {}) : answers_(std::move(answers)) {}

    platform::Event* release = nullptr; // the test's own: a thread that sets it may outlive us
    platform::Event entered{false};

    Calls calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

    bool openProcessToken(uint32_t access, Handle& token) override {
        log("OpenProcessToken", hex(access));
        token = handleOf("token");
        return answer("token");
    }
    bool lookupPrivilegeValue(std::u16string_view privilege, Luid& luid) override {
        luid = Luid{19, 0};
        return log("LookupPrivilegeValue", utf16ToUtf8(privilege));
    }
    bool adjustTokenPrivilege(Handle token, const Luid& luid, uint32_t attributes) override {
        return log("AdjustTokenPrivileges", name(token),
                   std::to_string(luid.lowPart) + ":" + std::to_string(luid.highPart), attributes);
    }
    bool closeHandle(Handle handle) override { return log("CloseHandle", name(handle)); }
    Handle getModuleHandle(std::u16string_view module) override {
        return log("GetModuleHandle", utf16ToUtf8(module)) && answer(utf16ToUtf8(module))
                   ? handleOf(utf16ToUtf8(module))
                   : 0;
    }
    Handle loadLibrary(std::u16string_view module) override {
        return log("LoadLibrary", utf16ToUtf8(module)) && answer(utf16ToUtf8(module))
                   ? handleOf(utf16ToUtf8(module))
                   : 0;
    }
    Handle getProcAddress(Handle module, std::string_view entry) override {
        const std::string e(entry);
        return log("GetProcAddress", name(module), e) && answer("find:" + e) ? handleOf(e) : 0;
    }
    void freeLibrary(Handle module) override { log("FreeLibrary", name(module)); }
    bool callInitiateSystemShutdownEx(Handle procedure, const char16_t* machine,
                                      const char16_t* message, uint32_t timeout, bool force,
                                      bool reboot, uint32_t reason) override {
        log(name(procedure), machine ? "machine" : "null", message ? "message" : "null", timeout,
            "force " + std::to_string(force), "reboot " + std::to_string(reboot), hex(reason));
        return request(name(procedure));
    }
    uint8_t callPowerQuery(Handle procedure) override {
        log(name(procedure));
        return uint8_t(answer(name(procedure)));
    }
    uint8_t callSetSuspendState(Handle procedure, bool hibernate, bool force,
                                bool wakeupEventsDisabled) override {
        log(name(procedure), "hibernate " + std::to_string(hibernate),
            "force " + std::to_string(force),
            "wake disabled " + std::to_string(wakeupEventsDisabled));
        return uint8_t(request(name(procedure)));
    }
    bool exitWindowsEx(uint32_t flags, uint32_t reason) override {
        log("ExitWindowsEx", hex(flags), hex(reason));
        return request("ExitWindowsEx");
    }

private:
    static std::string hex(uint32_t v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", v);
        return buf;
    }
    int answer(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = answers_.find(key);
        if (it == answers_.end() || it->second.empty())
            return 1;
        return it->second[std::min(used_[key]++, it->second.size() - 1)];
    }
    int request(const std::string& key) {
        if (release) {
            entered.set();
            release->wait(platform::kInfinite);
        }
        return answer(key);
    }
    Handle handleOf(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find(names_.begin(), names_.end(), what);
        if (it == names_.end())
            it = names_.insert(names_.end(), what);
        return Handle(it - names_.begin()) + 1;
    }
    std::string name(Handle h) {
        std::lock_guard<std::mutex> lock(mutex_);
        return h >= 1 && h <= names_.size() ? names_[h - 1] : "handle " + std::to_string(h);
    }
    // Logs "call(arg, arg, ...)"; true.
    template <class... Args> bool log(const std::string& call, const Args&... args) {
        std::ostringstream text;
        text << call << "(";
        [[maybe_unused]] const char* separator = "";
        ((text << separator << args, separator = ", "), ...);
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(text.str() + ")");
        return true;
    }

    std::mutex mutex_;
    Answers answers_;
    std::map<std::string, size_t> used_;
    Calls names_, calls_;
};

Calls join(std::initializer_list<Calls> parts) {
    Calls out;
    for (const Calls& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The whole ShutdownSystem sequence around `request`.
Calls shutdownVia(const std::string& request) {
    return {"OpenProcessToken(0x28)",
            "LookupPrivilegeValue(SeShutdownPrivilege)",
            "AdjustTokenPrivileges(token, 19:0, 2)",
            "GetModuleHandle(ADVAPI32)",
            "GetProcAddress(ADVAPI32, InitiateSystemShutdownExW)",
            request,
            "AdjustTokenPrivileges(token, 19:0, 0)",
            "CloseHandle(token)"};
}
Calls init(bool reboot) {
    return shutdownVia(std::string("InitiateSystemShutdownExW(null, null, 0, force 1, reboot ") +
                       (reboot ? "1" : "0") + ", 0x80040001)");
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
    return powrprof("SetSuspendState", std::string("SetSuspendState(hibernate ") +
                                           (hibernate ? "1" : "0") + ", force 1, wake disabled 0)");
}

} // namespace

// Each row: the system's answers, one call of the logic ('S' ShutdownSystem(arg), 'H'
// SetSuspendStateIfAvailable(arg), 'A' CarryOutPowerAction(arg)), what it answers and every call.
TEST(PowerActions, CallsInOrderForEachAnswerOfTheSystem) {
    using A = RecordingPowerSystem::Answers;
    const A noToken{{"token", {0}}}, noAdvapi{{"ADVAPI32", {0}}};
    const A noInit{{"find:InitiateSystemShutdownExW", {0}}};
    const A noExit{{"find:InitiateSystemShutdownExW", {0}}, {"ExitWindowsEx", {0}}};
    const A exitOnce{{"find:InitiateSystemShutdownExW", {0}}, {"ExitWindowsEx", {0, 1}}};
    const A initRefused{{"InitiateSystemShutdownExW", {0}}};
    const A suspend0{{"SetSuspendState", {0}}}, suspend2{{"SetSuspendState", {2}}};
    const A noLib{{"powrprof.dll", {0}}};
    const A noSuspendEntry{{"find:SetSuspendState", {0}}};
    const A noSQuery{{"find:IsPwrSuspendAllowed", {0}}};
    const A s0{{"IsPwrSuspendAllowed", {0}}}, s2{{"IsPwrSuspendAllowed", {2}}};
    const A s2hFF{{"IsPwrSuspendAllowed", {2}}, {"IsPwrHibernateAllowed", {0xFF}}};
    const Calls load = {"LoadLibrary(powrprof.dll)"};
    const Calls askS = powrprof("IsPwrSuspendAllowed", "IsPwrSuspendAllowed()");
    const Calls askH = powrprof("IsPwrHibernateAllowed", "IsPwrHibernateAllowed()");
    Calls bareExit = exitw("0x16"); // InitiateSystemShutdownExW not looked up
    bareExit.erase(bareExit.begin() + 4);
    struct Case {
        const char* what;
        A answers;
        char call;
        uint32_t arg;
        bool result;
        Calls calls;
    };
    const Case cases[] = {
        // ShutdownSystem: InitiateSystemShutdownExW for shutdown, restart and power off only.
        {"restart", {}, 'S', kEwxReboot, true, init(true)},
        {"power off", {}, 'S', kEwxPowerOff, true, init(false)},
        {"all three", {}, 'S', kEwxShutdown | kEwxReboot | kEwxPowerOff, true, init(true)},
        {"refused", initRefused, 'S', kEwxReboot, false, init(true)},
        {"no initiate", noInit, 'S', kEwxReboot, true, exitw("0x16")},
        {"exit refused", noExit, 'S', kEwxReboot, false, exitw("0x16")},
        {"no ADVAPI32", noAdvapi, 'S', kEwxReboot, true, bareExit},
        {"no token", noToken, 'S', kEwxReboot, false, {"OpenProcessToken(0x28)"}},
        // Flags beyond those three take ExitWindowsEx, forced, the others kept.
        {"force", {}, 'S', kEwxForce, true, exitw("0x14")},
        {"power off 0x40", {}, 'S', kEwxPowerOff | 0x40, true, exitw("0x5c")},
        // SetSuspendStateIfAvailable: any non-zero answer is accepted.
        {"suspend", {}, 'H', 0, true, suspendState(false)},
        {"hibernate", {}, 'H', 1, true, suspendState(true)},
        {"suspend refused", suspend0, 'H', 0, false, suspendState(false)},
        {"suspend answers 2", suspend2, 'H', 0, true, suspendState(false)},
        {"no powrprof", noLib, 'H', 1, false, load},
        {"no SetSuspendState", noSuspendEntry, 'H', 1, false, powrprof("SetSuspendState", "")},
        // Sleep: suspend when allowed (exactly 1), else hibernate when allowed, else nothing.
        {"sleep", {}, 'A', 0, true, join({askS, suspendState(false)})},
        {"sleep hibernates", s0, 'A', 0, true, join({askS, askH, suspendState(true)})},
        {"suspend allowed 2", s2, 'A', 0, true, join({askS, askH, suspendState(true)})},
        {"neither is exactly 1", s2hFF, 'A', 0, true, join({askS, askH})},
        {"sleep without powrprof", noLib, 'A', 0, true, join({load, load})},
        {"no suspend query", noSQuery, 'A', 0, true,
         join({powrprof("IsPwrSuspendAllowed", ""), askH, suspendState(true)})},
        // Restart does not fall back; power off falls back once to a plain shutdown.
        {"restart action", {}, 'A', 1, true, init(true)},
        {"restart refused", noExit, 'A', 1, true, exitw("0x16")},
        {"power off action", {}, 'A', 2, true, init(false)},
        {"power off refused", initRefused, 'A', 2, true, join({init(false), init(false)})},
        {"falls back", exitOnce, 'A', 2, true, join({exitw("0x1c"), exitw("0x15")})},
        {"action 3", {}, 'A', 3, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingPowerSystem sys(c.answers);
        bool result = true;
        if (c.call == 'S')
            result = ShutdownSystem(sys, c.arg);
        else if (c.call == 'H')
            result = SetSuspendStateIfAvailable(sys, c.arg != 0);
        else
            CarryOutPowerAction(sys, c.arg);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(sys.calls(), c.calls);
    }
}

// One action at a time: a start while one runs changes nothing and answers true; once it has
// ended a new start runs the next; destroying the service waits for a running action.
TEST(SystemShutdownThread, RunsOneActionAtATimeAndDestroyingWaitsForIt) {
    platform::Event release;
    auto owned = std::make_unique<RecordingPowerSystem>();
    RecordingPowerSystem* sys = owned.get();
    sys->release = &release;
    auto thread = std::make_unique<SystemShutdownThread>(std::move(owned));
    EXPECT_FALSE(thread->isRunning());

    ASSERT_TRUE(thread->start(1));
    ASSERT_TRUE(sys->entered.wait(10000));
    EXPECT_TRUE(thread->isRunning());
    EXPECT_TRUE(thread->start(2));
    EXPECT_EQ(thread->action(), 1u) << "the stored action is not changed";
    release.set();
    EXPECT_TRUE(thread->WaitForExit(10000));
    EXPECT_FALSE(thread->isRunning());
    EXPECT_EQ(sys->calls(), init(true)) << "one restart only";

    // The next start runs again; this time the suspend request blocks until it is released.
    release.reset();
    sys->entered.reset();
    ASSERT_TRUE(thread->start(0));
    EXPECT_EQ(thread->action(), 0u);
    ASSERT_TRUE(sys->entered.wait(10000));
    std::thread releaser([&release] {
        platform::sleepMs(50);
        release.set();
    });
    thread.reset(); // returns only once the blocked request has been released
    EXPECT_TRUE(release.isSet());
    releaser.join();
}

TEST(AnnouncingPowerSystem, AnnouncesEachActionOnce) {
    for (const auto& [action, said] : {std::pair{0u, Calls{"would suspend"}},
                                       {1u, Calls{"would restart"}},
                                       {2u, Calls{"would power off"}},
                                       {7u, Calls{}}}) {
        std::mutex mutex;
        Calls heard;
        auto service = makeAnnouncingPowerActions([&](std::string s) {
            std::lock_guard<std::mutex> lock(mutex);
            heard.push_back(std::move(s));
        });
        EXPECT_TRUE(service->start(action));
        service.reset(); // destroying the service waits for its action
        EXPECT_EQ(heard, said) << action;
    }
}
