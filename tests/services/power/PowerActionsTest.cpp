// The power actions with a recording power system: every call, flag, order and fallback of the
// actions, ShutdownSystem and SetSuspendStateIfAvailable, SystemShutdownThread's start rule, and
// the Linux host's announcing system. Nothing here touches the machine.
#include "services/power/PowerActions.h"

#include "platform/Clock.h"
#include "services/power/AnnouncingPowerSystem.h"
#include "services/power/SystemShutdownThread.h"
#include "tests/services/power/RecordingPowerSystem.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace services::power;
using powertest::RecordingPowerSystem;
using Calls = std::vector<std::string>;

namespace {

Calls join(std::initializer_list<Calls> parts) {
    Calls out;
    for (const Calls& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The whole ShutdownSystem sequence around `request`.
Calls shutdownVia(const std::string& request) {
    return {"OpenProcessToken(0x28)",
            "LookupPrivilegeValue(local, SeShutdownPrivilege)",
            "AdjustTokenPrivileges(token, 19:0, 2)",
            "GetModuleHandle(ADVAPI32)",
            "GetProcAddress(ADVAPI32, InitiateSystemShutdownExW)",
            request,
            "AdjustTokenPrivileges(token, 19:0, 0)",
            "CloseHandle(token)"};
}
std::string initiate(bool reboot) {
    return std::string("InitiateSystemShutdownExW(null, null, 0, force 1, reboot ") +
           (reboot ? "1" : "0") + ", 0x80040001)";
}
Calls init(bool reboot) {
    return shutdownVia(initiate(reboot));
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
Calls ask(const std::string& query) {
    return powrprof(query, query + "()");
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
    const A noLib{{"powrprof.dll", {0}}}, libOnce{{"powrprof.dll", {0, 1}}};
    const A noSuspendEntry{{"find:SetSuspendState", {0}}};
    const A noSQuery{{"find:IsPwrSuspendAllowed", {0}}};
    const A noQueries{{"find:IsPwrSuspendAllowed", {0}}, {"find:IsPwrHibernateAllowed", {0}}};
    const A s0{{"IsPwrSuspendAllowed", {0}}}, s2{{"IsPwrSuspendAllowed", {2}}};
    const A s2hFF{{"IsPwrSuspendAllowed", {2}}, {"IsPwrHibernateAllowed", {0xFF}}};
    const Calls load = {"LoadLibrary(powrprof.dll)"};
    const Calls askS = ask("IsPwrSuspendAllowed"), askH = ask("IsPwrHibernateAllowed");
    const Calls noS = powrprof("IsPwrSuspendAllowed", ""),
                noH = powrprof("IsPwrHibernateAllowed", "");
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
        {"shutdown", {}, 'S', kEwxShutdown, true, init(false)},
        {"no flags", {}, 'S', 0, true, init(false)},
        {"all three", {}, 'S', kEwxShutdown | kEwxReboot | kEwxPowerOff, true, init(true)},
        {"refused", initRefused, 'S', kEwxReboot, false, init(true)},
        {"no initiate", noInit, 'S', kEwxReboot, true, exitw("0x16")},
        {"exit refused", noExit, 'S', kEwxReboot, false, exitw("0x16")},
        {"no ADVAPI32", noAdvapi, 'S', kEwxReboot, true, bareExit},
        {"no token", noToken, 'S', kEwxReboot, false, {"OpenProcessToken(0x28)"}},
        // Flags beyond those three take ExitWindowsEx, forced.
        {"force", {}, 'S', kEwxForce, true, exitw("0x14")},
        {"force if hung", {}, 'S', kEwxForceIfHung, true, exitw("0x14")},
        {"reboot forced", {}, 'S', kEwxReboot | kEwxForce, true, exitw("0x16")},
        {"0x20", {}, 'S', 0x20, true, exitw("0x34")},
        {"power off 0x40", {}, 'S', kEwxPowerOff | 0x40, true, exitw("0x5c")},
        {"high bit", {}, 'S', 0x80000000u, true, exitw("0x80000014")},
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
        {"first load fails", libOnce, 'A', 0, true, join({load, askH, suspendState(true)})},
        {"no suspend query", noSQuery, 'A', 0, true, join({noS, askH, suspendState(true)})},
        {"no queries", noQueries, 'A', 0, true, join({noS, noH})},
        // Restart does not fall back; power off falls back once to a plain shutdown.
        {"restart action", {}, 'A', 1, true, init(true)},
        {"restart refused", noExit, 'A', 1, true, exitw("0x16")},
        {"power off action", {}, 'A', 2, true, init(false)},
        {"power off refused", initRefused, 'A', 2, true, join({init(false), init(false)})},
        {"power off, no initiate", noInit, 'A', 2, true, exitw("0x1c")},
        {"falls back", exitOnce, 'A', 2, true, join({exitw("0x1c"), exitw("0x15")})},
        {"fallback refused", noExit, 'A', 2, true, join({exitw("0x1c"), exitw("0x15")})},
        {"action 3", {}, 'A', 3, true, {}},
        {"action 7", {}, 'A', 7, true, {}},
        {"action ~0", {}, 'A', 0xFFFFFFFFu, true, {}},
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
    EXPECT_TRUE(thread->start(1));
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
    struct Case {
        uint32_t action;
        std::vector<std::string> said;
    };
    for (const Case& c : {Case{0, {"would suspend"}}, Case{1, {"would restart"}},
                          Case{2, {"would power off"}}, Case{7, {}}}) {
        std::mutex mutex;
        std::vector<std::string> said;
        auto service = makeAnnouncingPowerActions([&](std::string s) {
            std::lock_guard<std::mutex> lock(mutex);
            said.push_back(std::move(s));
        });
        EXPECT_TRUE(service->start(c.action));
        service.reset(); // destroying the service waits for its action
        EXPECT_EQ(said, c.said) << c.action;
    }
}
