#include "shell/win32/Module.h"

#include "host/win32/ComObject.h"
#include "shell/win32/ClassFactory.h"
#include "shell/win32/Guids.h"

#include <new>

namespace shell {

std::u16string CTandravoleApp::modulePath() const {
    // Long paths are possible; grow the buffer until the name fits.
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module_, reinterpret_cast<wchar_t*>(path.data()),
                                                static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

long MyModule::objects() const {
    return host::liveComObjects();
}

MyModule::~MyModule() {
    std::lock_guard hold(factoryLock_);
    factory_.reset();
}

HRESULT MyModule::getClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!initialised_)
        return E_UNEXPECTED;
    if (clsid != CLSID_TandravoleCtrl)
        return CLASS_E_CLASSNOTAVAILABLE;
    std::lock_guard hold(factoryLock_);
    if (!factory_) {
        auto* made = new (std::nothrow) ClassFactory;
        if (!made)
            return E_OUTOFMEMORY;
        factory_ = platform::ComPtr<IClassFactory>::adopt(made);
    }
    return factory_->QueryInterface(iid, out);
}

CTandravoleApp& theApp() {
    static CTandravoleApp app;
    return app;
}

MyModule& theModule() {
    static MyModule module;
    return module;
}

HRESULT canUnloadNow(const CTandravoleApp& app, const MyModule& module) {
    return app.openWindows() == 0 && module.objects() == 0 && module.locks() == 0 ? S_OK : S_FALSE;
}

platform::ComPtr<ITypeLib> moduleTypeLibrary() {
    const std::u16string path = theApp().modulePath();
    platform::ComPtr<ITypeLib> library;
    if (path.empty() || FAILED(LoadTypeLibEx(reinterpret_cast<const wchar_t*>(path.c_str()),
                                             REGKIND_NONE, library.put())))
        return nullptr;
    return library;
}

} // namespace shell
