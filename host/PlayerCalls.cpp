#include "host/PlayerCalls.h"

namespace host {

void playerCallFailed() {
    throw PlayerCallFailed();
}

HostObjectPtr needObject(const HostResult& r) {
    HostObjectPtr o = r.asObject();
    if (!o)
        playerCallFailed();
    return o;
}

int32_t needInt(const HostResult& r) {
    std::optional<int32_t> v = r.asInt();
    if (!v)
        playerCallFailed();
    return *v;
}

std::u16string needText(const HostResult& r) {
    needOk(r);
    return r.text();
}

void needOk(const HostResult& r) {
    if (!r.ok())
        playerCallFailed();
}

} // namespace host
