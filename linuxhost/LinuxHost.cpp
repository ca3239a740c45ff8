#include "linuxhost/LinuxHost.h"

#include "bridge/ControlServices.h"
#include "bridge/HostWindow.h"
#include "bridge/PluginSettings.h"
#include "bridge/TandravoleCtrl.h"
#include "common/Log.h"
#include "common/Utf.h"
#include "mpdhost/MpdPlayer.h"
#include "platform/Registry.h"
#include "server/engine/WinampControlServerDelegate.h"
#include "services/dnssd/BonjourServiceThread.h"
#include "services/dnssd/DnsSdLibrary.h"
#include "services/power/AnnouncingPowerSystem.h"
#include "services/update/UpdateCheck.h"
#include "services/update/UpdateCheckThread.h"
#include "simhost/DemoLibrary.h"
#include "simhost/LibraryJson.h"
#include "simhost/SimPlayer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

namespace linuxhost {

namespace {

constexpr const char* kPrefix = "tandravole-host: ";

// Both streams behind one lock: the engine's threads print events while the host's thread
// prints its own lines.
class Printer {
public:
    Printer(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    void out(const std::string& line) { print(out_, line); }
    void err(const std::string& line) { print(err_, line); }

private:
    void print(std::ostream& stream, const std::string& line) {
        std::lock_guard<std::mutex> hold(mutex_);
        stream << kPrefix << line << std::endl;
    }
    std::mutex mutex_;
    std::ostream& out_;
    std::ostream& err_;
};

// Errors always; connections, sessions and refused messages with --verbose.
class PrintedLog final : public LogSink {
public:
    PrintedLog(Printer& printer, bool verbose) : printer_(printer), verbose_(verbose) {}
    void write(LogKind kind, std::string_view text) override {
        if (verbose_ || kind == LogKind::Error)
            printer_.err(std::string(logKindName(kind)) + ": " + std::string(text));
    }

private:
    Printer& printer_;
    bool verbose_;
};

// The box the plug-in would show becomes a line on stderr with the system's reason.
class PrintedBoxes final : public bridge::MessageBoxes {
public:
    PrintedBoxes(Printer& printer, bool& shown) : printer_(printer), shown_(shown) {}
    void show(std::u16string_view text, std::u16string_view, std::string_view reason,
              bridge::BoxIcon) override {
        std::string line = utf16ToUtf8(text);
        if (!reason.empty())
            line += " (" + std::string(reason) + ")";
        printer_.err(line);
        shown_ = true;
    }

private:
    Printer& printer_;
    bool& shown_;
};

} // namespace

std::string describeAdapters(const std::vector<services::adapters::NetworkAdapterInfo>& adapters) {
    if (adapters.empty())
        return "no active IPv4 network adapter besides the loopback\n";
    size_t nameWidth = 0, ipWidth = 0;
    std::vector<std::array<std::string, 3>> rows;
    for (const auto& adapter : adapters) {
        rows.push_back(
            {utf16ToUtf8(adapter.name), utf16ToUtf8(adapter.ip), utf16ToUtf8(adapter.mac)});
        nameWidth = std::max(nameWidth, rows.back()[0].size());
        ipWidth = std::max(ipWidth, rows.back()[1].size());
    }
    std::string text;
    for (const auto& [name, ip, mac] : rows) {
        std::string line = name + std::string(nameWidth - name.size() + 2, ' ') + ip;
        if (!mac.empty())
            line += std::string(ipWidth - ip.size() + 2, ' ') + mac;
        text += line + "\n";
    }
    return text;
}

std::string
describeAppAddresses(const std::vector<services::adapters::NetworkAdapterInfo>& adapters,
                     uint16_t port) {
    std::string where;
    size_t count = 0;
    for (const auto& adapter : adapters) {
        if (adapter.ip.empty())
            continue;
        where +=
            (count ? ", " : "") + utf16ToUtf8(adapter.ip) + " (" + utf16ToUtf8(adapter.name) + ")";
        ++count;
    }
    if (count == 0)
        return "no network adapter besides the loopback: only this computer can connect, on "
               "port " +
               std::to_string(port);
    return std::string("an app on the network connects to ") + (count > 1 ? "one of " : "") +
           where + ", port " + std::to_string(port);
}

std::string remoteCommand(const std::string& program, const std::string& cwd,
                          const std::string& pathVariable) {
    namespace fs = std::filesystem;
    const std::string name = "tandravole-remote";
    if (program.empty())
        return name;
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(fs::absolute(program, ec), ec).parent_path();
    fs::path found;
    for (const fs::path& candidate : {folder / name, folder.parent_path() / "client" / name})
        if (fs::is_regular_file(candidate, ec)) {
            found = candidate;
            break;
        }
    if (found.empty())
        return name;
    // The first one on the PATH is what the bare name runs.
    for (size_t start = 0; start <= pathVariable.size();) {
        size_t end = pathVariable.find(':', start);
        if (end == std::string::npos)
            end = pathVariable.size();
        const fs::path entry = pathVariable.substr(start, end - start);
        if (!entry.empty() && entry.is_absolute() && fs::is_regular_file(entry / name, ec))
            return fs::equivalent(entry / name, found, ec) ? name : found.string();
        start = end + 1;
    }
    const fs::path here = fs::weakly_canonical(cwd, ec);
    const fs::path relative = found.lexically_relative(here);
    if (!cwd.empty() && !relative.empty() && *relative.begin() != "..")
        return relative.has_parent_path() ? relative.string() : "./" + relative.string();
    return found.string();
}

std::string dnsSdFailure(int32_t error) {
    std::string line = "not advertised with DNS-SD (error " + std::to_string(error) + ")";
    // No daemon answers (Avahi's library says "unknown"), or its client library is missing.
    if (error == services::dnssd::kDNSServiceErr_Unknown ||
        error == services::dnssd::kDNSServiceErr_ServiceNotRunning)
        line += ": for the app to find this host, install and start avahi-daemon (apt-get "
                "install avahi-daemon libavahi-compat-libdnssd1; systemctl enable --now "
                "avahi-daemon); meanwhile";
    else
        line += ";";
    return line + " enter an address above in the app";
}

std::string versionText() {
    const uint32_t packed = services::update::GetModuleFileVersion();
    return std::to_string(packed >> 24) + "." + std::to_string((packed >> 16) & 0xFF) + "." +
           std::to_string((packed >> 8) & 0xFF) + "." + std::to_string(packed & 0xFF);
}

LinuxHost::LinuxHost(HostOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options)), out_(out), err_(err) {}

void LinuxHost::stop() {
    std::lock_guard<std::mutex> hold(mutex_);
    stopRequested_ = true;
    if (loop_)
        loop_->quit();
}

uint16_t LinuxHost::port() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return port_;
}

