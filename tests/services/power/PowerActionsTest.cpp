// The power actions with a recording power system: every call, flag, order and fallback of the
// actions, ShutdownSystem and SetSuspendStateIfAvailable, and SystemShutdownThread's start rule.
// Nothing here touches the machine: on Windows too only the recording system is used.
#include "services/power/PowerActions.h"

#include "platform/Clock.h"
#include "services/power/AnnouncingPowerSystem.h"
#include "services/power/SystemShutdownThread.h"
#include "tests/services/power/RecordingPowerSystem.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace services::power;
using powertest::RecordingPowerSystem;
using Calls = std::vector<std::string>;

namespace {

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

std::string exitWindows(const char* flags) {
    return std::string("ExitWindowsEx(") + flags + ", 0x80040001)";
}

Calls ask(const std::string& query) {
    return {"LoadLibrary(powrprof.dll)", "GetProcAddress(powrprof, " + query + ")", query + "()",
            "FreeLibrary(powrprof)"};
}

Calls suspendState(bool hibernate) {
    return {"LoadLibrary(powrprof.dll)", "GetProcAddress(powrprof, SetSuspendState)",
            std::string("SetSuspendState(hibernate ") + (hibernate ? "1" : "0") +
                ", force 1, wake disabled 0)",
            "FreeLibrary(powrprof)"};
}

Calls join(std::initializer_list<Calls> parts) {
    Calls out;
    for (const Calls& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

// Each row: the system's answers, one call of the logic, what it answers and every call it made.
TEST(PowerActions, CallsInOrderForEachAnswerOfTheSystem) {
    using Run = std::function<bool(PowerSystem&)>;
    auto shutdown = [](uint32_t flags) -> Run {
        return [flags](PowerSystem& s) { return ShutdownSystem(s, flags); };
    };
    auto suspend = [](bool hibernate) -> Run {
        return [hibernate](PowerSystem& s) { return SetSuspendStateIfAvailable(s, hibernate); };
    };
    auto action = [](uint32_t a) -> Run {
        return [a](PowerSystem& s) {
            CarryOutPowerAction(s, a);
            return true;
        };
    };
    using A = RecordingPowerSystem::Answers;
    const A none{.hasInitiate = false};
    const Calls loadOnly = {"LoadLibrary(powrprof.dll)"};
    const Calls askH = ask("IsPwrHibernateAllowed");
    const Calls noEntry = {"LoadLibrary(powrprof.dll)",
                           "GetProcAddress(powrprof, IsPwrSuspendAllowed)",
                           "FreeLibrary(powrprof)"};
    struct Case {
        const char* what;
        A answers;
        Run run;
        bool result;
        Calls calls;
    };
    const Case cases[] = {
        // ShutdownSystem: InitiateSystemShutdownExW for shutdown, restart and power off only.
        {"restart", {}, shutdown(kEwxReboot), true, shutdownVia(initiate(true))},
        {"power off", {}, shutdown(kEwxPowerOff), true, shutdownVia(initiate(false))},
        {"shutdown", {}, shutdown(kEwxShutdown), true, shutdownVia(initiate(false))},
        {"no flags", {}, shutdown(0), true, shutdownVia(initiate(false))},
        {"all three",
         {},
         shutdown(kEwxShutdown | kEwxReboot | kEwxPowerOff),
         true,
         shutdownVia(initiate(true))},
        {"refused",
         {.initiateAccepts = false},
         shutdown(kEwxReboot),
         false,
         shutdownVia(initiate(true))},
        {"no initiate", none, shutdown(kEwxReboot), true, shutdownVia(exitWindows("0x16"))},
        {"exit refused",
         {.hasInitiate = false, .exitAnswers = {false}},
         shutdown(kEwxReboot),
         false,
         shutdownVia(exitWindows("0x16"))},
        // Flags beyond those three take ExitWindowsEx, forced.
        {"force", {}, shutdown(kEwxForce), true, shutdownVia(exitWindows("0x14"))},
        {"force if hung", {}, shutdown(kEwxForceIfHung), true, shutdownVia(exitWindows("0x14"))},
        {"reboot forced",
         {},
         shutdown(kEwxReboot | kEwxForce),
         true,
         shutdownVia(exitWindows("0x16"))},
        {"0x20", {}, shutdown(0x20), true, shutdownVia(exitWindows("0x34"))},
        {"power off 0x40",
         {},
         shutdown(kEwxPowerOff | 0x40),
         true,
         shutdownVia(exitWindows("0x5c"))},
        {"high bit", {}, shutdown(0x80000000u), true, shutdownVia(exitWindows("0x80000014"))},
        {"no token",
         {.tokenOpens = false},
         shutdown(kEwxReboot),
         false,
         {"OpenProcessToken(0x28)"}},
        // SetSuspendStateIfAvailable: any non-zero answer is accepted.
        {"suspend", {}, suspend(false), true, suspendState(false)},
        {"hibernate", {}, suspend(true), true, suspendState(true)},
        {"suspend refused", {.setSuspendAnswer = 0}, suspend(false), false, suspendState(false)},
        {"suspend answers 2", {.setSuspendAnswer = 2}, suspend(false), true, suspendState(false)},
        {"no powrprof", {.powrprofLoads = false}, suspend(true), false, loadOnly},
        {"no SetSuspendState",
         {.missingEntries = {"SetSuspendState"}},
         suspend(true),
         false,
         {"LoadLibrary(powrprof.dll)", "GetProcAddress(powrprof, SetSuspendState)",
          "FreeLibrary(powrprof)"}},
        // Sleep: suspend when allowed (exactly 1), else hibernate when allowed, else nothing.
        {"sleep", {}, action(0), true, join({ask("IsPwrSuspendAllowed"), suspendState(false)})},
        {"sleep hibernates",
         {.suspendAllowed = 0},
         action(0),
         true,
         join({ask("IsPwrSuspendAllowed"), askH, suspendState(true)})},
        {"suspend answers 2",
         {.suspendAllowed = 2},
         action(0),
         true,
         join({ask("IsPwrSuspendAllowed"), askH, suspendState(true)})},
        {"neither is exactly 1",
         {.suspendAllowed = 2, .hibernateAllowed = 0xFF},
         action(0),
         true,
         join({ask("IsPwrSuspendAllowed"), askH})},
        {"sleep without powrprof",
         {.powrprofLoads = false},
         action(0),
         true,
         join({loadOnly, loadOnly})},
        {"suspend query without the library",
         {.powrprofFirstLoadsFailing = 1},
         action(0),
         true,
         join({loadOnly, askH, suspendState(true)})},
        {"no suspend query",
         {.missingEntries = {"IsPwrSuspendAllowed"}},
         action(0),
         true,
         join({noEntry, askH, suspendState(true)})},
        {"no queries",
         {.missingEntries = {"IsPwrSuspendAllowed", "IsPwrHibernateAllowed"}},
         action(0),
         true,
         join({noEntry,
               {"LoadLibrary(powrprof.dll)", "GetProcAddress(powrprof, IsPwrHibernateAllowed)",
                "FreeLibrary(powrprof)"}})},
        // Restart does not fall back; power off falls back once to a plain shutdown.
        {"restart action", {}, action(1), true, shutdownVia(initiate(true))},
        {"restart refused",
         {.hasInitiate = false, .exitAnswers = {false}},
         action(1),
         true,
         shutdownVia(exitWindows("0x16"))},
        {"power off action", {}, action(2), true, shutdownVia(initiate(false))},
        {"power off refused",
         {.initiateAccepts = false},
         action(2),
         true,
         join({shutdownVia(initiate(false)), shutdownVia(initiate(false))})},
        {"power off, no initiate", none, action(2), true, shutdownVia(exitWindows("0x1c"))},
        {"power off falls back",
         {.hasInitiate = false, .exitAnswers = {false, true}},
         action(2),
         true,
         join({shutdownVia(exitWindows("0x1c")), shutdownVia(exitWindows("0x15"))})},
        {"fallback refused too",
         {.hasInitiate = false, .exitAnswers = {false, false}},
         action(2),
         true,
         join({shutdownVia(exitWindows("0x1c")), shutdownVia(exitWindows("0x15"))})},
        {"action 3", {}, action(3), true, {}},
        {"action 7", {}, action(7), true, {}},
        {"action ~0", {}, action(0xFFFFFFFFu), true, {}},
    };
    for (const Case& c : cases) {
        RecordingPowerSystem sys(c.answers);
        EXPECT_EQ(c.run(sys), c.result) << c.what;
        EXPECT_EQ(sys.calls(), c.calls) << c.what;
    }
}

// --- SystemShutdownThread ---------------------------------------------------------------------

TEST(SystemShutdownThread, RunsTheStoredActionAndEnds) {
    for (uint32_t action : {1u, 7u}) {
        auto owned = std::make_unique<RecordingPowerSystem>();
        RecordingPowerSystem& sys = *owned;
        SystemShutdownThread thread(std::move(owned));
        EXPECT_FALSE(thread.isRunning());
        EXPECT_TRUE(thread.start(action));
        EXPECT_TRUE(thread.WaitForExit(10000));
        EXPECT_FALSE(thread.isRunning());
        EXPECT_EQ(thread.action(), action);
        EXPECT_EQ(sys.calls(), action == 1 ? shutdownVia(initiate(true)) : Calls{});
    }
}

TEST(SystemShutdownThread, ARequestWhileRunningChangesNothing) {
    platform::Event release;
    auto owned = std::make_unique<RecordingPowerSystem>();
    RecordingPowerSystem& sys = *owned;
    sys.release = &release;
    SystemShutdownThread thread(std::move(owned));

    ASSERT_TRUE(thread.start(1));
    ASSERT_TRUE(sys.entered.wait(10000));
    EXPECT_TRUE(thread.isRunning());
    // The same request, and another one, while the restart is still being asked for.
    EXPECT_TRUE(thread.start(1));
    EXPECT_TRUE(thread.start(2));
    EXPECT_EQ(thread.action(), 1u) << "the stored action is not changed";

    release.set();
    thread.Join();
    EXPECT_EQ(sys.requests(), Calls{initiate(true)}) << "one restart only";
}

TEST(SystemShutdownThread, DestroyingWaitsForTheAction) {
    platform::Event release; // outlives the thread and the system
    auto owned = std::make_unique<RecordingPowerSystem>();
    RecordingPowerSystem* sys = owned.get();
    sys->release = &release;
    auto thread = std::make_unique<SystemShutdownThread>(std::move(owned));
    ASSERT_TRUE(thread->start(0));
    ASSERT_TRUE(sys->entered.wait(10000));
    std::thread releaser([&release] {
        platform::sleepMs(50);
        release.set();
    });
    thread.reset(); // returns only once the blocked suspend request has been released
    EXPECT_TRUE(release.isSet());
    releaser.join();
}

// --- the Linux host's announcing system -------------------------------------------------------

namespace {

struct Announcements {
    std::mutex mutex;
    std::vector<std::string> said;
    AnnouncingPowerSystem::Announce sink() {
        return [this](std::string s) {
            std::lock_guard<std::mutex> lock(mutex);
            said.push_back(std::move(s));
        };
    }
    std::vector<std::string> get() {
        std::lock_guard<std::mutex> lock(mutex);
        return said;
    }
};

} // namespace

TEST(AnnouncingPowerSystem, AnnouncesEachActionOnce) {
    struct Case {
        uint32_t action;
        std::vector<std::string> said;
    };
    for (const Case& c : {Case{0, {"would suspend"}}, Case{1, {"would restart"}},
                          Case{2, {"would power off"}}, Case{7, {}}}) {
        Announcements a;
        auto service = makeAnnouncingPowerActions(a.sink());
        EXPECT_TRUE(service->start(c.action));
        // Destroying the service waits for its action.
        service.reset();
        EXPECT_EQ(a.get(), c.said) << c.action;
    }
}
