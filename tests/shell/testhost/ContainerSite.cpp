#include "tests/shell/testhost/ContainerSite.h"

namespace testhost {

namespace {

std::atomic<long> liveSites{0};

} // namespace

ContainerSite::ContainerSite(HWND window) : window_(window) {
    ++liveSites;
}

ContainerSite::~ContainerSite() {
    --liveSites;
}

long ContainerSite::live() {
    return liveSites;
}

platform::ComPtr<ContainerSite> ContainerSite::create(HWND window) {
    return platform::ComPtr<ContainerSite>::adopt(new ContainerSite(window));
}

STDMETHODIMP ContainerSite::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        found = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
        found = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
        found = static_cast<IOleInPlaceFrame*>(this);
    *out = found;
    if (!found)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP ContainerSite::GetMoniker(DWORD, DWORD, IMoniker** out) {
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ContainerSite::GetContainer(IOleContainer** out) {
    if (out)
        *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ContainerSite::GetWindow(HWND* window) {
    if (!window)
        return E_POINTER;
    *window = window_;
    return S_OK;
}

STDMETHODIMP ContainerSite::OnInPlaceDeactivate() {
    active_.reset();
    return S_OK;
}

STDMETHODIMP ContainerSite::GetWindowContext(IOleInPlaceFrame** frame,
                                             IOleInPlaceUIWindow** document, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !document || !position || !clip || !info)
        return E_POINTER;
    *frame = platform::ComPtr<IOleInPlaceFrame>(static_cast<IOleInPlaceFrame*>(this)).detach();
    *document = nullptr;
    GetClientRect(window_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP ContainerSite::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
    active_ = platform::ComPtr<IOleInPlaceActiveObject>(object);
    return S_OK;
}

} // namespace testhost