int LinuxHost::run() {
    Printer printer(out_, err_);
    namespace fs = std::filesystem;

    // The data folder holds the settings and the album covers the player writes.
    const fs::path dataDir = options_.dataDir;
    std::error_code ec;
    if (dataDir.empty()) {
        printer.err("no data folder: set HOME or XDG_CONFIG_HOME, or give --data-dir");
        return kExitStartFailed;
    }
    fs::create_directories(dataDir, ec);
    if (ec) {
        printer.err("cannot create the data folder " + dataDir.string() + ": " + ec.message());
        return kExitStartFailed;
    }
    platform::setRegistryStoreFile((dataDir / kSettingsFileName).string());
    if (std::string problem = platform::registryStoreProblem(); !problem.empty())
        printer.err(problem + "; the settings start from their defaults");

    PrintedLog log(printer, options_.verbose);
    setLogSink(&log);
    struct LogOff {
        ~LogOff() { setLogSink(nullptr); }
    } logOff;

    std::unique_ptr<automation::Player> player;
    std::string source;
    if (options_.mpd) {
        mpdhost::MpdOptions mpd;
        mpd.address = *options_.mpd;
        mpd.coverCache = dataDir / "mpd-covers";
        mpd.say = [&printer](const std::string& line) { printer.out(line); };
        auto mpdPlayer = std::make_unique<mpdhost::MpdPlayer>(std::move(mpd));
        std::string error;
        if (!mpdPlayer->start(error)) {
            printer.err(error);
            return kExitStartFailed;
        }
        source = "MPD at " + options_.mpd->describe();
        player = std::move(mpdPlayer);
    } else {
        medialib::LibraryData library;
        source = "the demo library";
        if (options_.libraryFile.empty()) {
            library = simhost::demoLibrary();
        } else {
            std::string error;
            auto loaded = simhost::loadLibraryJson(options_.libraryFile, error);
            if (!loaded) {
                printer.err(error);
                return kExitStartFailed;
            }
            library = std::move(*loaded);
            source = options_.libraryFile;
        }
        auto sim = std::make_unique<simhost::SimPlayer>(
            std::move(library), simhost::SimOptions{nullptr, dataDir / "covers", 0, true});
        if (!sim->startupProblem().empty())
            printer.err(sim->startupProblem());
        player = std::move(sim);
    }

    auto forThisRun = [this](PluginSettings& s) { options_.settings.applyTo(s); };

    bridge::HostLoop loop;
    std::unique_ptr<CTandravoleCtrl> ctrl;
    player->setWakeHandler([&loop] { loop.wake(); });
    // The player's status message goes to the control's window, on this thread.
    player->setWindowMessageHandler([&ctrl](int32_t window, uint32_t m, uint64_t w, int64_t l) {
        if (ctrl && ctrl->window() && ctrl->window()->handle() == window)
            ctrl->window()->send(m, uintptr_t(w), intptr_t(l));
    });
    // The loop sleeps until the player changes by itself or something wakes it: a message,
    // a timer, or the player's wake-up when events wait.
    loop.setIdleHook([&player] {
        player->pump();
        const auto next = player->msUntilNextChange();
        return next ? uint32_t(std::min<uint64_t>(*next, UINT32_MAX)) : UINT32_MAX;
    });

    bool startFailed = false;
    bridge::ControlEnvironment env;
    env.messageBoxes = std::make_unique<PrintedBoxes>(printer, startFailed);
    // Power actions run their course on their own thread against a system that only
    // announces what it would do: a simulated player has no business switching the machine off.
    env.powerActions = services::power::makeAnnouncingPowerActions([&printer](std::string what) {
        printer.out("the player " + what + " the computer now; this host leaves it running");
    });
    // The periodic update check asks the product's web site, as the plug-in does; the
    // "updateCheck" setting switches it off.
    env.updateCheck =
        std::make_unique<services::update::UpdateCheckThread>(platform::systemClock());
    // The DNS-SD registration, as the plug-in makes it; what became of it is printed.
    auto dnsSd = std::make_unique<services::dnssd::BonjourServiceThread>();
    dnsSd->setObserver([&printer](const services::dnssd::BonjourEvent& event) {
        using Kind = services::dnssd::BonjourEvent::Kind;
        const std::string code = std::to_string(event.error);
        if (event.kind == Kind::Registered)
            printer.out("advertised with DNS-SD as \"" + event.name + "\" (" +
                        bridge::kServiceType + ")");
        else if (event.kind == Kind::Failed)
            printer.out(dnsSdFailure(event.error));
        else if (event.error != 0)
            printer.out("the DNS-SD advertisement ended (error " + code + ")");
    });
    env.dnsSd = std::move(dnsSd);
    env.settingsForThisRun = forThisRun;
    ctrl = std::make_unique<CTandravoleCtrl>(std::move(env));
    ctrl->Init(player->root());

    PluginSettings settings = ctrl->settings();
    forThisRun(settings);
    int code = kExitOk;
    if (!settings.enabled) {
        printer.err("the server is switched off in the settings (\"enabled\" in " +
                    platform::registryStoreFile() + ")");
        code = kExitStartFailed;
    } else if (startFailed) {
        code = kExitStartFailed;
    } else {
        const uint16_t port = ctrl->server().boundPort();
        printer.out("listening on port " + std::to_string(port) + " on every interface, " +
                    (settings.password.empty() ? "no password" : "password set") + ", " + source +
                    ": " + player->describe());
        printer.out(describeAppAddresses(services::adapters::ListNetworkAdapters(), port));
        const char* path = std::getenv("PATH");
        printer.out(
            "connect with: " +
            remoteCommand(options_.programPath, fs::current_path(ec).string(), path ? path : "") +
            " --host 127.0.0.1 --port " + std::to_string(port) +
            (settings.password.empty() ? "" : " --password TEXT") + " status" +
            (settings.password.empty() ? "" : " (TEXT: the password)"));
        if (!settings.bonjour)
            printer.out(std::string("not advertised with DNS-SD (") +
                        (options_.settings.bonjour ? "off for this run"
                                                   : "switched off in the "
                                                     "settings") +
                        ")");
        bool stopNow;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            port_ = port;
            loop_ = &loop;
            stopNow = stopRequested_;
        }
        if (!stopNow)
            loop.run();
        {
            std::lock_guard<std::mutex> hold(mutex_);
            loop_ = nullptr;
        }
        // The end of a session as the system would announce it: a logged-in app is told
        // (notice 2) and every connection closes before the server goes.
        if (ctrl->window())
            ctrl->window()->send(bridge::kWmEndSession, 1, 0);
    }

    // The control goes first (its threads call the player), on this thread as it was made.
    ctrl.reset();
    player.reset();
    if (code == kExitOk)
        printer.out("stopped");
    return code;
}

} // namespace linuxhost
