// The command line of tandravole-host.
#pragma once

#include "bridge/PluginSettings.h"
#include "mpdclient/Address.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace linuxhost {

constexpr const char* kUsage =
    "usage: tandravole-host [SETTINGS] [--player sim|mpd[://HOST[:PORT]]] [--library FILE.json]\n"
    "                       [--data-dir DIR] [--verbose]\n"
    "       tandravole-host --save-settings SETTINGS [--data-dir DIR]\n"
    "       tandravole-host --show-settings [--data-dir DIR]\n"
    "       tandravole-host --list-adapters | --version | --help\n"
    "\n"
    "Runs the remote-control server against a media player: a simulated one, or MPD.\n"
    "  --player sim       the simulated player with its demo library (the default)\n"
    "  --player mpd       the MPD at $MPD_HOST ([PASSWORD@]HOST) and $MPD_PORT, else\n"
    "                     127.0.0.1:6600; mpd://[PASSWORD@]HOST[:PORT] names one\n"
    "  --library FILE     the simulated player plays the library described in FILE (JSON);\n"
    "                     default: the demo library\n"
    "  --data-dir DIR     where settings and covers are kept\n"
    "                     (default: $XDG_CONFIG_HOME/tandravole, else ~/.config/tandravole)\n"
    "  --verbose          print connections, logins, takeovers, kicks and refused messages\n"
    "  --list-adapters    print the network adapters an app can reach this computer on, and exit\n"
    "  --version          print the version, and exit\n"
    "\n"
    "SETTINGS hold for this run only, unless --save-settings stores them:\n"
    "  --port N           listen on port N (0: any free port; stored default 19371)\n"
    "  --password TEXT    require this password (empty: none)\n"
    "  --bonjour on|off   advertise the server with DNS-SD (--no-bonjour: off)\n"
    "  --server on|off    run the server at all\n"
    "  --cover-quality low|medium|high   the size of the playing-now cover sent to the app\n"
    "  --update-check on|off             look for a newer version once a week\n"
    "  --allow-kick on|off               a second app may take the session over\n"
    "  --update-notice on|off            tell the app at login that a newer version exists\n"
    "  --save-settings    store the SETTINGS given (the others stay as stored), show them, exit\n"
    "  --show-settings    show the stored settings, and exit\n";

// Settings given on the command line; each one given replaces the stored one.
struct SettingsChange {
    std::optional<uint16_t> port;
    std::optional<std::string> password; // UTF-8; empty: no password
    std::optional<bool> enabled, bonjour, updateCheck, allowKick, sendUpdateNotification;
    std::optional<uint32_t> coverQuality; // 0 low, 1 medium, 2 high

    bool empty() const;
    void applyTo(PluginSettings& settings) const;
};

struct HostOptions {
    std::optional<mpdclient::Address> mpd; // the MPD to play; nothing: the simulated player
    SettingsChange settings;
    std::string libraryFile; // empty: the embedded demo library
    std::string dataDir;
    // This program's file, for the tandravole-remote command the start lines print; empty:
    // the one on the PATH.
    std::string programPath;
    bool verbose = false;
    bool listAdapters = false;
    bool showSettings = false;
    bool saveSettings = false;
    bool version = false;
    bool help = false;
};

// Reads the arguments (without the program name). On a mistake, returns nothing and sets
// `error` to one line saying what is wrong. `getenv` reads the environment (the default data
// folder, MPD_HOST and MPD_PORT).
std::optional<HostOptions> parseHostOptions(const std::vector<std::string>& args,
                                            const std::function<const char*(const char*)>& getenv,
                                            std::string& error);

// $XDG_CONFIG_HOME/tandravole when set and absolute, else $HOME/.config/tandravole; empty
// when neither is known.
std::string defaultDataDir(const std::function<const char*(const char*)>& getenv);

} // namespace linuxhost
