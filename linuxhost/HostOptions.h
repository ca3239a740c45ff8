// The command line of tandravole-host.
#pragma once

#include "mpdclient/Address.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace linuxhost {

constexpr const char* kUsage =
    "usage: tandravole-host [--player sim|mpd[://HOST[:PORT]]] [--port N] [--password TEXT]\n"
    "                       [--library FILE.json] [--data-dir DIR] [--no-bonjour] [--verbose]\n"
    "       tandravole-host --list-adapters\n"
    "\n"
    "Runs the remote-control server against a media player: a simulated one, or MPD.\n"
    "  --player sim       the simulated player with its demo library (the default)\n"
    "  --player mpd       the MPD at $MPD_HOST ([PASSWORD@]HOST) and $MPD_PORT, else\n"
    "                     127.0.0.1:6600; mpd://[PASSWORD@]HOST[:PORT] names one\n"
    "  --port N           listen on port N for this run (0: any free port)\n"
    "  --password TEXT    require this password for this run (empty: none)\n"
    "  --library FILE     the simulated player plays the library described in FILE (JSON);\n"
    "                     default: the demo library\n"
    "  --data-dir DIR     where settings and covers are kept\n"
    "                     (default: $XDG_CONFIG_HOME/tandravole, else ~/.config/tandravole)\n"
    "  --no-bonjour       do not advertise the server with DNS-SD for this run\n"
    "  --verbose          print connections, logins, takeovers, kicks and refused messages\n"
    "  --list-adapters    print the network adapters an app can reach this computer on, and exit\n";

struct HostOptions {
    std::optional<mpdclient::Address> mpd; // the MPD to play; nothing: the simulated player
    std::optional<uint16_t> port;          // overrides the stored setting for this run
    std::optional<std::string> password;   // UTF-8; overrides the stored setting for this run
    std::string libraryFile;               // empty: the embedded demo library
    std::string dataDir;
    bool noBonjour = false; // no DNS-SD registration for this run (the setting stays)
    bool verbose = false;
    bool listAdapters = false;
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
