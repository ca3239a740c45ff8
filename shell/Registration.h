// What DllRegisterServer and DllUnregisterServer do, over the registry seam. Registration makes
// the plug-in known to COM (the "REGISTRY" script run by the registrar, and the type library)
// and to every installation of the player, which lists interface plug-ins under its own key;
// unregistration removes both and the user's settings. What only Windows can do (the thread's
// locale, the module's resources and path, the type library) comes through ComRegistration,
// so the whole sequence also runs natively against the file-backed registry and a fake.
#pragma once

#include "shell/Registrar.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

// The HRESULTs the two entries return (the numbers of S_OK, E_FAIL and E_UNEXPECTED).
inline constexpr int32_t kResultOk = 0;
inline constexpr int32_t kResultFailed = static_cast<int32_t>(0x80004005);
inline constexpr int32_t kResultUnexpected = static_cast<int32_t>(0x8000FFFF);

// The script's replacement for APPID.
inline constexpr char16_t kAppId[] = u"{6074938c-fcde-4324-aaa7-f0fdfe563cd4}";
// LOCALE_SYSTEM_DEFAULT: the thread's locale while the script and the type library run.
inline constexpr uint32_t kSystemDefaultLocale = 0x0800;

// HKEY_LOCAL_MACHINE: the player's installations are the subkeys of this key.
inline constexpr char16_t kInstallationsKeyPath[] =
    u"SOFTWARE\\J. River\\Media Core\\Installations";
// HKEY_LOCAL_MACHINE: the machine-wide key that unregistration removes with what it holds.
inline constexpr char16_t kMachineKeyPath[] = u"Software\\Tandravole\\MediaCenter";
inline constexpr char16_t kMachineKeyParentPath[] = u"Software\\Tandravole";
// Installation names longer than this are no registry key names; they are left out.
inline constexpr size_t kMaxInstallationName = 255;

// The Windows side of COM registration. Results are HRESULTs.
class ComRegistration {
public:
    virtual ~ComRegistration() = default;
    virtual uint32_t threadLocale() = 0;
    virtual void setThreadLocale(uint32_t locale) = 0;
    // The bytes of the module's "REGISTRY" resource 103; nothing when it cannot be loaded.
    virtual std::optional<std::string> registrationScript() = 0;
    // The module's own replacements for the script (MODULE: its full path); APPID is added.
    virtual RegistrarReplacements moduleReplacements() = 0;
    virtual int32_t registerTypeLibrary() = 0;
    virtual int32_t unregisterTypeLibrary() = 0;
};

// The names of the player's installations (the subkeys of kInstallationsKeyPath under
// HKEY_LOCAL_MACHINE) in enumeration order; none when the key is missing.
std::vector<std::u16string> PlayerInstallations();

// "Software\J. River\<installation>\Plugins\Interface\Tandravole", under HKEY_LOCAL_MACHINE.
std::u16string PluginKeyPath(std::u16string_view installation);

// Registers the plug-in. Without any installation of the player: kResultUnexpected, and
// nothing is written at all. Otherwise each installation's plug-in key gets, in this order,
// CLSID, IVersion 1, Company, Version (PluginVersionText of `fileVersion`), URL (the web
// site's https address), Copyright, PluginMode 1; an installation whose key cannot be made is
// skipped and single writes are not checked. Then, under the system-default thread locale
// (the caller's restored afterwards), the script is registered with the module's replacements
// and APPID and, when that succeeded, the type library. The result is that last step's:
// kResultFailed when the script did not load or run (its error goes to the event log),
// otherwise the type library's.
int32_t RegisterPlugin(ComRegistration& com, uint32_t fileVersion);

// Unregisters the plug-in; missing keys are skipped silently:
// 1. each installation's "Plugins\Interface" loses its "Tandravole" key and all below it;
// 2. kMachineKeyPath: its subkeys are deleted one at a time (always the first remaining one,
//    each with all below it); when one cannot be deleted the key stays, otherwise it goes,
//    and then kMachineKeyParentPath too unless it has other subkeys;
// 3. the ten settings values under HKEY_CURRENT_USER kSettingsKeyPath are deleted, then the
//    key itself only when nothing else is left in it;
// 4. the script in removal mode and the type library, under the system-default locale.
// The result is step 4's: kResultFailed when the script did not load or run, otherwise the
// type library's; the earlier steps do not change it.
int32_t UnregisterPlugin(ComRegistration& com);

} // namespace shell
