// The DLL as a COM in-process server: MyModule, the COM module (server locks, the class factory
// made on first request and kept for the module's life; its live objects are the COM objects
// of ours that host::ComObject counts: controls, event sinks), and CTandravoleApp, the
// application object (the module's handle and path, and the panel windows that are open:
// while one is, its window procedure must stay loaded). DllCanUnloadNow asks both.
#pragma once

#include "platform/win32/ComPtr.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

namespace shell {

class CTandravoleApp {
public:
    // DllMain's attach: the module's handle.
    void attach(HINSTANCE module) { module_ = module; }
    HINSTANCE module() const { return module_; }
    // The module's full path (empty when it cannot be read).
    std::u16string modulePath() const;

    void windowOpened() { ++windows_; }
    void windowClosed() { --windows_; }
    long openWindows() const { return windows_; }

private:
    HINSTANCE module_ = nullptr;
    std::atomic<long> windows_{0};
};

class MyModule {
public:
    MyModule() = default;
    ~MyModule();
    MyModule(const MyModule&) = delete;
    MyModule& operator=(const MyModule&) = delete;

    // DllMain's attach: from here on class objects are served.
    void initialise() { initialised_ = true; }

    // IClassFactory::LockServer.
    void lock() { ++locks_; }
    void unlock() { --locks_; }
    long locks() const { return locks_; }
    // The module's COM objects alive (host::liveComObjects); the kept factory is not one.
    long objects() const;

    // DllGetClassObject: E_POINTER without an out pointer, E_UNEXPECTED before the module is
    // initialised, CLASS_E_CLASSNOTAVAILABLE for any class but the control's; otherwise the
    // one class factory (made on the first request, under a lock) asked for `iid`.
    HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out);

private:
    std::atomic<bool> initialised_{false};
    std::atomic<long> locks_{0};
    std::mutex factoryLock_;
    platform::ComPtr<IClassFactory> factory_; // under factoryLock_
};

// The DLL's two singletons.
CTandravoleApp& theApp();
MyModule& theModule();

// S_OK when neither the application object nor the COM module holds anything; else S_FALSE.
HRESULT canUnloadNow(const CTandravoleApp& app, const MyModule& module);

// The module's type library, loaded from its own file (the TYPELIB resource, so it works
// before and without registration); null when it cannot be read.
platform::ComPtr<ITypeLib> moduleTypeLibrary();

} // namespace shell
