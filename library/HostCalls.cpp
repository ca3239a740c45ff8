#include "library/HostCalls.h"

namespace library::detail {

host::HostObjectPtr search(host::HostObject* root, const std::u16string& expression) {
    return mustObject(root, host::RootOp::Search, {expression});
}

int32_t fileCount(host::HostObject* files) {
    int32_t n = mustInt(files, host::FilesOp::Count);
    return n < 0 ? 0 : n;
}

host::HostObjectPtr fileAt(host::HostObject* files, int32_t index) {
    return mustObject(files, host::FilesOp::Item, {index});
}

} // namespace library::detail
