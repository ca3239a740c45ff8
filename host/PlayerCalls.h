// Player calls that must succeed, for the control's window handlers and the library queries:
// a failed call, or a null object or a missing number where one is expected, throws
// PlayerCallFailed. The control's window procedure catches it (that message ends with result
// 0, out-records keep what was filled so far); each public entry of library/ catches it and
// gives no result. Calls whose failure is a normal outcome use callMethod and friends directly
// and look at the result.
#pragma once

#include "host/HostAutomation.h"

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>

namespace host {

class PlayerCallFailed : public std::exception {
public:
    const char* what() const noexcept override { return "a player call failed"; }
};

[[noreturn]] void playerCallFailed();

// The result's value, or a throw when the call failed or gave no value of that type. A text
// call that succeeds without a text (a null BSTR) gives an empty text.
HostObjectPtr needObject(const HostResult& r);
int32_t needInt(const HostResult& r);
std::u16string needText(const HostResult& r);
void needOk(const HostResult& r);

template <class Op>
HostObjectPtr objectOf(HostObject* o, Op op, std::initializer_list<HostValue> args = {}) {
    return needObject(callMethod(o, op, args));
}
// A method's result, once it is known to have succeeded (its value may still be empty).
template <class Op>
HostResult callOk(HostObject* o, Op op, std::initializer_list<HostValue> args = {}) {
    HostResult r = callMethod(o, op, args);
    needOk(r);
    return r;
}
template <class Op>
std::u16string textOf(HostObject* o, Op op, std::initializer_list<HostValue> args = {}) {
    return needText(callMethod(o, op, args));
}
template <class Op>
int32_t intOf(HostObject* o, Op op, std::initializer_list<HostValue> args = {}) {
    return needInt(callMethod(o, op, args));
}
template <class Op> int32_t intProperty(HostObject* o, Op op) {
    return needInt(getProperty(o, op));
}
template <class Op> std::u16string textProperty(HostObject* o, Op op) {
    return needText(getProperty(o, op));
}
template <class Op> bool boolProperty(HostObject* o, Op op) {
    HostResult r = getProperty(o, op);
    needOk(r);
    return r.isTrue();
}
template <class Op> void setProperty(HostObject* o, Op op, HostValue value) {
    needOk(putProperty(o, op, std::move(value)));
}
template <class Op> void run(HostObject* o, Op op, std::initializer_list<HostValue> args = {}) {
    needOk(callMethod(o, op, args));
}

} // namespace host
