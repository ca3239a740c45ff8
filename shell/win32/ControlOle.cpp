// The control inside its container: the client site, verbs and in-place activation (the
// panel as a child window of the site's window), extent, advise sinks, keyboard and the
// control information.
#include "shell/win32/ControlObject.h"

namespace shell {

namespace {

// Device pixels to HIMETRIC (0.01 mm) through the screen's resolution.
LONG pixelsToHimetric(LONG pixels, int dpi) {
    return MulDiv(pixels, 2540, dpi);
}

// The panel's size in dialog units, as dialog 104 has it.
constexpr int kPanelWidthDlu = 342;
constexpr int kPanelHeightDlu = 250;

} // namespace

SIZEL ControlObject::naturalExtent() const {
    // Dialog units of "MS Sans Serif" 8 pt: the dialog itself converts when it exists;
    // before that, the system's base units are near enough for a first layout.
    RECT box{0, 0, kPanelWidthDlu, kPanelHeightDlu};
    if (HWND dialog = panel_.window())
        MapDialogRect(dialog, &box);
    else {
        const LONG units = GetDialogBaseUnits();
        box.right = MulDiv(kPanelWidthDlu, LOWORD(units), 4);
        box.bottom = MulDiv(kPanelHeightDlu, HIWORD(units), 8);
    }
    HDC screen = GetDC(nullptr);
    const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return {pixelsToHimetric(box.right, dpiX), pixelsToHimetric(box.bottom, dpiY)};
}

STDMETHODIMP ControlObject::SetClientSite(IOleClientSite* site) {
    site_ = platform::ComPtr<IOleClientSite>(site);
    if (auto inPlace = site_.query<IOleInPlaceSite>()) {
        HWND window = nullptr;
        if (SUCCEEDED(inPlace->GetWindow(&window)))
            siteWindow_ = window;
    } else if (!site) {
        siteWindow_ = nullptr;
    }
    return S_OK;
}

STDMETHODIMP ControlObject::GetClientSite(IOleClientSite** site) {
    return site_.copyTo(site);
}

STDMETHODIMP ControlObject::Close(DWORD /*saveOption*/) {
    // Nothing to save: the settings live in the registry and change only through Apply.
    InPlaceDeactivate();
    if (adviseHolder_)
        adviseHolder_->SendOnClose();
    return S_OK;
}

STDMETHODIMP ControlObject::GetMoniker(DWORD, DWORD, IMoniker** out) {
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlObject::GetClipboardData(DWORD, IDataObject** out) {
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlObject::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent,
                                   LPCRECT position) {
    return host::comBoundary("activating the control", [&]() -> HRESULT {
        switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_UIACTIVATE:
            return activateInPlace(activeSite, parent, position, true);
        case OLEIVERB_INPLACEACTIVATE:
            return activateInPlace(activeSite, parent, position, false);
        case OLEIVERB_HIDE:
            UIDeactivate();
            panel_.hide();
            return S_OK;
        default:
            // No window of its own to open and no property pages: the panel is all.
            return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
        }
    });
}

HRESULT ControlObject::activateInPlace(IOleClientSite* activeSite, HWND parent, LPCRECT position,
                                       bool ui) {
    if (!inPlaceSite_) {
        platform::ComPtr<IOleClientSite> site =
            activeSite ? platform::ComPtr<IOleClientSite>(activeSite) : site_;
        auto inPlace = site.query<IOleInPlaceSite>();
        if (!inPlace)
            return E_NOINTERFACE;
        if (inPlace->CanInPlaceActivate() != S_OK)
            return E_FAIL;
        inPlace->OnInPlaceActivate();
        inPlaceSite_ = inPlace;
    }
    HWND window = parent;
    if (FAILED(inPlaceSite_->GetWindow(&window)) || !window)
        window = parent;
    if (!window)
        return E_FAIL;
    siteWindow_ = window;

    RECT where{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    platform::ComPtr<IOleInPlaceFrame> frame;
    platform::ComPtr<IOleInPlaceUIWindow> document;
    inPlaceSite_->GetWindowContext(frame.put(), document.put(), &where, &clip, &frameInfo);
    if (position)
        where = *position;
    if (!panel_.show(window, where))
        return E_FAIL;

    if (ui && !uiActive_) {
        uiActive_ = true;
        inPlaceSite_->OnUIActivate();
        frame_ = frame;
        document_ = document;
        if (frame_)
            frame_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), nullptr);
        if (document_)
            document_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), nullptr);
        SetFocus(panel_.window());
    }
    return S_OK;
}

STDMETHODIMP ControlObject::EnumVerbs(IEnumOLEVERB** out) {
    if (out)
        *out = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP ControlObject::GetUserClassID(CLSID* clsid) {
    return GetClassID(clsid);
}

STDMETHODIMP ControlObject::GetUserType(DWORD, LPOLESTR* out) {
    if (out)
        *out = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP ControlObject::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP ControlObject::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = extent_.cx > 0 && extent_.cy > 0 ? extent_ : naturalExtent();
    return S_OK;
}

STDMETHODIMP ControlObject::Advise(IAdviseSink* sink, DWORD* cookie) {
    if (!sink || !cookie)
        return E_POINTER;
    if (!adviseHolder_) {
        const HRESULT hr = CreateOleAdviseHolder(adviseHolder_.put());
        if (FAILED(hr))
            return hr;
    }
    return adviseHolder_->Advise(sink, cookie);
}

STDMETHODIMP ControlObject::Unadvise(DWORD cookie) {
    return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP ControlObject::EnumAdvise(IEnumSTATDATA** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return adviseHolder_ ? adviseHolder_->EnumAdvise(out) : S_OK;
}

STDMETHODIMP ControlObject::GetMiscStatus(DWORD, DWORD* status) {
    if (!status)
        return E_POINTER;
    *status = kMiscStatus;
    return S_OK;
}

STDMETHODIMP ControlObject::GetWindow(HWND* window) {
    if (!window)
        return E_POINTER;
    *window = panel_.window();
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP ControlObject::InPlaceDeactivate() {
    if (!inPlaceSite_)
        return S_OK;
    UIDeactivate();
    panel_.hide();
    platform::ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
    site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP ControlObject::UIDeactivate() {
    if (!uiActive_)
        return S_OK;
    uiActive_ = false;
    if (frame_)
        frame_->SetActiveObject(nullptr, nullptr);
    if (document_)
        document_->SetActiveObject(nullptr, nullptr);
    frame_.reset();
    document_.reset();
    if (inPlaceSite_)
        inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP ControlObject::SetObjectRects(LPCRECT position, LPCRECT /*clip*/) {
    if (!position)
        return E_POINTER;
    panel_.moveTo(*position);
    return S_OK;
}

STDMETHODIMP ControlObject::TranslateAccelerator(LPMSG message) {
    return panel_.translate(message) ? S_OK : S_FALSE;
}

STDMETHODIMP ControlObject::GetControlInfo(CONTROLINFO* info) {
    if (!info)
        return E_POINTER;
    // No mnemonics of its own: the panel's keys are handled inside it.
    info->cb = sizeof *info;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

} // namespace shell
