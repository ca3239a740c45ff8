// The Windows power system is built and linked into this program, and made; none of its calls
// is made, since they would suspend, restart or switch off the machine running the tests (under
// Wine, the host). The logic over it is tested with the recording system.
#include "services/power/win32/Win32PowerSystem.h"

#include "services/power/SystemShutdownThread.h"

#include <gtest/gtest.h>

TEST(Win32PowerSystem, IsMadeButNeverCalled) {
    auto system = services::power::makeWin32PowerSystem();
    ASSERT_TRUE(system);
    // The control's service over it, never started.
    services::power::SystemShutdownThread thread(std::move(system));
    EXPECT_FALSE(thread.isRunning());
}
