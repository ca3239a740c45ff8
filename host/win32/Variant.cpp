#include "host/win32/Variant.h"

#include <olectl.h>

#include <cstring>

namespace host {

namespace {

HostValue mismatch(HostStatus* status) {
    if (status)
        *status = HostStatus::TypeMismatch;
    return {};
}

template <class T> T read(const void* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

HostValue objectValue(IDispatch* object, const FromDispatch& objects, HostStatus* status) {
    if (!object)
        return HostValue(HostObjectPtr());
    if (!objects)
        return mismatch(status);
    return HostValue(objects(object));
}

} // namespace

HRESULT toVariant(const HostValue& value, VARIANT& out, const ToDispatch& objects) {
    switch (value.type()) {
    case HostValue::Type::Empty:
        out.vt = VT_EMPTY;
        return S_OK;
    case HostValue::Type::Int32:
        out.vt = VT_I4;
        out.lVal = *value.asInt();
        return S_OK;
    case HostValue::Type::Bool:
        out.vt = VT_BOOL;
        out.boolVal = *value.asVariantBool();
        return S_OK;
    case HostValue::Type::Text: {
        platform::Bstr text(*value.asText());
        if (!text.get())
            return E_OUTOFMEMORY;
        out.vt = VT_BSTR;
        out.bstrVal = text.detach();
        return S_OK;
    }
    case HostValue::Type::Object: {
        platform::ComPtr<IDispatch> object;
        if (HostObjectPtr o = value.asObject()) {
            if (objects)
                object = objects(o);
            if (!object)
                return DISP_E_TYPEMISMATCH;
        }
        out.vt = VT_DISPATCH;
        out.pdispVal = object.detach();
        return S_OK;
    }
    }
    return E_UNEXPECTED;
}

// What arrives besides the four types the player uses, and why it is taken or refused:
// - VT_I1, VT_UI1, VT_I2, VT_UI2 widen to a 32-bit integer without loss; VT_INT is 32 bits.
// - VT_UI4 and VT_UINT keep their 32 bits: a caller that declares a handle or an index
//   unsigned means the same number, and 0xFFFFFFFF is the "none" (-1) everywhere.
// - VT_UNKNOWN is an object when it has IDispatch (VB passes objects declared As Object or
//   As IUnknown that way), else a mismatch.
// - VT_BYREF|x is read through its pointer (VB passes variables by reference unless told
//   otherwise); the value is copied, nothing is written back. VT_BYREF|VT_VARIANT is read once:
//   Automation does not allow it to point to another VT_BYREF|VT_VARIANT.
// - VT_NULL and VT_ERROR with DISP_E_PARAMNOTFOUND (an omitted optional argument) carry no
//   value: empty.
// - Anything else (64-bit integers, floating point, currency, dates, arrays) is a mismatch:
//   no operation of the player takes or gives one, and guessing a conversion would hide a
//   caller's mistake.
HostValue fromVariant(const VARIANT& in, const FromDispatch& objects, HostStatus* status) {
    if (status)
        *status = HostStatus::Ok;
    if ((in.vt & ~(VT_TYPEMASK | VT_BYREF)) != 0)
        return mismatch(status);
    const bool byReference = (in.vt & VT_BYREF) != 0;
    // Every member of the value union starts at the same address.
    const void* data = byReference ? in.byref : static_cast<const void*>(&in.llVal);
    if (!data)
        return mismatch(status);
    switch (in.vt & VT_TYPEMASK) {
    case VT_EMPTY:
    case VT_NULL:
        return byReference ? mismatch(status) : HostValue();
    case VT_ERROR:
        return read<SCODE>(data) == DISP_E_PARAMNOTFOUND ? HostValue() : mismatch(status);
    case VT_I1:
        return HostValue(int32_t(read<int8_t>(data)));
    case VT_UI1:
        return HostValue(int32_t(read<uint8_t>(data)));
    case VT_I2:
        return HostValue(int32_t(read<int16_t>(data)));
    case VT_UI2:
        return HostValue(int32_t(read<uint16_t>(data)));
    case VT_I4:
    case VT_INT:
        return HostValue(read<int32_t>(data));
    case VT_UI4:
    case VT_UINT:
        return HostValue(static_cast<int32_t>(read<uint32_t>(data)));
    case VT_BOOL:
        return HostValue::fromVariantBool(read<VARIANT_BOOL>(data));
    case VT_BSTR:
        return HostValue(platform::Bstr::textOf(read<BSTR>(data)));
    case VT_DISPATCH:
        return objectValue(read<IDispatch*>(data), objects, status);
    case VT_UNKNOWN: {
        IUnknown* unknown = read<IUnknown*>(data);
        if (!unknown)
            return HostValue(HostObjectPtr());
        platform::ComPtr<IDispatch> object;
        if (FAILED(unknown->QueryInterface(IID_IDispatch, object.putVoid())) || !object)
            return mismatch(status);
        return objectValue(object.get(), objects, status);
    }
    case VT_VARIANT: {
        if (!byReference)
            return mismatch(status);
        const auto* inner = static_cast<const VARIANT*>(data);
        if (inner->vt == (VT_BYREF | VT_VARIANT))
            return mismatch(status);
        return fromVariant(*inner, objects, status);
    }
    default:
        return mismatch(status);
    }
}

namespace {

struct StatusCode {
    HostStatus status;
    HRESULT code;
};

// The first row of a status is the HRESULT it becomes.
constexpr StatusCode kStatusCodes[] = {
    {HostStatus::Ok, S_OK},
    {HostStatus::UnknownOperation, DISP_E_MEMBERNOTFOUND},
    {HostStatus::UnknownOperation, DISP_E_UNKNOWNNAME},
    {HostStatus::BadArgumentCount, DISP_E_BADPARAMCOUNT},
    {HostStatus::TypeMismatch, DISP_E_TYPEMISMATCH},
    {HostStatus::TypeMismatch, DISP_E_PARAMNOTOPTIONAL},
    {HostStatus::BadIndex, DISP_E_BADINDEX},
    {HostStatus::NotSupported, E_NOTIMPL},
    {HostStatus::NotSupported, CONNECT_E_NOCONNECTION},
    {HostStatus::Failed, DISP_E_EXCEPTION},
};

} // namespace

HostStatus statusFromHresult(HRESULT hr) {
    if (SUCCEEDED(hr))
        return HostStatus::Ok;
    for (const StatusCode& row : kStatusCodes)
        if (row.code == hr)
            return row.status;
    return HostStatus::Failed;
}

HRESULT hresultFromStatus(HostStatus status) {
    for (const StatusCode& row : kStatusCodes)
        if (row.status == status)
            return row.code;
    return DISP_E_EXCEPTION;
}

} // namespace host
