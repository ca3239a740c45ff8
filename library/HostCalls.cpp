#include "library/HostCalls.h"

namespace library::detail {

host::HostObjectPtr search(host::HostObject* root, const std::u16string& expression) {
    return objectOf(root, host::RootOp::Search, {expression});
}

int32_t fileCount(host::HostObject* files) {
    int32_t n = intOf(files, host::FilesOp::Count);
    return n < 0 ? 0 : n;
}

host::HostObjectPtr fileAt(host::HostObject* files, int32_t index) {
    return objectOf(files, host::FilesOp::Item, {index});
}

} // namespace library::detail
