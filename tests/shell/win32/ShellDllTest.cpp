// The plug-in DLL as the player meets it, under Wine: its exports, registration in the real
// registry, the control created, activated and initialised by the test host, its panel, Apply
// moving the server, and the release that leaves nothing behind.
#include "bridge/PluginSettings.h"
#include "client/RemoteClient.h"
#include "common/Utf.h"
#include "platform/Registry.h"
#include "shell/win32/Guids.h"
#include "shell/win32/Module.h"
#include "tests/shell/testhost/PlayerHost.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <commctrl.h>
#include <wincodec.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using testhost::PlayerHost;

constexpr char16_t kClassKey[] = u"CLSID\\{806BC7DC-BE17-494F-BF80-985F3AA07A72}";
constexpr char16_t kTypeLibKey[] = u"TypeLib\\{5B685F59-D2E1-4B4B-A64C-748D708FD314}";

std::u16string pluginKey(const std::u16string& installation) {
    return u"Software\\J. River\\" + installation + u"\\Plugins\\Interface\\Tandravole";
}

bool keyExists(RegistryRoot root, const std::u16string& path) {
    RegistryKey key;
    return key.open(root, path);
}

std::u16string windowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return reinterpret_cast<const char16_t*>(text);
}

std::u16string className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return reinterpret_cast<const char16_t*>(name);
}

// The window's pixels as a PNG file, through the system's imaging codecs.
HRESULT savePng(HWND window, const wchar_t* path) {
    RECT area{};
    GetClientRect(window, &area);
    const int width = area.right, height = area.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* pixels = nullptr;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    platform::ComPtr<IWICImagingFactory> factory;
    platform::ComPtr<IWICStream> stream;
    platform::ComPtr<IWICBitmapEncoder> encoder;
    platform::ComPtr<IWICBitmapFrameEncode> frame;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, factory.putVoid());
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(stream.put());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path, GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.put(), nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(UINT(width), UINT(height));
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(UINT(height), UINT(width) * 4, UINT(width * height * 4),
                                static_cast<BYTE*>(pixels));
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return hr;
}

// A test host with the control created, activated and initialised on a free port.
struct Running {
    explicit Running(testhost::HostOptions options = {}) {
        options.port = freePort();
        host = std::make_unique<PlayerHost>(options);
        host->prepareRegistry();
        EXPECT_EQ(host->registerServer(), S_OK);
        EXPECT_EQ(host->createControl(), S_OK);
        EXPECT_EQ(host->initControl(), S_OK);
        EXPECT_TRUE(host->pumpUntil([&] { return host->serverListens(); }, 10000));
    }
    static uint16_t freePort() {
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
    std::unique_ptr<PlayerHost> host;
};

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

