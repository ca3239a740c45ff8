// The class factory of the control: makes a CTandravoleCtrl COM object per request; no
// aggregation. LockServer counts in the module.
#pragma once

#include <objbase.h>
#include <unknwn.h>

#include <atomic>

namespace shell {

// Not a host::ComObject: the factory is kept for the module's life and is not one of the
// objects that keep the module loaded. (COM interfaces have no virtual destructor by design;
// the object is destroyed by its own Release.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ClassFactory final : public IClassFactory {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ~ClassFactory() = default;
    std::atomic<ULONG> references_{1};
};
#pragma GCC diagnostic pop

} // namespace shell
