// tandravole-remote: the command line over RemoteClient. Parsing is separate from running so
// both can be tested; running writes results to `out` and messages to `err` and returns the
// process exit code.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace remote {

enum ExitCode : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1,  // the server had nothing (no cover, nothing found) or refused
    EXIT_USAGE = 2,   // bad command line
    EXIT_CONNECT = 3, // connection refused, unreachable, or no greeting
    EXIT_LOGIN = 4,   // wrong password
    EXIT_TIMEOUT = 5, // the server did not answer in time
    EXIT_CLOSED = 6,  // the server closed the connection
    EXIT_FILE = 7,    // the output file could not be written
};

struct CliOptions {
    std::string host = "127.0.0.1";
    uint16_t port = 19371;
    std::string password;
    bool json = false;
    bool help = false;
    bool version = false; // print the version and exit
    uint32_t timeoutMs = 5000;
    uint8_t keepaliveSeconds = 0;

    std::string command;
    std::vector<std::string> args; // positional arguments after the command

    // Command options.
    std::optional<std::string> genre, artist, album, composer;
    uint16_t coverSize = 200;
    std::string output;
    std::optional<uint32_t> count;   // watch
    std::optional<uint32_t> seconds; // watch
    std::string then = "stop";       // sleep-timer action
};

struct ParseResult {
    bool ok = false;
    std::string error; // when not ok
    CliOptions options;
};

// args excludes the program name.
ParseResult parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

int runCli(const CliOptions& options, std::ostream& out, std::ostream& err);

// parse + run, for main and tests.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace remote
