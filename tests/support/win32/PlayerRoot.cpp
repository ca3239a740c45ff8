#include "tests/support/PlayerRoot.h"

#include "host/win32/ComObject.h"
#include "host/win32/DispatchObject.h"
#include "tests/shell/testhost/SimDispatch.h"

#include <utility>

namespace testing_support {

host::HostObjectPtr playerRootForTests(host::HostObjectPtr simulatedRoot) {
    return host::wrapDispatch(testhost::makeSimDispatch(std::move(simulatedRoot)).get());
}

bool playerObjectsReleased() {
    return host::liveComObjects() == 0; // the test host's objects and the wrapper's sinks
}

} // namespace testing_support
