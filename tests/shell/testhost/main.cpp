// tandravole-testhost.exe [--port N] [--password TEXT] [--allow-kick] [--cycles N]: the player
// for the plug-in DLL under Wine, serving apps over 127.0.0.1. It registers Tandravole.dll
// (beside it) for the installation "Media Center 31", creates the control, sites it and
// activates it in place in a window of its own, and calls Init by name through IDispatch with a
// root whose objects are real COM objects over the simulated player. Its main thread is the
// player's: it pumps the window messages, delivers the player's events and owns the control.
//
// It prints "registered", "listening on port N", the panel, and at the end "released:
// references R, live objects L (1: the player's root alone), can unload S_OK|S_FALSE" and
// "unregistered: 0x...". It serves until its standard input closes; lines on it act as the
// player's user: "next" skips to the next track, "port N" types N into the port box and clicks
// Apply. With --cycles N it creates, initialises and releases the control N times instead, each
// serving apps for a moment of its own length, and prints "cycles: N, longest release MS ms".
// Exit code 0 when every step succeeded (no release left a reference).
#include "bridge/PluginSettings.h"
#include "common/Utf.h"
#include "host/HostAutomation.h"
#include "host/win32/ComObject.h"
#include "platform/Registry.h"
#include "shell/PanelRecord.h"
#include "shell/win32/Guids.h"
#include "simhost/DemoLibrary.h"
#include "simhost/SimPlayer.h"
#include "tests/shell/testhost/SimDispatch.h"

#include <winsock2.h>

#include <commctrl.h>
#include <iphlpapi.h>
#include <ole2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

