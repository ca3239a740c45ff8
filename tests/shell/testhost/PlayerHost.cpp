#include "tests/shell/testhost/PlayerHost.h"

#include "bridge/PluginSettings.h"
#include "host/win32/ComObject.h"
#include "platform/Registry.h"
#include "platform/Socket.h"
#include "shell/win32/Guids.h"
#include "simhost/DemoLibrary.h"
#include "tests/shell/testhost/SimDispatch.h"

#include <winsock2.h>

#include <iphlpapi.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace testhost {
namespace {

// The player's page as the control's client site and in-place site, in the frame window. The
// control is only activated in place, never UI-active, so it is given no in-place frame. It
// counts among host::liveComObjects().
class ContainerSite final : public host::ComObject<IOleClientSite, IOleInPlaceSite> {
public:
    explicit ContainerSite(HWND window) : window_(window) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override { return none(out); }
    STDMETHODIMP GetContainer(IOleContainer** out) override { return none(out); }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP GetWindow(HWND* window) override {
        return window ? (*window = window_, S_OK) : E_POINTER;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !document || !position || !clip || !info)
            return E_POINTER;
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
    template <class T> static HRESULT none(T** out) {
        return out ? (*out = nullptr, E_NOTIMPL) : E_POINTER;
    }

    HWND window_;
};

} // namespace

std::u16string dllBesideProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string program(reinterpret_cast<const char16_t*>(path), length);
    return program.substr(0, program.find_last_of(u'\\') + 1) + u"Tandravole.dll";
}

PlayerHost::PlayerHost(HostOptions options) : options_(std::move(options)) {
    OleInitialize(nullptr);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    if (options_.port == 0) { // a port nobody uses now
        platform::SocketHandle s = platform::listenTcp4(0);
        options_.port = platform::socketLocalPort(s);
        platform::closeSocket(s);
    }
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
    root_ = makeSimDispatch(player_->root());
}

PlayerHost::~PlayerHost() {
    releaseControl();
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

HRESULT PlayerHost::registerServer() {
    platform::RegistryKey installation;
    installation.create(platform::RegistryRoot::LocalMachine,
                        u"SOFTWARE\\J. River\\Media Core\\Installations\\Media Center 31");
    PluginSettings settings;
    settings.port = options_.port;
    settings.password = options_.password;
    settings.allowKick = options_.allowKick;
    settings.bonjour = false;
    settings.updateCheck = false;
    SaveSettings(settings);
    if (!dll_)
        dll_ = LoadLibraryW(reinterpret_cast<const wchar_t*>(dllBesideProgram().c_str()));
    if (!dll_)
        return HRESULT_FROM_WIN32(GetLastError());
    return callExport("DllRegisterServer");
}

HRESULT PlayerHost::callExport(const char* name) const {
    auto entry = dll_ ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                            reinterpret_cast<void*>(GetProcAddress(dll_, name)))
                      : nullptr;
    return entry ? entry() : E_NOTIMPL;
}

HRESULT PlayerHost::startControl() {
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
    return pumpUntil([&] { return serverListens(); }, 10000) ? S_OK
                                                             : HRESULT_FROM_WIN32(WAIT_TIMEOUT);
}

ULONG PlayerHost::releaseControl() {
    if (!control_)
        return 0;
    if (auto inPlace = control_.query<IOleInPlaceObject>())
        inPlace->InPlaceDeactivate();
    control_->Close(OLECLOSE_NOSAVE);
    control_->SetClientSite(nullptr);
    site_.reset();
    return control_.releaseAndCount();
}

HWND PlayerHost::panel() const {
    HWND window = nullptr;
    if (auto ole = control_.query<IOleWindow>())
        ole->GetWindow(&window);
    return window;
}

bool PlayerHost::pumpUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
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

bool PlayerHost::serverListens() const {
    ULONG size = 0;
    GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_BASIC_LISTENER, 0);
    std::vector<uint8_t> buffer(size);
    auto* table = reinterpret_cast<MIB_TCPTABLE*>(buffer.data());
    if (size == 0 ||
        GetExtendedTcpTable(table, &size, FALSE, AF_INET, TCP_TABLE_BASIC_LISTENER, 0) != NO_ERROR)
        return false;
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == options_.port)
            return true;
    return false;
}

} // namespace testhost
