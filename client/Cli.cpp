#include "client/Cli.h"

#include "client/CliCommands.h"
#include "client/CliSession.h"

namespace remote {

int runCli(const CliOptions& options, std::ostream& out, std::ostream& err) {
    if (options.help) {
        out << usageText();
        return EXIT_OK;
    }
    if (options.version) {
        out << "tandravole-remote " << TANDRAVOLE_FILE_VERSION << "\n";
        return EXIT_OK;
    }
    const Command* command = findCommand(options.command);
    if (!command) {
        err << "tandravole-remote: unknown command '" << options.command << "'\n";
        return EXIT_USAGE;
    }
    CliSession session(options, out, err);
    if (int code = session.open(); code != EXIT_OK)
        return code;
    return command->run(session);
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParseResult parsed = parseCommandLine(args);
    if (!parsed.ok) {
        err << "tandravole-remote: " << parsed.error << "\n"
            << "Try 'tandravole-remote --help' for the commands and options.\n";
        return EXIT_USAGE;
    }
    return runCli(parsed.options, out, err);
}

} // namespace remote
