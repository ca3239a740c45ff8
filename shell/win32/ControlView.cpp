// The control as a picture and as a persistent object: drawing when the container asks for a
// picture (the panel's window draws itself while active), the view's advise sink, the class
// and its type information, and quick activation.
#include "shell/win32/ControlObject.h"

namespace shell {

namespace {

constexpr wchar_t kTitle[] = L"Tandravole 4 MediaCenter";

} // namespace

STDMETHODIMP ControlObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc,
                                 LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                 ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!drawDc || !bounds)
        return E_INVALIDARG;
    RECT area{bounds->left, bounds->top, bounds->right, bounds->bottom};
    HWND window = panel_.window();
    // An active panel paints itself; a picture of it is its window printed, else a plain
    // face with the product's name (a container's design view).
    if (window && IsWindowVisible(window) && PrintWindow(window, drawDc, PW_CLIENTONLY) != FALSE)
        return S_OK;
    FillRect(drawDc, &area, GetSysColorBrush(COLOR_BTNFACE));
    FrameRect(drawDc, &area, GetSysColorBrush(COLOR_BTNSHADOW));
    SetBkMode(drawDc, TRANSPARENT);
    DrawTextW(drawDc, kTitle, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return S_OK;
}

STDMETHODIMP ControlObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                        LOGPALETTE** colors) {
    if (colors)
        *colors = nullptr;
    return S_FALSE; // no palette of its own
}

STDMETHODIMP ControlObject::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    viewSink_ = platform::ComPtr<IAdviseSink>(sink);
    viewAspects_ = aspects;
    viewFlags_ = flags;
    return S_OK;
}

STDMETHODIMP ControlObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects)
        *aspects = viewAspects_;
    if (flags)
        *flags = viewFlags_;
    return sink ? viewSink_.copyTo(sink) : S_OK;
}

STDMETHODIMP ControlObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

STDMETHODIMP ControlObject::GetClassID(CLSID* clsid) {
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_TandravoleCtrl;
    return S_OK;
}

STDMETHODIMP ControlObject::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size)
        return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

STDMETHODIMP ControlObject::GetClassInfo(ITypeInfo** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    platform::ComPtr<ITypeLib> library = moduleTypeLibrary();
    if (!library)
        return E_UNEXPECTED;
    return library->GetTypeInfoOfGuid(CLSID_TandravoleCtrl, out);
}

STDMETHODIMP ControlObject::GetGUID(DWORD kind, GUID* guid) {
    if (!guid)
        return E_POINTER;
    *guid = GUID_NULL;
    // The control raises no events of its own: it has no outgoing interface to name.
    return kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID ? E_NOTIMPL : E_INVALIDARG;
}

STDMETHODIMP ControlObject::QuickActivate(QACONTAINER* container, QACONTROL* control) {
    if (!container || !control)
        return E_POINTER;
    if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL))
        return E_INVALIDARG;
    SetClientSite(container->pClientSite);
    if (container->pAdviseSink)
        SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    control->dwMiscStatus = kMiscStatus;
    control->dwViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    control->dwEventCookie = 0;
    control->dwPropNotifyCookie = 0;
    control->dwPointerActivationPolicy = 0;
    return S_OK;
}

STDMETHODIMP ControlObject::SetContentExtent(LPSIZEL size) {
    return SetExtent(DVASPECT_CONTENT, size);
}

STDMETHODIMP ControlObject::GetContentExtent(LPSIZEL size) {
    return GetExtent(DVASPECT_CONTENT, size);
}

} // namespace shell
