// The simulated player's root object as the tests hand it to the plug-in's code. On Windows it
// sits behind the test host's COM objects and the plug-in's wrapper over the player's
// IDispatch, so every call, object and event crosses real IDispatch::Invoke calls in both
// directions, as with the real player; elsewhere it is the simulated root itself.
#pragma once

#include "host/HostAutomation.h"

namespace testing_support {

host::HostObjectPtr playerRootForTests(host::HostObjectPtr simulatedRoot);

// True when no COM object made for the crossing is alive any more (always true elsewhere).
bool playerObjectsReleased();

} // namespace testing_support
