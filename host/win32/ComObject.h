// What every COM object of ours needs: a thread-safe reference count (the object's own IUnknown,
// the only AddRef and Release besides platform::ComPtr) and a boundary that turns a C++
// exception into an HRESULT, since none may leave a COM method.
#pragma once

#include "common/Log.h"

#include <objbase.h>

#include <atomic>
#include <new>
#include <string_view>

namespace host {

// How many COM objects of ours (ComObject below) are alive in this module: what
// DllCanUnloadNow asks, and how tests show that every reference was given back.
inline std::atomic<long>& comObjectCount() {
    static std::atomic<long> count{0};
    return count;
}
inline long liveComObjects() {
    return comObjectCount().load();
}

// The reference count of a COM object implementing the interfaces I...: AddRef and Release
// declared here override those of every interface at once. A new object holds one reference,
// which its creator adopts (platform::ComPtr<...>::adopt(new X)); QueryInterface is left to
// the object, which knows its interfaces.
// COM interfaces have no virtual destructor by design (an object is destroyed by its own
// Release, never through an interface pointer), which -Wnon-virtual-dtor cannot know.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <class... I> class ComObject : public I... {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    ComObject() { ++comObjectCount(); }
    virtual ~ComObject() { --comObjectCount(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    std::atomic<ULONG> references_{1};
};
#pragma GCC diagnostic pop

// Runs the body of a COM method: its HRESULT, or E_OUTOFMEMORY for std::bad_alloc and
// E_UNEXPECTED (logged as `where`) for any other exception.
template <class Body> HRESULT comBoundary(std::string_view where, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        logCaughtException(where);
        return E_UNEXPECTED;
    }
}

} // namespace host
