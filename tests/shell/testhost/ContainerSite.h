// The player's side of hosting the control: one COM object that is the control's client site,
// in-place site and in-place frame inside a window of the test host's own, as the player's page
// is for the real plug-in. It counts among host::liveComObjects().
#pragma once

#include "host/win32/ComObject.h"
#include "platform/win32/ComPtr.h"

#include <ole2.h>
#include <windows.h>

namespace testhost {

class ContainerSite final
    : public host::ComObject<IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame> {
public:
    // A site for controls shown in `window` (the control fills its client area).
    static platform::ComPtr<ContainerSite> create(HWND window) {
        return platform::ComPtr<ContainerSite>::adopt(new ContainerSite(window));
    }

    // The control that is UI-active (it gets the keyboard first), or null.
    IOleInPlaceActiveObject* activeObject() const { return active_.get(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override { return none(out, E_NOTIMPL); }
    STDMETHODIMP GetContainer(IOleContainer** out) override { return none(out, E_NOINTERFACE); }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override {
        return window ? (*window = window_, S_OK) : E_POINTER;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !document || !position || !clip || !info)
            return E_POINTER;
        *frame = platform::ComPtr<IOleInPlaceFrame>(static_cast<IOleInPlaceFrame*>(this)).detach();
        *document = nullptr;
        GetClientRect(window_, position);
        *clip = *position;
        *info = OLEINPLACEFRAMEINFO{sizeof *info, FALSE, window_, nullptr, 0};
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override {
        active_.reset();
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow, IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        active_ = platform::ComPtr<IOleInPlaceActiveObject>(object);
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    explicit ContainerSite(HWND window) : window_(window) {}
    template <class T> static HRESULT none(T** out, HRESULT hr) {
        if (out)
            *out = nullptr;
        return hr;
    }

    HWND window_;
    platform::ComPtr<IOleInPlaceActiveObject> active_;
};

} // namespace testhost
