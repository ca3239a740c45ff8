#include "tests/support/PlayerRoot.h"

#include <utility>

namespace testing_support {

host::HostObjectPtr playerRootForTests(host::HostObjectPtr simulatedRoot) {
    return simulatedRoot;
}

bool playerObjectsReleased() {
    return true;
}

} // namespace testing_support
