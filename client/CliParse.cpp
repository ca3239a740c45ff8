// The command line of tandravole-remote: the option table, parsing against the option and
// command tables, and --help written from both.
#include "client/CliCommands.h"

namespace remote {

bool parseUnsigned(const std::string& text, uint64_t maximum, uint64_t& out) {
    if (text.empty() || text.size() > 20)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + uint64_t(c - '0');
        if (v > maximum)
            return false;
    }
    out = v;
    return true;
}

bool parsePosition(const std::string& text, uint64_t& ms) {
    uint64_t total = 0;
    size_t start = 0;
    int parts = 0;
    for (;;) {
        size_t colon = text.find(':', start);
        std::string part = text.substr(start, colon == std::string::npos ? colon : colon - start);
        uint64_t v = 0;
        if (!parseUnsigned(part, 1000000, v) || (parts > 0 && v >= 60))
            return false;
        total = total * 60 + v;
        if (++parts > 3)
            return false;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    ms = total * 1000;
    return ms <= 0x7FFFFFFF;
}

namespace {

// "<name> needs <what>, not '<value>'" when value is not a number in 1..maximum (0..maximum
// when zero is allowed).
std::string number(const std::string& value, uint64_t maximum, bool zeroAllowed,
                   const char* complaint, uint64_t& out) {
    if (!parseUnsigned(value, maximum, out) || (out == 0 && !zeroAllowed))
        return std::string(complaint) + ", not '" + value + "'";
    return {};
}

std::string setHost(CliOptions& o, const std::string& v) {
    o.host = v;
    return {};
}
std::string setPort(CliOptions& o, const std::string& v) {
    uint64_t n = 0;
    std::string e = number(v, 65535, false, "--port needs a number from 1 to 65535", n);
    o.port = uint16_t(n);
    return e;
}
std::string setPassword(CliOptions& o, const std::string& v) {
    o.password = v;
    return {};
}
std::string setJson(CliOptions& o, const std::string&) {
    o.json = true;
    return {};
}
std::string setTimeout(CliOptions& o, const std::string& v) {
    uint64_t n = 0;
    std::string e = number(v, 3600000, false, "--timeout needs milliseconds from 1 to 3600000", n);
    o.timeoutMs = uint32_t(n);
    return e;
}
std::string setKeepalive(CliOptions& o, const std::string& v) {
    uint64_t n = 0;
    std::string e = number(v, 255, true, "--keepalive needs seconds from 0 to 255", n);
    o.keepaliveSeconds = uint8_t(n);
    return e;
}
std::string setHelp(CliOptions& o, const std::string&) {
    o.help = true;
    return {};
}
std::string setVersion(CliOptions& o, const std::string&) {
    o.version = true;
    return {};
}
std::string setGenre(CliOptions& o, const std::string& v) {
    o.genre = v;
    return {};
}
std::string setArtist(CliOptions& o, const std::string& v) {
    o.artist = v;
    return {};
}
std::string setAlbum(CliOptions& o, const std::string& v) {
    o.album = v;
    return {};
}
std::string setComposer(CliOptions& o, const std::string& v) {
    o.composer = v;
    return {};
}
std::string setSize(CliOptions& o, const std::string& v) {
    uint64_t n = 0;
    std::string e = number(v, 65535, false, "--size needs pixels from 1 to 65535", n);
    o.coverSize = uint16_t(n);
    return e;
}
std::string setOutput(CliOptions& o, const std::string& v) {
    o.output = v;
    return {};
}
std::string setCount(CliOptions& o, const std::string& v) {
    uint64_t n = 0;
    std::string e = number(v, 0xFFFFFFFF, false, "--count needs a positive number", n);
    o.count = uint32_t(n);
    return e;
}
std::string setSeconds(CliOptions& o, const std::string& v) {
    uint64_t n = 0;
    std::string e = number(v, 4000000, false, "--seconds needs a positive number", n);
    o.seconds = uint32_t(n);
    return e;
}
std::string setThen(CliOptions& o, const std::string& v) {
    if (v != "stop" && v != "shutdown" && v != "suspend")
        return "--then must be stop, shutdown or suspend, not '" + v + "'";
    o.then = v;
    return {};
}

const Option* findOption(const std::string& spelling) {
    for (const Option& option : optionTable())
        if (spelling == option.name || (option.alias && spelling == option.alias))
            return &option;
    return nullptr;
}

// "  left<padding>text": left padded to `width` columns; a longer left part gets a line of its
// own and the text starts on the next one. Continuation lines ('\n') start at the same column.
void helpLine(std::string& out, const std::string& left, size_t width, const std::string& text) {
    const std::string indent(2 + width, ' ');
    out += "  " + left;
    if (left.size() + 2 <= width)
        out += std::string(width - left.size(), ' ');
    else
        out += "\n" + indent;
    for (char c : text)
        out += c == '\n' ? "\n" + indent : std::string(1, c);
    out += "\n";
}

constexpr size_t kOptionColumn = 19;
constexpr size_t kCommandColumn = 28;

} // namespace

const std::vector<Option>& optionTable() {
    static const std::vector<Option> table = {
        {"--host", nullptr, "ADDRESS",
         "server's IPv4 address (default 127.0.0.1; \"localhost\" works too)", setHost},
        {"--port", nullptr, "N", "server's TCP port (default 19371)", setPort},
        {"--password", nullptr, "TEXT", "password configured in the plug-in (default: none)",
         setPassword},
        {"--json", nullptr, nullptr, "print results as JSON, one object per line", setJson},
        {"--timeout", nullptr, "MS", "how long to wait for each answer (default 5000)", setTimeout},
        {"--keepalive", nullptr, "S",
         "ask the server for keep-alive probes every S seconds (1..255)", setKeepalive},
        {"--help", "-h", nullptr, "show this text", setHelp},
        {"--version", nullptr, nullptr, "show the program's version", setVersion},
        // Command options: the commands' own help lines show them.
        {"--genre", nullptr, "G", nullptr, setGenre},
        {"--artist", nullptr, "A", nullptr, setArtist},
        {"--album", nullptr, "B", nullptr, setAlbum},
        {"--composer", nullptr, "C", nullptr, setComposer},
        {"--size", nullptr, "N", nullptr, setSize},
        {"--output", "-o", "FILE", nullptr, setOutput},
        {"--count", nullptr, "N", nullptr, setCount},
        {"--seconds", nullptr, "S", nullptr, setSeconds},
        {"--then", nullptr, "ACTION", nullptr, setThen},
    };
    return table;
}

std::string usageText() {
    std::string out = "Usage: tandravole-remote [options] <command> [arguments]\n"
                      "\n"
                      "Remote control for the Tandravole 4 MediaCenter plug-in over its binary "
                      "protocol.\n"
                      "\n"
                      "Options:\n";
    for (const Option& option : optionTable()) {
        if (!option.help)
            continue;
        std::string left = option.alias ? std::string(option.alias) + ", " + option.name
                                        : std::string(option.name);
        if (option.value)
            left += std::string(" ") + option.value;
        helpLine(out, left, kOptionColumn, option.help);
    }
    out += "\nCommands:\n";
    for (const Command& command : commandTable()) {
        for (const HelpLine& line : command.help) {
            if (line.synopsis[0] == '-') // an option of the command: under it, in its own column
                out += std::string("      ") + line.synopsis + "   " + line.text + "\n";
            else
                helpLine(out, line.synopsis, kCommandColumn, line.text);
        }
    }
    out += "\n"
           "Exit codes: 0 ok, 1 nothing found or refused, 2 bad command line, 3 cannot connect,\n"
           "4 wrong password, 5 time-out, 6 connection closed by the server, 7 cannot write the "
           "file.\n";
    return out;
}

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    CliOptions& o = result.options;
    auto fail = [&](std::string message) {
        result.ok = false;
        result.error = std::move(message);
        return result;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                inlineValue = true;
            }
        }
        if (const Option* option = findOption(arg)) {
            if (option->value && !inlineValue) {
                if (i + 1 >= args.size())
                    return fail("option " + arg + " needs a value");
                value = args[++i];
            }
            if (std::string e = option->apply(o, value); !e.empty())
                return fail(e);
        } else if (arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9')) {
            return fail("unknown option '" + arg + "'");
        } else if (o.command.empty()) {
            o.command = arg;
        } else {
            o.args.push_back(arg);
        }
    }

    if (o.help || o.version || o.command == "help") {
        o.help = !o.version;
        result.ok = true;
        return result;
    }
    if (o.command.empty())
        return fail("no command given");
    const Command* command = findCommand(o.command);
    if (!command)
        return fail("unknown command '" + o.command + "'");
    const int given = int(o.args.size());
    if (given < command->minArgs || (command->maxArgs >= 0 && given > command->maxArgs))
        return fail("wrong number of arguments for '" + o.command + "'");
    // Mistakes are reported before connecting.
    if (command->check)
        if (std::string e = command->check(o); !e.empty())
            return fail(e);
    if ((o.count || o.seconds) && o.command != "watch")
        return fail("--count and --seconds belong to watch");
    result.ok = true;
    return result;
}

} // namespace remote
