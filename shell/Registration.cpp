#include "shell/Registration.h"

#include "bridge/PluginSettings.h"
#include "common/Log.h"
#include "services/update/UpdateCheck.h"
#include "shell/Product.h"

using platform::RegistryKey;
using platform::RegistryRoot;

namespace shell {
namespace {

// The script and the type library, registered or removed, under the system-default locale.
int32_t runComStep(ComRegistration& com, RegistrarMode mode) {
    uint32_t saved = com.threadLocale();
    com.setThreadLocale(kSystemDefaultLocale);
    RegistrarResult script{false, "the registration script could not be loaded"};
    if (std::optional<std::string> text = com.registrationScript()) {
        RegistrarReplacements replacements = com.moduleReplacements();
        replacements[u"APPID"] = kAppId;
        script = runRegistrationScript(*text, mode, replacements);
    }
    if (!script.ok)
        logEvent(LogKind::Error, "registration script: " + script.error);
    int32_t result = kResultFailed;
    if (mode == RegistrarMode::Register) {
        if (script.ok)
            result = com.registerTypeLibrary();
    } else {
        int32_t library = com.unregisterTypeLibrary();
        if (script.ok)
            result = library;
    }
    com.setThreadLocale(saved);
    return result;
}

void writePluginValues(RegistryKey& key, uint32_t fileVersion) {
    key.writeString(u"CLSID", kControlClassId);
    key.writeDword(u"IVersion", 1);
    key.writeString(u"Company", kCompany);
    key.writeString(u"Version", PluginVersionText(fileVersion));
    key.writeString(u"URL", services::update::webSiteAddress());
    key.writeString(u"Copyright", kCopyright);
    key.writeDword(u"PluginMode", 1);
}

void removeMachineKey() {
    RegistryKey key;
    if (!key.open(RegistryRoot::LocalMachine, kMachineKeyPath))
        return;
    std::u16string sub;
    while (key.enumSubKey(0, sub) == platform::RegistryEnum::Ok)
        if (!platform::deleteRegistryTree(RegistryRoot::LocalMachine,
                                          std::u16string(kMachineKeyPath) + u"\\" + sub))
            return;
    key.close();
    if (platform::deleteRegistryKey(RegistryRoot::LocalMachine, kMachineKeyPath))
        platform::deleteRegistryKey(RegistryRoot::LocalMachine, kMachineKeyParentPath);
}

void removeUserSettings() {
    RegistryKey key;
    if (!key.open(RegistryRoot::CurrentUser, kSettingsKeyPath, true))
        return;
    for (std::u16string_view name : kSettingsValueNames)
        key.deleteValue(name);
    key.close();
    platform::deleteEmptyRegistryKey(RegistryRoot::CurrentUser, kSettingsKeyPath);
}

} // namespace

std::vector<std::u16string> PlayerInstallations() {
    std::vector<std::u16string> names;
    RegistryKey key;
    if (!key.open(RegistryRoot::LocalMachine, kInstallationsKeyPath))
        return names;
    std::u16string name;
    for (uint32_t i = 0; key.enumSubKey(i, name) == platform::RegistryEnum::Ok; ++i)
        if (name.size() <= kMaxInstallationName)
            names.push_back(name);
    return names;
}

std::u16string PluginKeyPath(std::u16string_view installation) {
    return u"Software\\J. River\\" + std::u16string(installation) +
           u"\\Plugins\\Interface\\Tandravole";
}

int32_t RegisterPlugin(ComRegistration& com, uint32_t fileVersion) {
    std::vector<std::u16string> installations = PlayerInstallations();
    if (installations.empty())
        return kResultUnexpected;
    for (const std::u16string& installation : installations) {
        RegistryKey key;
        if (key.create(RegistryRoot::LocalMachine, PluginKeyPath(installation)))
            writePluginValues(key, fileVersion);
    }
    return runComStep(com, RegistrarMode::Register);
}

int32_t UnregisterPlugin(ComRegistration& com) {
    for (const std::u16string& installation : PlayerInstallations())
        platform::deleteRegistryTree(RegistryRoot::LocalMachine, PluginKeyPath(installation));
    removeMachineKey();
    removeUserSettings();
    return runComStep(com, RegistrarMode::Unregister);
}

} // namespace shell
