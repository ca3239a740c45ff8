#include "linuxhost/HostOptions.h"

#include <charconv>

namespace linuxhost {

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
    bool dataDirGiven = false;
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
        std::string text;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
        } else if (arg == "--no-bonjour") {
            options.noBonjour = true;
        } else if (arg == "--list-adapters") {
            options.listAdapters = true;
        } else if (arg == "--port") {
            if (!value(text))
                return std::nullopt;
            unsigned port = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
            if (ec != std::errc() || end != text.data() + text.size() || port > 65535) {
                error = "--port takes a number from 0 to 65535, not \"" + text + "\"";
                return std::nullopt;
            }
            options.port = static_cast<uint16_t>(port);
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
        } else if (arg == "--password") {
            if (!value(text))
                return std::nullopt;
            options.password = text;
        } else if (arg == "--library") {
            if (!value(options.libraryFile))
                return std::nullopt;
            if (options.libraryFile.empty()) {
                error = "--library needs a file name";
                return std::nullopt;
            }
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
    }
    if (options.mpd && !options.libraryFile.empty()) {
        error = "--library is for the simulated player; MPD plays its own library";
        return std::nullopt;
    }
    if (!dataDirGiven && !options.help && !options.listAdapters) {
        options.dataDir = defaultDataDir(getenv);
        if (options.dataDir.empty()) {
            error = "no data folder: set HOME or XDG_CONFIG_HOME, or give --data-dir";
            return std::nullopt;
        }
    }
    return options;
}

} // namespace linuxhost
