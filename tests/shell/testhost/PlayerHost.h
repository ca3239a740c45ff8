// The test host plays the player for the plug-in DLL: it makes the player's installation keys,
// registers the DLL, creates the control with CoCreateInstance, sites it and activates it in
// place in a window of its own, and calls Init through IDispatch with a root object whose
// objects are real COM objects over the simulated player. Its thread is the player's thread:
// it pumps the window messages, delivers the player's events and owns the control.
//
// Used by tandravole-testhost.exe (a server for apps on the Linux side) and by the DLL's
// tests. Every method runs on the thread that made the host.
#pragma once

#include "platform/win32/ComPtr.h"
#include "simhost/SimPlayer.h"
#include "tests/shell/testhost/ContainerSite.h"

#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testhost {

struct HostOptions {
    std::vector<std::u16string> installations = {u"Media Center 31"};
    uint16_t port = 19371;
    std::u16string password;
    bool allowKick = false;
};

class PlayerHost {
public:
    explicit PlayerHost(HostOptions options);
    ~PlayerHost();
    PlayerHost(const PlayerHost&) = delete;
    PlayerHost& operator=(const PlayerHost&) = delete;

    // The steps, in the order the player takes them.
    // Writes the installation keys and the plug-in's settings (port, password, kick; no update
    // check and no DNS-SD: tests never leave this machine).
    void prepareRegistry();
    HRESULT registerServer(); // loads Tandravole.dll beside the program, DllRegisterServer
    HRESULT createControl();  // CoCreateInstance, client site, InitNew, in-place activation
    HRESULT initControl();    // ITandravoleCtrl::Init(root), called by name through IDispatch
    // Releases the control as the player does (close, deactivate, site gone); returns the
    // count its last Release reported (0: it is gone).
    ULONG releaseControl();
    HRESULT canUnloadNow() const { return callExport("DllCanUnloadNow"); }
    HRESULT unregisterServer() const { return callExport("DllUnregisterServer"); }

    // Runs the player's thread: window messages, the player's own changes and events. Returns
    // once `done` holds (true) or timeoutMs passed (false), or at once for a null `done` after
    // one round.
    bool pumpUntil(const std::function<bool()>& done, uint32_t timeoutMs);

    // Whether a socket listens on the port (the system's table; nothing connects to it).
    bool serverListens() const;

    HWND frame() const { return frame_; }
    HWND panel() const; // the control's window (IOleWindow::GetWindow)
    HMODULE dll() const { return dll_; }
    simhost::SimPlayer& player() { return *player_; }
    IOleObject* control() const { return control_.get(); }
    uint16_t port() const { return options_.port; }

private:
    void runOnce(uint32_t maxWaitMs);
    HRESULT callExport(const char* name) const; // a DLL export taking nothing, or E_NOTIMPL

    HostOptions options_;
    std::unique_ptr<simhost::SimPlayer> player_;
    HMODULE dll_ = nullptr;
    HWND frame_ = nullptr;
    platform::ComPtr<ContainerSite> site_;
    platform::ComPtr<IOleObject> control_;
    platform::ComPtr<IDispatch> root_;
};

// Where Tandravole.dll is looked for: beside the running program.
std::u16string dllBesideProgram();

} // namespace testhost
