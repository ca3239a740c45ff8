// IDispatch for a dual interface of ours, from the module's own type library: the one base of
// every dispatch interface the plug-in implements. The type information is loaded on first
// use (from the DLL's TYPELIB resource, so it works before and without registration) and kept
// by the object.
#pragma once

#include "platform/win32/ComPtr.h"
#include "shell/win32/Module.h"

#include <oaidl.h>
#include <windows.h>

#include <mutex>
#include <string>

namespace shell {

// COM interfaces have no virtual destructor by design (the object's own Release destroys it),
// which -Wnon-virtual-dtor cannot know.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <class Interface> class DispatchImpl : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        platform::ComPtr<ITypeInfo> info = typeInfo();
        return info ? info.copyTo(out) : TYPE_E_ELEMENTNOTFOUND;
    }

    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                               DISPID* ids) override {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        platform::ComPtr<ITypeInfo> info = typeInfo();
        return info ? info->GetIDsOfNames(names, count, ids) : E_UNEXPECTED;
    }

    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        platform::ComPtr<ITypeInfo> info = typeInfo();
        if (!info)
            return E_UNEXPECTED;
        return info->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception,
                            argError);
    }

protected:
    DispatchImpl() = default;
    ~DispatchImpl() = default;

private:
    platform::ComPtr<ITypeInfo> typeInfo() {
        std::lock_guard hold(lock_);
        if (!info_) {
            if (platform::ComPtr<ITypeLib> library = moduleTypeLibrary())
                library->GetTypeInfoOfGuid(__uuidof(Interface), info_.put());
        }
        return info_;
    }

    std::mutex lock_;
    platform::ComPtr<ITypeInfo> info_; // under lock_
};
#pragma GCC diagnostic pop

} // namespace shell