void say(const std::string& line) {
    std::cout << line << std::endl;
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string text(const wchar_t* text) {
    return utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

// The player's page as the control's client site and in-place site, in the frame window. The
// control is only activated in place, never UI-active, so it is given no in-place frame. It
// counts among host::liveComObjects().
class ContainerSite final : public host::ComObject<IOleClientSite, IOleInPlaceSite> {
public:
    explicit ContainerSite(HWND window) : window_(window) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        return *out = nullptr, E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override { return *out = nullptr, E_NOTIMPL; }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP GetWindow(HWND* window) override { return *window = window_, S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        *frame = nullptr;
        *document = nullptr;
        GetClientRect(window_, position);
        *clip = *position;
        *info = OLEINPLACEFRAMEINFO{sizeof *info, FALSE, window_, nullptr, 0};
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

private:
    HWND window_;
};

class PlayerHost {
public:
    explicit PlayerHost(const PluginSettings& settings) : port_(settings.port) {
        OleInitialize(nullptr);
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        // The player's page: room for the panel's 342 x 250 dialog units at the panel's font.
        frame_ = CreateWindowExW(0, L"STATIC", L"Tandravole test host (the player)",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 580, 480,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        simhost::SimOptions sim;
        sim.coverCache = std::filesystem::temp_directory_path() / "tandravole-testhost-covers";
        sim.writeEqualizerPresets = true; // the player's presets, where the plug-in reads them
        player_ = std::make_unique<simhost::SimPlayer>(simhost::demoLibrary(), sim);
        // The player notifies the window the plug-in registered, on this thread.
        player_->setWindowMessageHandler([](int32_t window, uint32_t m, uint64_t w, int64_t l) {
            SendMessageW(reinterpret_cast<HWND>(static_cast<intptr_t>(window)), m, WPARAM(w),
                         LPARAM(l));
        });
        const DWORD thread = GetCurrentThreadId();
        player_->setWakeHandler([thread] { PostThreadMessageW(thread, WM_NULL, 0, 0); });
        root_ = testhost::makeSimDispatch(player_->root());
        platform::RegistryKey installation;
        installation.create(platform::RegistryRoot::LocalMachine,
                            u"SOFTWARE\\J. River\\Media Core\\Installations\\Media Center 31");
        SaveSettings(settings);
    }
    ~PlayerHost() {
        release();
        player_->setWindowMessageHandler({});
        player_->setWakeHandler({});
        root_.reset();
        player_.reset();
        DestroyWindow(frame_);
        if (dll_)
            FreeLibrary(dll_);
        WSACleanup();
        OleUninitialize();
    }

    // A DLL export taking nothing (after loading the DLL for the first), or E_NOTIMPL.
    HRESULT call(const char* name) {
        if (!dll_)
            dll_ = LoadLibraryW(L"Tandravole.dll"); // the program's folder comes first
        auto entry = dll_ ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                                reinterpret_cast<void*>(GetProcAddress(dll_, name)))
                          : nullptr;
        return entry ? entry() : E_NOTIMPL;
    }

    // CoCreateInstance, client site, InitNew, in-place activation, Init(root) called by name
    // through IDispatch, and the player's thread run until the control's server listens.
    HRESULT start() {
        HRESULT hr = CoCreateInstance(CLSID_TandravoleCtrl, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IOleObject, control_.putVoid());
        if (FAILED(hr))
            return hr;
        site_ = platform::ComPtr<IOleClientSite>::adopt(new ContainerSite(frame_));
        DWORD misc = 0;
        control_->GetMiscStatus(DVASPECT_CONTENT, &misc);
        const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
        if (siteFirst)
            control_->SetClientSite(site_.get());
        if (auto persist = control_.query<IPersistStreamInit>())
            persist->InitNew();
        if (!siteFirst)
            control_->SetClientSite(site_.get());
        RECT client{};
        GetClientRect(frame_, &client);
        hr = control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, frame_, &client);
        auto dispatch = control_.query<IDispatch>();
        if (FAILED(hr) || !dispatch)
            return FAILED(hr) ? hr : E_NOINTERFACE;
        wchar_t name[] = L"Init";
        LPOLESTR names[] = {name};
        DISPID id = DISPID_UNKNOWN;
        if (FAILED(hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
            return hr;
        VARIANT argument{};
        argument.vt = VT_DISPATCH;
        argument.pdispVal = root_.get(); // lent for the call: the control takes its own reference
        DISPPARAMS params{&argument, nullptr, 1, 0};
        hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                              nullptr, nullptr);
        if (FAILED(hr))
            return hr;
        return pumpUntil([&] { return listens(); }, 10000) ? S_OK
                                                           : HRESULT_FROM_WIN32(WAIT_TIMEOUT);
    }

    // Releases the control as the player does (close, deactivate, site gone); the count its
    // last Release reported (0: it is gone).
    ULONG release() {
        if (!control_)
            return 0;
        if (auto inPlace = control_.query<IOleInPlaceObject>())
            inPlace->InPlaceDeactivate();
        control_->Close(OLECLOSE_NOSAVE);
        control_->SetClientSite(nullptr);
        site_.reset();
        return control_.releaseAndCount();
    }

    // Runs the player's thread (window messages, the player's own changes and events) until
    // `done` holds (true) or timeoutMs passed (false).
    bool pumpUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
        const ULONGLONG start = GetTickCount64();
        for (;;) {
            if (done())
                return true;
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= timeoutMs)
                return false;
            player_->pump();
            uint32_t waitMs = uint32_t(std::min<ULONGLONG>(timeoutMs - elapsed, 20));
            if (auto next = player_->msUntilNextChange())
                waitMs = uint32_t(std::min<uint64_t>(waitMs, *next));
            MsgWaitForMultipleObjectsEx(0, nullptr, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            player_->pump();
        }
    }

    // Whether the system's table has a listener on the port: nothing connects, so no app's
    // session is taken by the look.
    bool listens() const {
        ULONG size = 0;
        GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_BASIC_LISTENER, 0);
        std::vector<uint8_t> buffer(size);
        auto* table = reinterpret_cast<MIB_TCPTABLE*>(buffer.data());
        if (size == 0 || GetExtendedTcpTable(table, &size, FALSE, AF_INET, TCP_TABLE_BASIC_LISTENER,
                                             0) != NO_ERROR)
            return false;
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            if (ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == port_)
                return true;
        return false;
    }

    HWND panel() const {
        HWND window = nullptr;
        if (auto ole = control_.query<IOleWindow>())
            ole->GetWindow(&window);
        return window;
    }

    HWND frame_ = nullptr;
    platform::ComPtr<IOleObject> control_;
    std::unique_ptr<simhost::SimPlayer> player_;

private:
    const uint16_t port_;
    HMODULE dll_ = nullptr;
    platform::ComPtr<IOleClientSite> site_;
    platform::ComPtr<IDispatch> root_;
};

bool start(PlayerHost& host, uint16_t port) {
    const HRESULT hr = host.start();
    if (FAILED(hr))
        say("starting the control on port " + std::to_string(port) + " failed: " + hex(hr));
    return SUCCEEDED(hr);
}

// The panel as the player's user sees it: "control ID CLASS 'TEXT' CHECK[ disabled]" a line,
// the trackbar's range and the adapter list's columns; and Init's refusals once initialised.
void describe(PlayerHost& host) {
    HWND panel = host.panel();
    say(std::string("panel in the page: ") + (GetParent(panel) == host.frame_ ? "yes" : "no"));
    for (int id = 200; id < 230; ++id) {
        wchar_t name[64] = {}, caption[256] = {};
        if (HWND control = GetDlgItem(panel, id)) {
            GetClassNameW(control, name, 64);
            GetWindowTextW(control, caption, 256);
            say("control " + std::to_string(id) + " " + text(name) + " '" + text(caption) + "' " +
                std::to_string(IsDlgButtonChecked(panel, id)) +
                (IsWindowEnabled(control) ? "" : " disabled"));
        }
    }
    HWND header = reinterpret_cast<HWND>(SendDlgItemMessageW(panel, 221, LVM_GETHEADER, 0, 0));
    say("trackbar to " + std::to_string(SendDlgItemMessageW(panel, 214, TBM_GETRANGEMAX, 0, 0)) +
        ", columns " + std::to_string(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)));
    auto control = host.control_.query<ITandravoleCtrl>();
    say("Init again: " + hex(control->Init(control.get())) +
        ", Init(null): " + hex(control->Init(nullptr)));
}

