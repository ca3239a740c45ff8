// The power actions with a recording power system: every call, flag, order and fallback of the
// actions, ShutdownSystem and SetSuspendStateIfAvailable, and SystemShutdownThread's start rule.
// Nothing here touches the machine: on Windows too only the recording system is used.
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

const std::string kTokenSteps[] = {"OpenProcessToken(0x28)",
                                   "LookupPrivilegeValue(local, SeShutdownPrivilege)",
                                   "AdjustTokenPrivileges(token, 19:0, 2)"};

// The whole ShutdownSystem sequence around `request`, with InitiateSystemShutdownExW found.
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

// --- ShutdownSystem --------------------------------------------------------------------------

TEST(ShutdownSystem, RestartThroughInitiateSystemShutdownEx) {
    RecordingPowerSystem sys;
    EXPECT_TRUE(ShutdownSystem(sys, kEwxReboot));
    EXPECT_EQ(sys.calls(), shutdownVia(initiate(true)));
}

TEST(ShutdownSystem, PowerOffAndShutdownAreTheSameRequestThere) {
    for (uint32_t flags : {kEwxPowerOff, kEwxShutdown, kEwxShutdown | kEwxPowerOff, 0u}) {
        RecordingPowerSystem sys;
        EXPECT_TRUE(ShutdownSystem(sys, flags));
        EXPECT_EQ(sys.calls(), shutdownVia(initiate(false))) << flags;
    }
    RecordingPowerSystem sys;
    EXPECT_TRUE(ShutdownSystem(sys, kEwxShutdown | kEwxReboot | kEwxPowerOff));
    EXPECT_EQ(sys.requests(), Calls{initiate(true)});
}

TEST(ShutdownSystem, AnswersWhatTheSystemAnswered) {
    RecordingPowerSystem sys;
    sys.initiateAccepts = false;
    EXPECT_FALSE(ShutdownSystem(sys, kEwxReboot));
    // The privilege is disabled and the token closed all the same.
    EXPECT_EQ(sys.calls(), shutdownVia(initiate(true)));

    RecordingPowerSystem noInitiate;
    noInitiate.hasInitiate = false;
    noInitiate.exitAnswers = {false};
    EXPECT_FALSE(ShutdownSystem(noInitiate, kEwxReboot));
    noInitiate.exitAnswers = {false, true};
    EXPECT_TRUE(ShutdownSystem(noInitiate, kEwxReboot));
}

TEST(ShutdownSystem, WithoutInitiateSystemShutdownExExitWindowsEx) {
    RecordingPowerSystem sys;
    sys.hasInitiate = false;
    EXPECT_TRUE(ShutdownSystem(sys, kEwxReboot));
    EXPECT_EQ(sys.calls(),
              (Calls{"OpenProcessToken(0x28)", "LookupPrivilegeValue(local, SeShutdownPrivilege)",
                     "AdjustTokenPrivileges(token, 19:0, 2)", "GetModuleHandle(ADVAPI32)",
                     "GetProcAddress(ADVAPI32, InitiateSystemShutdownExW)", exitWindows("0x16"),
                     "AdjustTokenPrivileges(token, 19:0, 0)", "CloseHandle(token)"}));
}

TEST(ShutdownSystem, FlagsOutsideShutdownRebootPowerOffTakeExitWindowsEx) {
    struct Case {
        uint32_t flags;
        const char* exitFlags;
    };
    for (const Case c : {Case{kEwxForce, "0x14"}, Case{kEwxForceIfHung, "0x14"},
                         Case{kEwxReboot | kEwxForce, "0x16"}, Case{0x20, "0x34"},
                         Case{kEwxPowerOff | 0x40, "0x5c"}, Case{0x80000000u, "0x80000014"}}) {
        RecordingPowerSystem sys;
        EXPECT_TRUE(ShutdownSystem(sys, c.flags));
        EXPECT_EQ(sys.requests(), Calls{exitWindows(c.exitFlags)}) << c.flags;
        // InitiateSystemShutdownExW is still looked up: the flags decide after.
        const Calls calls = sys.calls();
        EXPECT_EQ(calls[4], "GetProcAddress(ADVAPI32, InitiateSystemShutdownExW)");
    }
}

