// tandravole-remote: command-line companion-app client.
#include "client/Cli.h"
#include "platform/Socket.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!platform::socketStartup()) {
        std::cerr << "tandravole-remote: cannot start the socket library\n";
        return remote::EXIT_CONNECT;
    }
    int code = remote::runCommandLine(args, std::cout, std::cerr);
    platform::socketCleanup();
    return code;
}
