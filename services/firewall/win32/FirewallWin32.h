// The firewall rules on Windows: the seams of FirewallApi.h over INetFwPolicy2,
// INetFwRules and INetFwRule, FindFirstFileW and MessageBoxW, and the entry points: the panel's
// RequestFirewallRules and the exported AddFirewallRules that rundll32 runs elevated.
//
// AddFirewallRules is exported by the plug-in DLL's module-definition file (shell/), under
// that exact name; it sits in the same object as RequestFirewallRules, so the panel's use of
// the one keeps the other in the link.
#pragma once

#include "services/firewall/FirewallApi.h"

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

namespace services::firewall {

// CoCreateInstance of the firewall classes; the calling thread must have COM initialised.
std::unique_ptr<FirewallApi> systemFirewallApi();
// MessageBoxW with MB_OK and the icon's flag.
std::unique_ptr<FirewallBox> systemFirewallBox();
// GetCurrentDirectoryW, FindFirstFileW / FindNextFileW, CoInitializeEx / CoUninitialize.
std::unique_ptr<FirewallProcess> systemFirewallProcess();

// The portable AddApplicationFirewallRules over the system's firewall and MessageBoxW.
void AddApplicationFirewallRules(std::u16string_view path, HWND owner, std::u16string_view appName);

// The process's own executable path and the path of the module this code is linked into (the
// plug-in DLL); empty when it cannot be read.
std::u16string processExecutablePath();
std::u16string thisModulePath();

// The panel's button (player's thread): ShellExecuteExW "runas" "cmd.exe" with the parameters
// of firewallRequestLaunch. The outcome is not examined.
void RequestFirewallRules();

} // namespace services::firewall

// The exported function rundll32 calls (owner window, instance, command line, show state):
// services::firewall::AddFirewallRules over the system, with the owner window. Nothing
// escapes it: an exception is written to the log and the call ends.
extern "C" void CALLBACK AddFirewallRules(HWND owner, HINSTANCE instance, LPSTR commandLine,
                                          int show);