    // Through the DLL's exports: a lock keeps it loaded.
    PlayerHost host({});
    host.prepareRegistry();
    ASSERT_EQ(host.registerServer(), S_OK);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(host.dll(), "DllGetClassObject")));
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(get(CLSID_TandravoleCtrl, IID_IClassFactory, nullptr), E_POINTER);
    ASSERT_EQ(get(CLSID_TandravoleCtrl, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(host.canUnloadNow(), S_OK); // the kept factory is no object of the module's
    factory->LockServer(TRUE);
    EXPECT_EQ(host.canUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(host.canUnloadNow(), S_OK);
    factory.reset(); // before the host lets the DLL go
    again.reset();
    EXPECT_EQ(host.unregisterServer(), S_OK);
}

TEST(ShellDll, RegistrationWritesTheClassTheTypeLibraryAndThePluginKeysAndTakesThemBack) {
    testhost::HostOptions options;
    options.installations = {u"Media Center 31", u"Media Center 32"};
    PlayerHost host(options);
    host.prepareRegistry();
    RegistryKey neighbour; // another plug-in of the player's: stays
    ASSERT_TRUE(
        neighbour.create(RegistryRoot::LocalMachine,
                         u"Software\\J. River\\Media Center 31\\Plugins\\Interface\\Other"));
    ASSERT_EQ(host.registerServer(), S_OK);

    RegistryKey server;
    ASSERT_TRUE(
        server.open(RegistryRoot::ClassesRoot, std::u16string(kClassKey) + u"\\InprocServer32"));
    const std::u16string dll = testhost::dllBesideProgram();
    EXPECT_EQ(server.readString(u""), dll);
    EXPECT_EQ(server.readString(u"ThreadingModel"), u"Apartment");
    EXPECT_TRUE(keyExists(RegistryRoot::ClassesRoot, kTypeLibKey));
    for (const std::u16string installation : {u"Media Center 31", u"Media Center 32"}) {
        RegistryKey plugin;
        ASSERT_TRUE(plugin.open(RegistryRoot::LocalMachine, pluginKey(installation)));
        EXPECT_EQ(plugin.readString(u"CLSID"), u"{806BC7DC-BE17-494F-BF80-985F3AA07A72}");
        EXPECT_EQ(plugin.readDword(u"PluginMode"), 1u);
    }

    ASSERT_EQ(host.unregisterServer(), S_OK);
    EXPECT_FALSE(keyExists(RegistryRoot::ClassesRoot, kClassKey));
    EXPECT_FALSE(keyExists(RegistryRoot::ClassesRoot, kTypeLibKey));
    EXPECT_FALSE(keyExists(RegistryRoot::ClassesRoot, u"Tandravole.TandravoleCtrl"));
    EXPECT_FALSE(keyExists(RegistryRoot::LocalMachine, pluginKey(u"Media Center 32")));
    EXPECT_TRUE(keyExists(RegistryRoot::LocalMachine,
                          u"Software\\J. River\\Media Center 31\\Plugins\\Interface\\Other"));
    platform::deleteRegistryTree(RegistryRoot::LocalMachine,
                                 u"Software\\J. River\\Media Center 31\\Plugins\\Interface\\Other");
}

TEST(ShellDll, ThePanelShowsEveryControlOfItsDialogWithItsCaption) {
    Running running;
    PlayerHost& host = *running.host;
    HWND panel = host.panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(GetParent(panel), host.frame());
    struct Expected {
        int id;
        const char16_t* windowClass;
        const char16_t* caption; // null: not compared
    };
    const std::vector<Expected> controls = {
        {207, u"Button", u"Server enabled"},
        {208, u"Button", u"Register with Bonjour"},
        {209, u"Button", u"Apply"},
        {210, u"Edit", nullptr},
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
    for (const Expected& c : controls) {
        SCOPED_TRACE(c.id);
        HWND control = GetDlgItem(panel, c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(className(control), c.windowClass);
        if (c.caption) {
            EXPECT_EQ(windowText(control), c.caption);
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
    host.pumpUntil(nullptr, 0);
    UpdateWindow(host.frame());
    EXPECT_EQ(savePng(host.frame(), L"panel.png"), S_OK);
    SetDlgItemTextW(panel, 211, L"1234");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(panel, 209)));
}

TEST(ShellDll, ApplyWithAnotherPortMovesTheServerAndTellsTheAppFirst) {
    Running running;
    PlayerHost& host = *running.host;
    const uint16_t moved = Running::freePort();
    std::atomic<bool> loggedIn{false};
    std::atomic<int> notice{-1};
    remote::RemoteClient app;
    std::atomic<bool> stop{false};
    std::thread appThread([&] {
        if (app.connect("127.0.0.1", host.port(), 10000) != remote::ClientStatus::Ok ||
            app.login("", true, 0, 10000) != remote::ClientStatus::Ok) {
            stop = true;
            return;
        }
        loggedIn = true;
        wire::ReceivedMessage m;
        if (app.waitForType(wire::MSG_SERVER_NOTICE, m, 30000) == remote::ClientStatus::Ok) {
            if (auto decoded = remote::decodeAs<wire::ServerNoticeMessage>(m))
                notice = decoded->reason;
        }
        stop = true;
    });
    host.pumpUntil([&] { return loggedIn.load() || stop.load(); }, 30000);
    if (!loggedIn) {
        appThread.join();
        FAIL() << "the app could not log in";
    }

    HWND panel = host.panel();
    SetDlgItemTextW(panel, 211,
                    reinterpret_cast<const wchar_t*>(utf8ToUtf16(std::to_string(moved)).c_str()));
    SendDlgItemMessageW(panel, 209, BM_CLICK, 0, 0);
    EXPECT_TRUE(host.pumpUntil([&] { return stop.load(); }, 30000));
    appThread.join();
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
}

TEST(ShellDll, InitRefusesANullRootAndASecondCallAndTheReleaseLeavesNothing) {
    Running running;
    PlayerHost& host = *running.host;
    auto control = platform::ComPtr<IOleObject>(host.control()).query<ITandravoleCtrl>();
    ASSERT_TRUE(control);
    EXPECT_EQ(control->Init(nullptr), E_POINTER);
    EXPECT_EQ(control->Init(control.get()), E_FAIL);
    control.reset();

    // The player's events reach the control through its sink: an app sees a track change
    // made at the player (after the login's own snapshot, which the handler takes).
    remote::RemoteClient app;
    app.setPushHandler([](const wire::ReceivedMessage&) {});
    EXPECT_TRUE(withApp(host, [&] {
        ASSERT_EQ(app.connect("127.0.0.1", host.port(), 10000), remote::ClientStatus::Ok);
        ASSERT_EQ(app.login("", true, 0, 10000), remote::ClientStatus::Ok);
    }));
    auto playback = host::callMethod(host.player().root().get(), host::RootOp::Playback);
    host::callMethod(playback.asObject().get(), host::PlaybackOp::Next);
    EXPECT_TRUE(withApp(host, [&] {
        wire::ReceivedMessage m;
        EXPECT_EQ(app.waitForType(wire::MSG_TRACK_INFO, m, 10000), remote::ClientStatus::Ok);
    }));
    app.close();

    EXPECT_EQ(host.releaseControl(), 0u);
    EXPECT_TRUE(host.pumpUntil([&] { return host.canUnloadNow() == S_OK; }, 10000));
    EXPECT_EQ(testhost::ContainerSite::live(), 0);
    EXPECT_EQ(host.unregisterServer(), S_OK);
}
