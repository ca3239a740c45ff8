// The command line of tandravole-host.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace linuxhost {

constexpr const char* kUsage =
    "usage: tandravole-host [--port N] [--password TEXT] [--library FILE.json]\n"
    "                       [--data-dir DIR] [--verbose]\n"
    "\n"
    "Runs the remote-control server against a simulated media player.\n"
    "  --port N           listen on port N for this run (0: any free port)\n"
    "  --password TEXT    require this password for this run (empty: none)\n"
    "  --library FILE     play the library described in FILE (JSON); default: the demo library\n"
    "  --data-dir DIR     where settings and covers are kept\n"
    "                     (default: $XDG_CONFIG_HOME/tandravole, else ~/.config/tandravole)\n"
    "  --verbose          print connections, logins, takeovers, kicks and refused messages\n";

struct HostOptions {
    std::optional<uint16_t> port;        // overrides the stored setting for this run
    std::optional<std::string> password; // UTF-8; overrides the stored setting for this run
    std::string libraryFile;             // empty: the embedded demo library
    std::string dataDir;
    bool verbose = false;
    bool help = false;
};

// Reads the arguments (without the program name). On a mistake, returns nothing and sets
// `error` to one line saying what is wrong. `getenv` reads the environment (for the default
// data directory).
std::optional<HostOptions> parseHostOptions(const std::vector<std::string>& args,
                                            const std::function<const char*(const char*)>& getenv,
                                            std::string& error);

// $XDG_CONFIG_HOME/tandravole when set and absolute, else $HOME/.config/tandravole; empty
// when neither is known.
std::string defaultDataDir(const std::function<const char*(const char*)>& getenv);

} // namespace linuxhost
