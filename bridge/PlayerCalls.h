// Player calls for the window handlers. A handler that needs a call to succeed uses the
// need* helpers: a failed call, or a null object where one is expected, throws
// PlayerCallFailed, which the window procedure catches, so the message's handling ends there
// with result 0 and out-records keep what was filled so far. Calls whose failure is a normal
// outcome use host::callMethod and friends directly and look at the result.
#pragma once

#include "host/HostAutomation.h"

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>

namespace bridge {

class PlayerCallFailed : public std::exception {
public:
    const char* what() const noexcept override { return "a player call failed"; }
};

[[noreturn]] void playerCallFailed();

// The result's value, or a throw when the call failed or gave no value of that type. A text
// call that succeeds without a text (a null BSTR) gives an empty text.
host::HostObjectPtr needObject(const host::HostResult& r);
int32_t needInt(const host::HostResult& r);
std::u16string needText(const host::HostResult& r);
void needOk(const host::HostResult& r);

template <class Op>
host::HostObjectPtr objectOf(host::HostObject* o, Op op,
                             std::initializer_list<host::HostValue> args = {}) {
    return needObject(host::callMethod(o, op, args));
}
template <class Op>
int32_t intOf(host::HostObject* o, Op op, std::initializer_list<host::HostValue> args = {}) {
    return needInt(host::callMethod(o, op, args));
}
template <class Op> int32_t intProperty(host::HostObject* o, Op op) {
    return needInt(host::getProperty(o, op));
}
template <class Op> std::u16string textProperty(host::HostObject* o, Op op) {
    return needText(host::getProperty(o, op));
}
template <class Op> bool boolProperty(host::HostObject* o, Op op) {
    host::HostResult r = host::getProperty(o, op);
    needOk(r);
    return r.isTrue();
}
template <class Op> void setProperty(host::HostObject* o, Op op, host::HostValue value) {
    needOk(host::putProperty(o, op, std::move(value)));
}
template <class Op>
void run(host::HostObject* o, Op op, std::initializer_list<host::HostValue> args = {}) {
    needOk(host::callMethod(o, op, args));
}

} // namespace bridge