// The player's user, as lines on standard input, until it closes.
void serve(PlayerHost& host) {
    std::atomic<int> next{0}, port{0};
    std::atomic<bool> ended{false};
    const DWORD playerThread = GetCurrentThreadId();
    std::thread reader([&] {
        for (std::string line; std::getline(std::cin, line);) {
            if (line.starts_with("port "))
                port = std::atoi(line.c_str() + 5);
            else if (line.starts_with("next"))
                ++next;
            PostThreadMessageW(playerThread, WM_NULL, 0, 0);
        }
        ended = true;
        PostThreadMessageW(playerThread, WM_NULL, 0, 0);
    });
    host::HostObjectPtr root = host.player_->root();
    for (bool last = false; !last;) {
        host.pumpUntil([&] { return ended || next > 0 || port > 0; }, 1000);
        last = ended;
        for (; next > 0; --next)
            if (auto playback = host::callMethod(root.get(), host::RootOp::Playback).asObject())
                host::callMethod(playback.get(), host::PlaybackOp::Next);
        if (const int moved = port.exchange(0)) {
            const std::u16string text = utf8ToUtf16(std::to_string(moved));
            SetDlgItemTextW(host.panel(), shell::kPortBox,
                            reinterpret_cast<const wchar_t*>(text.c_str()));
            HWND apply = GetDlgItem(host.panel(), shell::kApplyButton);
            say(std::string("Apply after the edit: ") + (IsWindowEnabled(apply) ? "on" : "off"));
            SendDlgItemMessageW(host.panel(), shell::kApplyButton, BM_CLICK, 0, 0);
        }
    }
    reader.join();
}

// The control made and released `cycles` times while apps use it; false on the first release
// that leaves a reference or a control that does not start.
bool cycle(PlayerHost& host, uint16_t port, int cycles) {
    std::mt19937 random(12345);
    ULONGLONG longest = 0;
    for (int i = 1; i <= cycles; ++i) {
        if (!start(host, port))
            return false;
        host.pumpUntil([] { return false; }, 200 + random() % 1300);
        const ULONGLONG before = GetTickCount64();
        const ULONG left = host.release();
        longest = std::max(longest, GetTickCount64() - before);
        if (left != 0) {
            say("cycle " + std::to_string(i) + ": the release left " + std::to_string(left) +
                " references");
            return false;
        }
    }
    say("cycles: " + std::to_string(cycles) + ", longest release " + std::to_string(longest) +
        " ms");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    PluginSettings settings;
    settings.bonjour = false; // no DNS-SD and no update check: tests never leave this machine
    settings.updateCheck = false;
    int cycles = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i], value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--allow-kick") {
            settings.allowKick = true;
        } else if (arg == "--password" && ++i < argc) {
            settings.password = utf8ToUtf16(value);
        } else if (arg == "--port" && ++i < argc) {
            settings.port = uint16_t(std::atoi(value.c_str()));
        } else if (arg == "--cycles" && ++i < argc) {
            cycles = std::atoi(value.c_str());
        } else {
            say("usage: tandravole-testhost.exe [--port N] [--password TEXT] [--allow-kick] "
                "[--cycles N]");
            return 2;
        }
    }

    PlayerHost host(settings);
    const HRESULT registered = host.call("DllRegisterServer");
    if (FAILED(registered)) {
        say("registration failed: " + hex(registered));
        return 1;
    }
    say("registered");
    bool ok = true;
    ULONG references = 0;
    if (cycles > 0) {
        ok = cycle(host, settings.port, cycles);
    } else if ((ok = start(host, settings.port))) {
        say("listening on port " + std::to_string(settings.port));
        describe(host);
        serve(host);
        references = host.release();
    }
    // Let the server's threads, the hidden window and the event sink go before asking.
    host.pumpUntil([&] { return host.call("DllCanUnloadNow") == S_OK; }, 5000);
    const HRESULT unload = host.call("DllCanUnloadNow");
    say("released: references " + std::to_string(references) + ", live objects " +
        std::to_string(host::liveComObjects()) + ", can unload " +
        (unload == S_OK ? "S_OK" : "S_FALSE"));
    const HRESULT unregistered = host.call("DllUnregisterServer");
    say("unregistered: " + hex(unregistered));
    return ok && references == 0 && unload == S_OK && SUCCEEDED(unregistered) ? 0 : 1;
}
