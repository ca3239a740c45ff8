// HostValue <-> VARIANT and HostStatus <-> HRESULT at the COM boundary. Objects cross through
// two callbacks: the plug-in unwraps what came from the player and wraps what the player hands
// back; the test host does the reverse with its simulated objects.
#pragma once

#include "host/HostAutomation.h"
#include "platform/win32/ComPtr.h"

#include <oaidl.h>

#include <cstddef>
#include <functional>
#include <vector>

namespace host {

using ToDispatch = std::function<platform::ComPtr<IDispatch>(const HostObjectPtr&)>;
using FromDispatch = std::function<HostObjectPtr(IDispatch*)>;

// Fills `out` (VariantInit'ed by the caller, who owns and frees it afterwards): Empty ->
// VT_EMPTY, Int32 -> VT_I4, Bool -> VT_BOOL with its raw value, Text -> VT_BSTR (embedded NULs
// kept), Object -> VT_DISPATCH (a null object stays null). E_OUTOFMEMORY when the BSTR cannot
// be allocated, DISP_E_TYPEMISMATCH for an object `objects` cannot express as an IDispatch;
// `out` stays VT_EMPTY then. Exceptions of `objects` pass through.
HRESULT toVariant(const HostValue& value, VARIANT& out, const ToDispatch& objects);

// Copies `in` (never frees it: the receiver frees its own). `status` receives Ok, or
// TypeMismatch for a type the player's objects do not use (the value is then empty).
// std::bad_alloc and exceptions of `objects` pass through.
HostValue fromVariant(const VARIANT& in, const FromDispatch& objects, HostStatus* status = nullptr);

// One table, used both ways. Any success code is Ok; failures the table does not name are
// Failed, and Failed becomes DISP_E_EXCEPTION.
HostStatus statusFromHresult(HRESULT hr);
HRESULT hresultFromStatus(HostStatus status);

// VARIANTs that we fill and own, VariantInit'ed together and freed together.
class Variants {
public:
    explicit Variants(size_t count) : values_(count) {
        for (VARIANT& v : values_)
            VariantInit(&v);
    }
    ~Variants() {
        for (VARIANT& v : values_)
            VariantClear(&v);
    }
    Variants(const Variants&) = delete;
    Variants& operator=(const Variants&) = delete;

    VARIANT* data() { return values_.data(); }
    VARIANT& operator[](size_t i) { return values_[i]; }

private:
    std::vector<VARIANT> values_;
};

} // namespace host