TEST(ShutdownSystem, TokenFailureAttemptsNothing) {
    RecordingPowerSystem sys;
    sys.tokenOpens = false;
    EXPECT_FALSE(ShutdownSystem(sys, kEwxReboot));
    EXPECT_EQ(sys.calls(), Calls{"OpenProcessToken(0x28)"});
}

// --- SetSuspendStateIfAvailable ----------------------------------------------------------------

TEST(SetSuspendStateIfAvailable, CallsSetSuspendStateAndFrees) {
    for (bool hibernate : {false, true}) {
        RecordingPowerSystem sys;
        EXPECT_TRUE(SetSuspendStateIfAvailable(sys, hibernate));
        EXPECT_EQ(sys.calls(), suspendState(hibernate));
    }
}

TEST(SetSuspendStateIfAvailable, FailureCases) {
    RecordingPowerSystem refused;
    refused.setSuspendAnswer = 0;
    EXPECT_FALSE(SetSuspendStateIfAvailable(refused, false));
    EXPECT_EQ(refused.calls(), suspendState(false));

    RecordingPowerSystem nonZero;
    nonZero.setSuspendAnswer = 2;
    EXPECT_TRUE(SetSuspendStateIfAvailable(nonZero, false)) << "any non-zero answer is accepted";

    RecordingPowerSystem noLibrary;
    noLibrary.powrprofLoads = false;
    EXPECT_FALSE(SetSuspendStateIfAvailable(noLibrary, true));
    EXPECT_EQ(noLibrary.calls(), Calls{"LoadLibrary(powrprof.dll)"});

    RecordingPowerSystem noEntry;
    noEntry.missingEntries = {"SetSuspendState"};
    EXPECT_FALSE(SetSuspendStateIfAvailable(noEntry, true));
    EXPECT_EQ(noEntry.calls(),
              (Calls{"LoadLibrary(powrprof.dll)", "GetProcAddress(powrprof, SetSuspendState)",
                     "FreeLibrary(powrprof)"}));
}

// --- the actions --------------------------------------------------------------------------------

TEST(PowerAction, SleepSuspendsWhenSuspendIsAllowed) {
    RecordingPowerSystem sys;
    CarryOutPowerAction(sys, 0);
    EXPECT_EQ(sys.calls(), join({ask("IsPwrSuspendAllowed"), suspendState(false)}));
}

TEST(PowerAction, SleepHibernatesWhenOnlyHibernationIsAllowed) {
    RecordingPowerSystem sys;
    sys.suspendAllowed = 0;
    CarryOutPowerAction(sys, 0);
    EXPECT_EQ(sys.calls(),
              join({ask("IsPwrSuspendAllowed"), ask("IsPwrHibernateAllowed"), suspendState(true)}));
}

TEST(PowerAction, AnswersOtherThanExactlyOneAreNotAllowed) {
    RecordingPowerSystem sys;
    sys.suspendAllowed = 2;
    sys.hibernateAllowed = 1;
    CarryOutPowerAction(sys, 0);
    EXPECT_EQ(sys.calls(),
              join({ask("IsPwrSuspendAllowed"), ask("IsPwrHibernateAllowed"), suspendState(true)}));

    RecordingPowerSystem neither;
    neither.suspendAllowed = 2;
    neither.hibernateAllowed = 0xFF;
    CarryOutPowerAction(neither, 0);
    EXPECT_EQ(neither.calls(), join({ask("IsPwrSuspendAllowed"), ask("IsPwrHibernateAllowed")}));
    EXPECT_TRUE(neither.requests().empty());
}

TEST(PowerAction, SleepWithoutPowrprofDoesNothing) {
    RecordingPowerSystem sys;
    sys.powrprofLoads = false;
    CarryOutPowerAction(sys, 0);
    EXPECT_EQ(sys.calls(), (Calls{"LoadLibrary(powrprof.dll)", "LoadLibrary(powrprof.dll)"}));
}

TEST(PowerAction, SuspendQueryWithoutTheLibraryCountsAsNotAllowed) {
    RecordingPowerSystem sys;
    sys.powrprofFirstLoadsFailing = 1;
    CarryOutPowerAction(sys, 0);
    EXPECT_EQ(
        sys.calls(),
        join({{"LoadLibrary(powrprof.dll)"}, ask("IsPwrHibernateAllowed"), suspendState(true)}));
}

