// The command line's two tables: every command (name, argument count, help lines, the check
// made before connecting, the handler) and every option (spellings, value, help, setter).
// Parsing, --help and running all read these tables, so a command or an option is one entry.
#pragma once

#include "client/Cli.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace remote {

class CliSession;

// One line of --help: how the command is typed and what it does. A synopsis that starts with
// '-' is an option of the command above it and is indented under it; '\n' in the text starts
// a continuation line.
struct HelpLine {
    const char* synopsis;
    const char* text;
};

struct Command {
    const char* name;
    int minArgs;
    int maxArgs; // -1: any number
    // Empty when an earlier command's line documents this one too ("next | prev").
    std::vector<HelpLine> help;
    // The arguments' and options' check, made before connecting: an error text, or empty.
    std::string (*check)(const CliOptions& options);
    // Runs the command on a logged-in session; returns the exit code.
    int (*run)(CliSession& session);
};

// In the order --help lists them.
const std::vector<Command>& commandTable();
// The command of that name, or null.
const Command* findCommand(std::string_view name);

struct Option {
    const char* name;  // "--port"
    const char* alias; // another spelling ("-o"), or null
    const char* value; // the value's placeholder in --help; null for a switch
    // Null for a command option: the command's help lines show it.
    const char* help;
    // Stores the value; an error text, or empty.
    std::string (*apply)(CliOptions& options, const std::string& value);
};

const std::vector<Option>& optionTable();

// Decimal digits only, at most `maximum`.
bool parseUnsigned(const std::string& text, uint64_t maximum, uint64_t& out);
// "90", "1:30" or "1:02:03" as milliseconds (at most 0x7FFFFFFF).
bool parsePosition(const std::string& text, uint64_t& ms);

} // namespace remote
