// CTandravoleCtrl's COM face: the ActiveX control the player creates, sites, activates in
// place inside its own window and initialises through ITandravoleCtrl::Init. Its window is
// the settings panel (a child dialog); everything else — the server, the player bridge, the
// services — is the portable CTandravoleCtrl it owns, given the panel, the real message boxes
// and the services as its environment.
//
// Interfaces: ITandravoleCtrl (dual, IDispatch from the type library), IOleObject,
// IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl, IViewObject2, IPersistStreamInit,
// IProvideClassInfo2 and IQuickActivate. They are implemented by topic in ControlObject.cpp
// (identity, Init, life), ControlOle.cpp (IOleObject and in-place activation) and
// ControlView.cpp (drawing, persistence, class information, quick activation). No C++
// exception leaves a COM method: each catches at its boundary and returns an HRESULT.
//
// Threads: the player creates, activates, initialises and releases the control on its own
// thread (the host's thread); the panel's window and every method run there. The message
// boxes may be shown from the update check's thread too: they read only the window handles
// kept in atomics.
#pragma once

#include "bridge/TandravoleCtrl.h"
#include "host/win32/ComObject.h"
#include "platform/win32/ComPtr.h"
#include "shell/win32/DispatchImpl.h"
#include "shell/win32/Guids.h"
#include "shell/win32/Module.h"
#include "shell/win32/SettingsPanel.h"

#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <memory>

namespace shell {

// The control's OLE status bits, as registered under MiscStatus "1" (131473):
// recompose on resize, can't link inside, inside-out, activate when visible, set the client
// site first.
constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_SETCLIENTSITEFIRST;
static_assert(kMiscStatus == 131473);

class ControlObject final
    : public host::ComObject<DispatchImpl<ITandravoleCtrl>, IOleObject, IOleInPlaceObject,
                             IOleInPlaceActiveObject, IOleControl, IViewObject2, IPersistStreamInit,
                             IProvideClassInfo2, IQuickActivate> {
public:
    // Makes a control and asks it for `iid` (the class factory's CreateInstance).
    static HRESULT create(REFIID iid, void** out);

    // --- IUnknown (the reference count is ComObject's) ---
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;

    // --- ITandravoleCtrl ---
    STDMETHODIMP Init(IDispatch* pDisp) override;

    // --- IOleObject ---
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject** out) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent,
                        LPCRECT position) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override;
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD, LPOLESTR* out) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // --- IOleWindow (through IOleInPlaceObject and IOleInPlaceActiveObject) ---
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // --- IOleInPlaceObject ---
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // --- IOleInPlaceActiveObject ---
    STDMETHODIMP TranslateAccelerator(LPMSG message) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    // --- IOleControl ---
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // --- IViewObject, IViewObject2 ---
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                      HDC targetDc, HDC drawDc, LPCRECTL bounds, LPCRECTL windowBounds,
                      BOOL(STDMETHODCALLTYPE* keepGoing)(ULONG_PTR), ULONG_PTR) override;
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                             LOGPALETTE** colors) override;
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE*, LPSIZEL size) override;

    // --- IPersist, IPersistStreamInit (nothing is persisted: the settings live in the
    // registry) ---
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
    STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override { return S_OK; }

    // --- IProvideClassInfo, IProvideClassInfo2 ---
    STDMETHODIMP GetClassInfo(ITypeInfo** out) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // --- IQuickActivate ---
    STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
    STDMETHODIMP SetContentExtent(LPSIZEL size) override;
    STDMETHODIMP GetContentExtent(LPSIZEL size) override;

    // The owner of the plug-in's message boxes: the control's own window if it is one, else
    // the window of its in-place site, else none. Any thread.
    HWND messageBoxOwner() const;

private:
    ControlObject();
    ~ControlObject() override;

    // Activation in place inside the site's window; with ui, also UI activation.
    HRESULT activateInPlace(IOleClientSite* activeSite, HWND parent, LPCRECT position, bool ui);
    void moveTo(const RECT& position);
    // The extent in HIMETRIC units the panel needs, from its dialog units.
    SIZEL naturalExtent() const;

    SettingsPanel panel_;
    // The bridge: made with the object, destroyed before the panel (its seams point at it).
    std::unique_ptr<CTandravoleCtrl> ctrl_;

    platform::ComPtr<IOleClientSite> site_;
    platform::ComPtr<IOleInPlaceSite> inPlaceSite_; // while active in place
    platform::ComPtr<IOleInPlaceFrame> frame_;      // while UI active
    platform::ComPtr<IOleInPlaceUIWindow> document_;
    platform::ComPtr<IOleAdviseHolder> adviseHolder_;
    platform::ComPtr<IAdviseSink> viewSink_;
    DWORD viewAspects_ = 0;
    DWORD viewFlags_ = 0;
    bool uiActive_ = false;
    SIZEL extent_{}; // HIMETRIC; zero until the container sets one
    std::atomic<HWND> siteWindow_{nullptr};
};

} // namespace shell
