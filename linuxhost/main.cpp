// tandravole-host: the remote-control server against a media player (simulated, or MPD), on
// Linux.
#include "linuxhost/HostOptions.h"
#include "linuxhost/LinuxHost.h"
#include "linuxhost/SettingsCommand.h"
#include "platform/Signals.h"

#include <filesystem>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = linuxhost::parseHostOptions(
        args, [](const char* name) { return std::getenv(name); }, error);
    if (!options) {
        std::cerr << "tandravole-host: " << error << "\n" << linuxhost::kUsage;
        return linuxhost::kExitUsage;
    }
    if (options->listAdapters) {
        std::cout << linuxhost::describeAdapters(services::adapters::ListNetworkAdapters());
        return linuxhost::kExitOk;
    }
    if (options->help) {
        std::cout << linuxhost::kUsage;
        return linuxhost::kExitOk;
    }
    if (options->version) {
        std::cout << "tandravole-host " << linuxhost::versionText() << "\n";
        return linuxhost::kExitOk;
    }
    if (options->showSettings || options->saveSettings)
        return linuxhost::runSettingsCommand(*options, std::cout, std::cerr);
    std::error_code noLink;
    options->programPath = std::filesystem::read_symlink("/proc/self/exe", noLink).string();
    linuxhost::LinuxHost host(*options, std::cout, std::cerr);
    // Ctrl-C and SIGTERM end the run in order: the server closes its connections first.
    platform::TerminationWatch watch([&host](const char*) { host.stop(); });
    return host.run();
}
