// The plug-in DLL as the player meets it, under Wine: its class objects, registration in the
// real registry, and the control created, activated and initialised by the test host with its
// panel, Apply moving the server, and the release that leaves nothing behind. The app's own
// stories against the DLL are tests/shell/wine_e2e.py's.
#include "bridge/PluginSettings.h"
#include "client/RemoteClient.h"
#include "common/Utf.h"
#include "host/win32/ComObject.h"
#include "platform/Registry.h"
#include "shell/Registration.h"
#include "shell/win32/Guids.h"
#include "shell/win32/Module.h"
#include "tests/shell/testhost/PlayerHost.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <commctrl.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using testhost::PlayerHost;

constexpr char16_t kClassKey[] = u"CLSID\\{806BC7DC-BE17-494F-BF80-985F3AA07A72}";
constexpr char16_t kTypeLibKey[] = u"TypeLib\\{5B685F59-D2E1-4B4B-A64C-748D708FD314}";

bool keyExists(RegistryRoot root, const std::u16string& path) {
    RegistryKey key;
    return key.open(root, path);
}

std::u16string windowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return reinterpret_cast<const char16_t*>(text);
}

uint16_t freePort() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data); // counted: the cleanup below gives it back
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    closesocket(s);
    WSACleanup();
    return ntohs(a.sin_port);
}

// Runs `app` on a thread of its own while the player's thread keeps pumping (the control's
// server calls the player through the player's thread).
bool withApp(PlayerHost& host, const std::function<void()>& app, uint32_t timeoutMs = 30000) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        app();
        done = true;
    });
    const bool finished = host.pumpUntil([&] { return done.load(); }, timeoutMs);
    thread.join();
    return finished;
}

} // namespace

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
    PlayerHost host({});
    host.prepareRegistry();
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

// The player's whole life with the control: registration (what only the real system writes:
// the module's own path and the type library; the keys' contents are the portable tests', the
// installer's round trip checks them again), the panel, Init's refusals, Apply with another port
// (the app is told first), the release and unregistration.
TEST(ShellDll, TheControlShowsItsPanelMovesItsServerOnApplyAndTheReleaseLeavesNothing) {
    testhost::HostOptions options;
    options.port = freePort();
    PlayerHost host(options);
    host.prepareRegistry();
    ASSERT_EQ(host.registerServer(), S_OK);
    RegistryKey server;
    ASSERT_TRUE(
        server.open(RegistryRoot::ClassesRoot, std::u16string(kClassKey) + u"\\InprocServer32"));
    EXPECT_EQ(server.readString(u""), testhost::dllBesideProgram());
    server.close();
    EXPECT_TRUE(keyExists(RegistryRoot::ClassesRoot, kTypeLibKey));
    ASSERT_EQ(host.createControl(), S_OK);
    ASSERT_EQ(host.initControl(), S_OK);
    ASSERT_TRUE(host.pumpUntil([&] { return host.serverListens(); }, 10000));

    HWND panel = host.panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(GetParent(panel), host.frame());
    const std::tuple<int, const char16_t*, const char16_t*> controls[] = {
        {207, u"Button", u"Server enabled"},
        {208, u"Button", u"Register with Bonjour"},
        {209, u"Button", u"Apply"},
        {210, u"Edit", nullptr}, // texts not compared
        {211, u"Edit", nullptr},
        {212, u"Button", u"Defaults"},
        {214, u"msctls_trackbar32", u""},
        {215, u"Static", u"www.tandravole.com"},
        {216, u"Static", u"Tandravole 4 MediaCenter 4.0"},
        {217, u"Button", u"Periodically check for updates"},
        {218, u"Button", u"Check now"},
        {219, u"Button", u"Allow multiple connections"},
        {220, u"Button", u"Send notifications to app"},
        {221, u"SysListView32", u""},
        {222, u"Button", u"Add Windows Firewall rules"},
    };
    for (auto [id, windowClass, caption] : controls) {
        SCOPED_TRACE(id);
        HWND control = GetDlgItem(panel, id);
        ASSERT_NE(control, nullptr);
        wchar_t name[64] = {};
        GetClassNameW(control, name, 64);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), windowClass);
        if (caption) {
            EXPECT_EQ(windowText(control), caption);
        }
    }
    // Filled from the stored settings, Apply off until an edit.
    EXPECT_EQ(IsDlgButtonChecked(panel, 207), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(panel, 208), BST_UNCHECKED);
    EXPECT_EQ(windowText(GetDlgItem(panel, 211)), utf8ToUtf16(std::to_string(host.port())));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(panel, 209)));
    EXPECT_EQ(SendDlgItemMessageW(panel, 214, TBM_GETRANGEMAX, 0, 0), 2);
    HWND header = reinterpret_cast<HWND>(SendDlgItemMessageW(panel, 221, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 3);

    auto control = platform::ComPtr<IOleObject>(host.control()).query<ITandravoleCtrl>();
    ASSERT_TRUE(control);
    EXPECT_EQ(control->Init(nullptr), E_POINTER);
    EXPECT_EQ(control->Init(control.get()), E_FAIL); // a second Init
    control.reset();

    // An app logged in hears the notice (4: the server moves) before its connection ends.
    remote::RemoteClient app;
    ASSERT_TRUE(withApp(host, [&] {
        ASSERT_EQ(app.connect("127.0.0.1", host.port(), 10000), remote::ClientStatus::Ok);
        ASSERT_EQ(app.login("", true, 0, 10000), remote::ClientStatus::Ok);
    }));
    const uint16_t moved = freePort();
    const std::u16string movedText = utf8ToUtf16(std::to_string(moved));
    SetDlgItemTextW(panel, 211, reinterpret_cast<const wchar_t*>(movedText.c_str()));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(panel, 209)));
    std::atomic<int> notice{-1};
    std::thread listening([&] {
        wire::ReceivedMessage m;
        if (app.waitForType(wire::MSG_SERVER_NOTICE, m, 30000) == remote::ClientStatus::Ok)
            if (auto decoded = remote::decodeAs<wire::ServerNoticeMessage>(m))
                notice = decoded->reason;
    });
    SendDlgItemMessageW(panel, 209, BM_CLICK, 0, 0);
    EXPECT_TRUE(host.pumpUntil([&] { return notice != -1; }, 30000));
    listening.join();
    EXPECT_EQ(notice, 4);
    PluginSettings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.port, moved);
    remote::RemoteClient again;
    EXPECT_TRUE(withApp(host, [&] {
        EXPECT_EQ(again.connect("127.0.0.1", moved, 10000), remote::ClientStatus::Ok);
        EXPECT_EQ(again.login("", true, 0, 10000), remote::ClientStatus::Ok);
        again.close();
    }));
    app.close();

    EXPECT_EQ(host.releaseControl(), 0u);
    EXPECT_TRUE(host.pumpUntil([&] { return host.canUnloadNow() == S_OK; }, 10000));
    EXPECT_EQ(host::liveComObjects(), 1); // the player's root alone: the site was let go
    EXPECT_EQ(host.unregisterServer(), S_OK);
    for (const char16_t* key : {kClassKey, kTypeLibKey, u"Tandravole.TandravoleCtrl"})
        EXPECT_FALSE(keyExists(RegistryRoot::ClassesRoot, key)) << utf16ToUtf8(key);
    EXPECT_FALSE(keyExists(RegistryRoot::LocalMachine, shell::PluginKeyPath(u"Media Center 31")));
}
