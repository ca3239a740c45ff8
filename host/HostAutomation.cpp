#include "host/HostAutomation.h"

#include <string>
#include <vector>

namespace host {

std::optional<int32_t> HostValue::asInt() const {
    if (auto* i = std::get_if<int32_t>(&v_))
        return *i;
    if (auto* b = std::get_if<BoolBox>(&v_))
        return b->raw;
    return std::nullopt;
}

std::optional<int16_t> HostValue::asVariantBool() const {
    if (auto* b = std::get_if<BoolBox>(&v_))
        return b->raw;
    return std::nullopt;
}

HostObjectPtr HostValue::asObject() const {
    if (auto* o = std::get_if<HostObjectPtr>(&v_))
        return *o;
    return nullptr;
}

const char* hostStatusName(HostStatus status) {
    switch (status) {
    case HostStatus::Ok:
        return "ok";
    case HostStatus::UnknownOperation:
        return "unknown operation";
    case HostStatus::BadArgumentCount:
        return "wrong number of arguments";
    case HostStatus::TypeMismatch:
        return "argument of the wrong type";
    case HostStatus::BadIndex:
        return "index out of range";
    case HostStatus::Failed:
        return "operation failed";
    case HostStatus::NotSupported:
        return "not supported";
    }
    return "unknown status";
}

std::u16string HostResult::text() const {
    if (!ok())
        return {};
    const std::u16string* t = value.asText();
    return t ? *t : std::u16string();
}

HostResult invokeHost(HostObject* object, int32_t id, InvokeKind kind,
                      std::initializer_list<HostValue> args, HostFault* fault) {
    HostResult r;
    if (!object) {
        r.status = HostStatus::Failed;
        if (fault)
            fault->description = "no object";
        return r;
    }
    std::vector<HostValue> argv(args);
    r.status = object->invoke(id, kind, argv, r.value, fault);
    if (r.status != HostStatus::Ok)
        r.value = HostValue();
    return r;
}

std::u16string presetsKeyPath(int32_t majorVersion) {
    std::string v = std::to_string(majorVersion);
    return u"Software\\J. River\\Media Center " + std::u16string(v.begin(), v.end()) +
           u"\\Zones\\Global\\Equalizer\\Presets";
}

} // namespace host