TEST(PowerAction, SleepWithMissingEntries) {
    RecordingPowerSystem noSuspendQuery;
    noSuspendQuery.missingEntries = {"IsPwrSuspendAllowed"};
    CarryOutPowerAction(noSuspendQuery, 0);
    EXPECT_EQ(noSuspendQuery.calls(),
              join({{"LoadLibrary(powrprof.dll)", "GetProcAddress(powrprof, IsPwrSuspendAllowed)",
                     "FreeLibrary(powrprof)"},
                    ask("IsPwrHibernateAllowed"),
                    suspendState(true)}));

    RecordingPowerSystem noQueries;
    noQueries.missingEntries = {"IsPwrSuspendAllowed", "IsPwrHibernateAllowed"};
    CarryOutPowerAction(noQueries, 0);
    EXPECT_TRUE(noQueries.requests().empty());
    EXPECT_EQ(noQueries.calls().size(), 6u);
}

TEST(PowerAction, Restart) {
    RecordingPowerSystem sys;
    CarryOutPowerAction(sys, 1);
    EXPECT_EQ(sys.calls(), shutdownVia(initiate(true)));

    RecordingPowerSystem old;
    old.hasInitiate = false;
    old.exitAnswers = {false};
    CarryOutPowerAction(old, 1);
    EXPECT_EQ(old.requests(), Calls{exitWindows("0x16")}) << "a restart does not fall back";
}

TEST(PowerAction, PowerOffAndItsFallback) {
    RecordingPowerSystem sys;
    CarryOutPowerAction(sys, 2);
    EXPECT_EQ(sys.calls(), shutdownVia(initiate(false)));

    RecordingPowerSystem refused;
    refused.initiateAccepts = false;
    CarryOutPowerAction(refused, 2);
    EXPECT_EQ(refused.calls(), join({shutdownVia(initiate(false)), shutdownVia(initiate(false))}));
}

TEST(PowerAction, PowerOffWithoutInitiateSystemShutdownEx) {
    RecordingPowerSystem sys;
    sys.hasInitiate = false;
    sys.exitAnswers = {false, true};
    CarryOutPowerAction(sys, 2);
    EXPECT_EQ(sys.requests(), (Calls{exitWindows("0x1c"), exitWindows("0x15")}));

    RecordingPowerSystem accepted;
    accepted.hasInitiate = false;
    CarryOutPowerAction(accepted, 2);
    EXPECT_EQ(accepted.requests(), Calls{exitWindows("0x1c")}) << "no fallback after success";

    RecordingPowerSystem bothRefused;
    bothRefused.hasInitiate = false;
    bothRefused.exitAnswers = {false, false};
    CarryOutPowerAction(bothRefused, 2);
    EXPECT_EQ(bothRefused.requests(), (Calls{exitWindows("0x1c"), exitWindows("0x15")}))
        << "the fallback is tried once";
}

TEST(PowerAction, OtherActionsDoNothing) {
    for (uint32_t action : {3u, 7u, 0xFFFFFFFFu}) {
        RecordingPowerSystem sys;
        CarryOutPowerAction(sys, action);
        EXPECT_TRUE(sys.calls().empty()) << action;
    }
}

// --- SystemShutdownThread ---------------------------------------------------------------------

TEST(SystemShutdownThread, RunsTheStoredAction) {
    auto owned = std::make_unique<RecordingPowerSystem>();
    RecordingPowerSystem& sys = *owned;
    SystemShutdownThread thread(std::move(owned));
    EXPECT_FALSE(thread.isRunning());
    EXPECT_TRUE(thread.start(1));
    thread.Join();
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(thread.action(), 1u);
    EXPECT_EQ(sys.calls(), shutdownVia(initiate(true)));
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

TEST(SystemShutdownThread, UnknownActionStartsAndEnds) {
    auto owned = std::make_unique<RecordingPowerSystem>();
    RecordingPowerSystem& sys = *owned;
    SystemShutdownThread thread(std::move(owned));
    EXPECT_TRUE(thread.start(7));
    EXPECT_TRUE(thread.WaitForExit(10000));
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(thread.action(), 7u);
    EXPECT_TRUE(sys.calls().empty());
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
