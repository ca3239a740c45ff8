// The test host plays the player for the plug-in DLL: it makes the player's installation keys,
// registers the DLL, creates the control with CoCreateInstance, sites it and activates it in
// place in a window of its own, and calls Init through IDispatch with a root object whose
// objects are real COM objects over the simulated player. Its thread is the player's thread:
// it pumps the window messages, delivers the player's events and owns the control. Used by
// tandravole-testhost.exe and by the DLL's tests; every method runs on the thread that made it.
#pragma once

#include "platform/win32/ComPtr.h"
#include "simhost/SimPlayer.h"

#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace testhost {

struct HostOptions {
    uint16_t port = 19371; // 0: a free one
    std::u16string password;
    bool allowKick = false;
};

class PlayerHost {
public:
    explicit PlayerHost(HostOptions options);
    ~PlayerHost();
    PlayerHost(const PlayerHost&) = delete;
    PlayerHost& operator=(const PlayerHost&) = delete;

    // The installation "Media Center 31" and the plug-in's settings (port, password, kick; no
    // update check and no DNS-SD: tests never leave this machine), then Tandravole.dll beside
    // the program loaded and its DllRegisterServer.
    HRESULT registerServer();
    // CoCreateInstance, client site, InitNew, in-place activation, then Init(root) called by
    // name through IDispatch, and the player's thread run until the control's server listens.
    HRESULT startControl();
    // Releases the control as the player does (close, deactivate, site gone); returns the
    // count its last Release reported (0: it is gone).
    ULONG releaseControl();
    HRESULT canUnloadNow() const { return callExport("DllCanUnloadNow"); }
    HRESULT unregisterServer() const { return callExport("DllUnregisterServer"); }

    // Runs the player's thread (window messages, the player's own changes and events) until
    // `done` holds (true) or timeoutMs passed (false).
    bool pumpUntil(const std::function<bool()>& done, uint32_t timeoutMs);

    HWND frame() const { return frame_; }
    HWND panel() const; // the control's window (IOleWindow::GetWindow)
    HMODULE dll() const { return dll_; }
    simhost::SimPlayer& player() { return *player_; }
    IOleObject* control() const { return control_.get(); }
    uint16_t port() const { return options_.port; }

private:
    bool serverListens() const; // the system's table: nothing connects, no session is taken
    HRESULT callExport(const char* name) const; // a DLL export taking nothing, or E_NOTIMPL

    HostOptions options_;
    std::unique_ptr<simhost::SimPlayer> player_;
    HMODULE dll_ = nullptr;
    HWND frame_ = nullptr;
    platform::ComPtr<IOleClientSite> site_;
    platform::ComPtr<IOleObject> control_;
    platform::ComPtr<IDispatch> root_;
};

// Where Tandravole.dll is looked for: beside the running program.
std::u16string dllBesideProgram();

} // namespace testhost
