// The plug-in DLL's class objects under Wine. What registration writes is the installer's round
// trip's; the control in the test host (its panel, Init, Apply, the release) and the app's
// stories are tests/shell/wine_e2e.py's.
#include "shell/win32/Guids.h"
#include "shell/win32/Module.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(ShellDll, ClassObjectsAreServedOnlyForTheControlAndOnlyOnceInitialised) {
    shell::MyModule fresh;
    platform::ComPtr<IClassFactory> factory;
    EXPECT_EQ(fresh.getClassObject(CLSID_TandravoleCtrl, IID_IClassFactory, factory.putVoid()),
              E_UNEXPECTED);
    fresh.initialise();
    EXPECT_EQ(fresh.getClassObject(CLSID_TandravoleCtrl, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(fresh.getClassObject(IID_IDispatch, IID_IClassFactory, factory.putVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(factory);
    ASSERT_EQ(fresh.getClassObject(CLSID_TandravoleCtrl, IID_IClassFactory, factory.putVoid()),
              S_OK);
    platform::ComPtr<IClassFactory> again;
    ASSERT_EQ(fresh.getClassObject(CLSID_TandravoleCtrl, IID_IUnknown, again.putVoid()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(again.get()), static_cast<IUnknown*>(factory.get()));
    EXPECT_EQ(factory->CreateInstance(factory.get(), IID_IUnknown, again.putVoid()),
              CLASS_E_NOAGGREGATION);
    again.reset();

    // Through the DLL's exports: a lock keeps it loaded.
    HMODULE dll = LoadLibraryW(L"Tandravole.dll");
    ASSERT_NE(dll, nullptr);
    auto get = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_TRUE(get && canUnloadNow);
    ASSERT_EQ(get(CLSID_TandravoleCtrl, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK); // the kept factory is no object of the module's
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow(), S_OK);
    factory.reset(); // before the DLL goes
    FreeLibrary(dll);
}
