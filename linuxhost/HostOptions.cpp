#include "linuxhost/HostOptions.h"

#include "common/Utf.h"

#include <charconv>
#include <utility>

namespace linuxhost {

bool SettingsChange::empty() const {
    return !port && !password && !enabled && !bonjour && !updateCheck && !allowKick &&
           !sendUpdateNotification && !coverQuality;
}

void SettingsChange::applyTo(PluginSettings& s) const {
    if (port)
        s.port = *port;
    if (password)
        s.password = utf8ToUtf16(*password);
    const std::pair<const std::optional<bool>&, bool&> switches[] = {
        {enabled, s.enabled},
        {bonjour, s.bonjour},
        {updateCheck, s.updateCheck},
        {allowKick, s.allowKick},
        {sendUpdateNotification, s.sendUpdateNotification}};
    for (const auto& [given, field] : switches)
        if (given)
            field = *given;
    if (coverQuality)
        s.coverQuality = *coverQuality;
}

std::string defaultDataDir(const std::function<const char*(const char*)>& getenv) {
    const char* xdg = getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/tandravole";
    const char* home = getenv("HOME");
    if (home && home[0])
        return std::string(home) + "/.config/tandravole";
    return {};
}

std::optional<HostOptions> parseHostOptions(const std::vector<std::string>& args,
                                            const std::function<const char*(const char*)>& getenv,
                                            std::string& error) {
    HostOptions options;
    SettingsChange& settings = options.settings;
    bool dataDirGiven = false;
    std::string notASetting; // an option that only a run takes
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        // One of the words `names` (their index in `out`), or a mistake naming them all.
        auto choice = [&](std::initializer_list<const char*> names, uint32_t& out) {
            std::string text;
            if (!value(text))
                return false;
            std::string list;
            uint32_t index = 0;
            for (const char* name : names) {
                if (text == name) {
                    out = index;
                    return true;
                }
                list +=
                    (index ? (index + 1 == names.size() ? " or " : ", ") : "") + std::string(name);
                ++index;
            }
            error = arg + " takes " + list + ", not \"" + text + "\"";
            return false;
        };
        auto onOff = [&](std::optional<bool>& out) {
            uint32_t index = 0;
            if (!choice({"on", "off"}, index))
                return false;
            out = index == 0;
            return true;
        };
        std::string text;
        uint32_t index = 0;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
            notASetting = arg;
        } else if (arg == "--list-adapters") {
            options.listAdapters = true;
            notASetting = arg;
        } else if (arg == "--show-settings") {
            options.showSettings = true;
        } else if (arg == "--save-settings") {
            options.saveSettings = true;
        } else if (arg == "--no-bonjour") {
            settings.bonjour = false;
        } else if (arg == "--bonjour") {
            ok = onOff(settings.bonjour);
        } else if (arg == "--server") {
            ok = onOff(settings.enabled);
        } else if (arg == "--update-check") {
            ok = onOff(settings.updateCheck);
        } else if (arg == "--allow-kick") {
            ok = onOff(settings.allowKick);
        } else if (arg == "--update-notice") {
            ok = onOff(settings.sendUpdateNotification);
        } else if (arg == "--cover-quality") {
            ok = choice({"low", "medium", "high"}, index);
            settings.coverQuality = index;
        } else if (arg == "--port") {
            if (!value(text))
                return std::nullopt;
            unsigned port = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
            if (ec != std::errc() || end != text.data() + text.size() || port > 65535) {
                error = "--port takes a number from 0 to 65535, not \"" + text + "\"";
                return std::nullopt;
            }
            settings.port = static_cast<uint16_t>(port);
        } else if (arg == "--player") {
            if (!value(text))
                return std::nullopt;
            if (text == "sim") {
                options.mpd.reset();
            } else {
                options.mpd = mpdclient::parseAddress(text, getenv, error);
                if (!options.mpd) {
                    error = "--player: " + error;
                    return std::nullopt;
                }
            }
            notASetting = arg;
        } else if (arg == "--password") {
            ok = value(text);
            settings.password = text;
        } else if (arg == "--library") {
            if (!value(options.libraryFile))
                return std::nullopt;
            if (options.libraryFile.empty()) {
                error = "--library needs a file name";
                return std::nullopt;
            }
            notASetting = arg;
        } else if (arg == "--data-dir") {
            if (!value(options.dataDir))
                return std::nullopt;
            if (options.dataDir.empty()) {
                error = "--data-dir needs a folder name";
                return std::nullopt;
            }
            dataDirGiven = true;
        } else {
            error = "unknown argument \"" + arg + "\"";
            return std::nullopt;
        }
        if (!ok)
            return std::nullopt;
    }
    if (options.mpd && !options.libraryFile.empty()) {
        error = "--library is for the simulated player; MPD plays its own library";
        return std::nullopt;
    }
    if (options.showSettings && options.saveSettings) {
        error = "--save-settings shows what it stored; --show-settings is not needed with it";
        return std::nullopt;
    }
    if ((options.showSettings || options.saveSettings) && !notASetting.empty()) {
        error = notASetting + " belongs to a run, not to " +
                (options.showSettings ? "--show-settings" : "--save-settings");
        return std::nullopt;
    }
    if (options.showSettings && !settings.empty()) {
        error = "--show-settings takes no settings; give them with --save-settings to store them";
        return std::nullopt;
    }
    if (options.saveSettings && settings.empty()) {
        error = "--save-settings needs the settings to store (--port, --password, ...)";
        return std::nullopt;
    }
    if (!dataDirGiven && !options.help && !options.version && !options.listAdapters) {
        options.dataDir = defaultDataDir(getenv);
        if (options.dataDir.empty()) {
            error = "no data folder: set HOME or XDG_CONFIG_HOME, or give --data-dir";
            return std::nullopt;
        }
    }
    return options;
}

} // namespace linuxhost
