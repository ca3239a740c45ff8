// The power system of Windows: every call of PowerSystem.h made for real. Only the plug-in
// uses it; the tests never call it (they would shut the machine down).
#pragma once

#include "services/power/PowerSystem.h"

#include <memory>

namespace services::power {

std::unique_ptr<PowerSystem> makeWin32PowerSystem();

} // namespace services::power
