// The plug-in DLL's class objects under Wine. What registration writes is the installer's round
// trip's; the control in the test host (its panel, Init, Apply, the release) and the app's
// stories are tests/shell/wine_e2e.py's.
#include "host/win32/ComObject.h"
#include "shell/win32/Guids.h"
#include "shell/win32/Module.h"
#include "tests/shell/testhost/PlayerHost.h"

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
    testhost::PlayerHost host({});
    ASSERT_EQ(host.registerServer(), S_OK);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(host.dll(), "DllGetClassObject")));
    ASSERT_NE(get, nullptr);
    ASSERT_EQ(get(CLSID_TandravoleCtrl, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(host.canUnloadNow(), S_OK); // the kept factory is no object of the module's
    factory->LockServer(TRUE);
    EXPECT_EQ(host.canUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(host.canUnloadNow(), S_OK);
    factory.reset(); // before the host lets the DLL go
    EXPECT_EQ(host.unregisterServer(), S_OK);
}
