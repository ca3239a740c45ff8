// The control's identity (QueryInterface, references), its making and ending, and Init.
#include "shell/win32/ControlObject.h"

#include "common/Log.h"
#include "host/win32/DispatchObject.h"
#include "platform/Clock.h"
#include "services/dnssd/BonjourServiceThread.h"
#include "services/firewall/win32/FirewallWin32.h"
#include "services/power/SystemShutdownThread.h"
#include "services/power/win32/Win32PowerSystem.h"
#include "services/update/UpdateCheckThread.h"
#include "shell/win32/MessageBoxes.h"

namespace shell {

HRESULT ControlObject::create(REFIID iid, void** out) {
    return host::comBoundary("making the control", [&] {
        // The new object's own reference goes with `control`; the caller's, if any, is the one
        // QueryInterface takes.
        auto control = platform::ComPtr<IOleObject>::adopt(new ControlObject);
        return control->QueryInterface(iid, out);
    });
}

ControlObject::ControlObject() {
    bridge::ControlEnvironment environment;
    environment.panel = panel_.seam();
    environment.messageBoxes =
        std::make_unique<Win32MessageBoxes>([this] { return messageBoxOwner(); });
    environment.dnsSd = std::make_unique<services::dnssd::BonjourServiceThread>();
    environment.updateCheck =
        std::make_unique<services::update::UpdateCheckThread>(platform::systemClock());
    environment.powerActions = std::make_unique<services::power::SystemShutdownThread>(
        services::power::makeWin32PowerSystem());
    ctrl_ = std::make_unique<CTandravoleCtrl>(std::move(environment));
    panel_.setActions({
        [this] { ctrl_->ApplySettings(); },
        [this] { ctrl_->CheckForUpdateNow(); },
        [] { services::firewall::RequestFirewallRules(); },
    });
}

ControlObject::~ControlObject() {
    // A container that let go without deactivating: leave its window alone from here on.
    if (inPlaceSite_)
        InPlaceDeactivate();
    // The bridge first: it stops the server's threads (which may be calling the player) while
    // this thread keeps answering them, then closes its hidden window and lets the player go.
    ctrl_.reset();
}

STDMETHODIMP ControlObject::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ITandravoleCtrl)
        found = static_cast<ITandravoleCtrl*>(this);
    else if (iid == IID_IOleObject)
        found = static_cast<IOleObject*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
        found = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IOleInPlaceActiveObject)
        found = static_cast<IOleInPlaceActiveObject*>(this);
    else if (iid == IID_IOleControl)
        found = static_cast<IOleControl*>(this);
    else if (iid == IID_IViewObject || iid == IID_IViewObject2)
        found = static_cast<IViewObject2*>(this);
    else if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
        found = static_cast<IPersistStreamInit*>(this);
    else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2)
        found = static_cast<IProvideClassInfo2*>(this);
    else if (iid == IID_IQuickActivate)
        found = static_cast<IQuickActivate*>(this);
    *out = found;
    if (!found)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP ControlObject::Init(IDispatch* pDisp) {
    if (!pDisp)
        return E_POINTER;
    return host::comBoundary(
        "Init", [&] { return static_cast<HRESULT>(ctrl_->Init(host::wrapDispatch(pDisp))); });
}

HWND ControlObject::messageBoxOwner() const {
    if (HWND own = panel_.window(); own && IsWindow(own))
        return own;
    if (HWND site = siteWindow_; site && IsWindow(site))
        return site;
    return nullptr;
}

} // namespace shell
