#include "linuxhost/SettingsCommand.h"

#include "linuxhost/LinuxHost.h"
#include "platform/Registry.h"

#include <ctime>
#include <filesystem>
#include <system_error>

namespace linuxhost {

namespace {

const char* onOff(bool on) {
    return on ? "on" : "off";
}

// A Windows file time (100 ns since 1601) as a UTC date and time; "never" for 0.
std::string fileTimeText(uint64_t fileTime) {
    if (fileTime == 0)
        return "never";
    constexpr uint64_t kUnixEpoch = 116444736000000000ull; // 1970-01-01 as a file time
    if (fileTime < kUnixEpoch)
        return "before 1970";
    const std::time_t seconds = std::time_t((fileTime - kUnixEpoch) / 10000000);
    char text[32] = {};
    const std::tm* utc = std::gmtime(&seconds);
    if (!utc || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", utc))
        return "unreadable";
    return text;
}

} // namespace

std::string describeSettings(const PluginSettings& s) {
    static const char* const kQuality[] = {"low", "medium", "high"};
    return std::string("  --server ") + onOff(s.enabled) + "\n" + "  --port " +
           std::to_string(s.port) + "\n" + "  --password " +
           (s.password.empty() ? "(none)" : "(set)") + "\n" + "  --bonjour " + onOff(s.bonjour) +
           "\n" + "  --cover-quality " + kQuality[s.coverQuality <= 2 ? s.coverQuality : 2] + "\n" +
           "  --update-check " + onOff(s.updateCheck) + "\n" + "  --allow-kick " +
           onOff(s.allowKick) + "\n" + "  --update-notice " + onOff(s.sendUpdateNotification) +
           "\n" + "  last update check: " + fileTimeText(s.lastUpdateCheck) + "\n" +
           "  newer version found: " + (s.haveUpdateNotification ? "yes" : "no") + "\n";
}

int runSettingsCommand(const HostOptions& options, std::ostream& out, std::ostream& err) {
    const std::filesystem::path file = std::filesystem::path(options.dataDir) / kSettingsFileName;
    platform::setRegistryStoreFile(file.string());
    if (std::string problem = platform::registryStoreProblem(); !problem.empty())
        err << "tandravole-host: " << problem << "\n";
    PluginSettings settings;
    LoadSettings(settings);
    if (options.saveSettings) {
        // The panel's Apply: the whole record written at once; what the command line does not
        // name stays as it was stored.
        options.settings.applyTo(settings);
        SaveSettings(settings);
        PluginSettings stored;
        LoadSettings(stored);
        if (stored != settings) {
            err << "tandravole-host: could not store the settings in " << file.string()
                << " (is its folder writable?)\n";
            return kExitStartFailed;
        }
        out << "stored in " << file.string() << ":\n";
    } else {
        out << "stored in " << file.string()
            << (std::filesystem::exists(file) ? ":\n" : " (not written yet: the defaults):\n");
    }
    out << describeSettings(settings);
    return kExitOk;
}

} // namespace linuxhost
