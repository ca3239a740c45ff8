#include "bridge/PlayerCalls.h"

namespace bridge {

void playerCallFailed() {
    throw PlayerCallFailed();
}

host::HostObjectPtr needObject(const host::HostResult& r) {
    host::HostObjectPtr o = r.asObject();
    if (!o)
        playerCallFailed();
    return o;
}

int32_t needInt(const host::HostResult& r) {
    std::optional<int32_t> v = r.asInt();
    if (!v)
        playerCallFailed();
    return *v;
}

std::u16string needText(const host::HostResult& r) {
    needOk(r);
    return r.text();
}

void needOk(const host::HostResult& r) {
    if (!r.ok())
        playerCallFailed();
}

} // namespace bridge
