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
    return testhost::liveSimDispatchObjects() == 0 && host::liveComObjects() == 0;
}

} // namespace testing_support
