// tandravole-storm: hostile and busy companion apps against two tandravole-host processes on
// 127.0.0.1 for a given time, one host letting a second app take the session over and one
// refusing it. Afterwards every host must come back to where it started (threads and open
// descriptors exactly, resident memory within a margin), a new app must log in and get the
// status, and SIGTERM must end the host with 0 and without a sanitizer report. Prints what the
// apps did and the hosts' figures, at the end and every --report-every seconds.
//
//   tandravole-storm --host PATH [--seconds N] [--clients N] [--seed N] [--report-every N]
//                    [--rss-margin-mb N] [--reply-wait-ms N]
//
// Exit code 0 when all of it held, 1 when something did not (each failure on a line of its
// own), 2 for a mistake on the command line. The storm stops by itself: N seconds of apps,
// then at most a minute each to settle and to stop.
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "tools/storm/StormApps.h"
#include "tools/storm/posix/HostProcess.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: tandravole-storm --host PATH [--seconds N] [--clients N] [--seed N]\n"
    "                        [--report-every N] [--rss-margin-mb N] [--reply-wait-ms N]\n"
    "  --host PATH          the tandravole-host program\n"
    "  --seconds N          how long the apps run (default 30)\n"
    "  --clients N          apps per host, 2 to 8 (default 3)\n"
    "  --seed N             the apps' random choices (default: from the clock)\n"
    "  --report-every N     print the figures every N seconds (default: only at the end)\n"
    "  --rss-margin-mb N    resident memory may end this much above the start (default 16;\n"
    "                       0: print it only, for allocators that keep freed memory)\n"
    "  --reply-wait-ms N    how long an awaited reply may take (default 20000)\n";

constexpr uint32_t kStartMs = 60000;  // a sanitizer build loading its library
constexpr uint32_t kSettleMs = 60000; // connection threads to end after the apps are gone
constexpr uint32_t kStopMs = 60000;   // SIGTERM to exit
constexpr const char* kPassword = "storm password";

struct Options {
    std::string host;
    uint32_t seconds = 30;
    uint32_t clients = 3;
    uint32_t seed = 0;
    uint32_t reportEvery = 0;
    uint32_t rssMarginMb = 16;
    uint32_t replyWaitMs = 20000;
};

bool parse(int argc, char** argv, Options& o) {
    o.seed = uint32_t(std::random_device{}());
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc)
            return false;
        std::string value = argv[++i];
        if (name == "--host") {
            o.host = value;
            continue;
        }
        char* end = nullptr;
        unsigned long n = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end || n > 0xFFFFFFFFul)
            return false;
        if (name == "--seconds")
            o.seconds = uint32_t(n);
        else if (name == "--clients")
            o.clients = uint32_t(n);
        else if (name == "--seed")
            o.seed = uint32_t(n);
        else if (name == "--report-every")
            o.reportEvery = uint32_t(n);
        else if (name == "--rss-margin-mb")
            o.rssMarginMb = uint32_t(n);
        else if (name == "--reply-wait-ms")
            o.replyWaitMs = uint32_t(n);
        else
            return false;
    }
    return !o.host.empty() && o.seconds > 0 && o.clients >= 2 && o.clients <= 8;
}

std::string megabytes(uint64_t kb) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(kb) / 1024.0);
    return text;
}

std::string describe(const storm::ProcessFigures& f) {
    return std::to_string(f.threads) + " threads, " + std::to_string(f.descriptors) +
           " descriptors, " + megabytes(f.residentKb) + " resident";
}

// One host with its apps' tally.
struct Host {
    std::string name;
    bool kickAllowed = false;
    fs::path dataDir;
    std::unique_ptr<storm::HostProcess> process;
    uint16_t port = 0;
    storm::ProcessFigures start, end;
    storm::Tally tally;
};

// Waits until the thread count has stayed the same for half a second; the figures then.
storm::ProcessFigures settled(storm::HostProcess& process) {
    storm::ProcessFigures last = process.figures();
    for (int same = 0, tries = 0; same < 5 && tries < 200; ++tries) {
        platform::sleepMs(100);
        storm::ProcessFigures now = process.figures();
        same = now.threads == last.threads && now.descriptors == last.descriptors ? same + 1 : 0;
        last = now;
    }
    return last;
}

void report(const std::string& when, std::vector<std::unique_ptr<Host>>& hosts) {
    for (auto& h : hosts) {
        const storm::Tally& t = h->tally;
        std::printf("storm: %s: %s: %llu requests, %llu sessions, %llu errors; %s\n", when.c_str(),
                    h->name.c_str(), (unsigned long long)t.requests.load(),
                    (unsigned long long)t.sessions.load(), (unsigned long long)t.errors.load(),
                    describe(h->process->figures()).c_str());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!platform::socketStartup()) {
        std::fputs("storm: the sockets library did not start\n", stderr);
        return 1;
    }
    std::printf("storm: %u s, %u apps per host, seed %u\n", options.seconds, options.clients,
                options.seed);
    std::vector<std::string> failures;
    const fs::path scratch =
        fs::temp_directory_path() / ("tandravole-storm-" + std::to_string(options.seed) + "-" +
                                     std::to_string(platform::tickCount()));

    std::vector<std::unique_ptr<Host>> hosts;
    for (bool kick : {true, false}) {
        auto h = std::make_unique<Host>();
        h->name = kick ? "host taking over" : "host refusing";
        h->kickAllowed = kick;
        h->dataDir = scratch / (kick ? "kick" : "no-kick");
        storm::writeHostSettings(h->dataDir.string(), kick);
        h->process = std::make_unique<storm::HostProcess>(
            options.host,
            std::vector<std::string>{"--port", "0", "--password", kPassword, "--data-dir",
                                     h->dataDir.string(), "--no-bonjour"});
        h->port = h->process->running() ? h->process->waitForPort(kStartMs) : 0;
        if (h->port == 0) {
            std::fprintf(stderr, "storm: %s did not start:\n%s\n", h->name.c_str(),
                         h->process->output().c_str());
            fs::remove_all(scratch);
            return 1;
        }
        hosts.push_back(std::move(h));
    }

    auto appOptions = [&](const Host& h, uint32_t seed) {
        storm::AppOptions a;
        a.port = h.port;
        a.password = kPassword;
        a.kickAllowed = h.kickAllowed;
        a.seed = seed;
        a.replyWaitMs = options.replyWaitMs;
        return a;
    };

    // The start: after one app has logged in, asked and left, so what a first session makes
    // once is in place.
    for (auto& h : hosts) {
        if (std::string why = storm::freshAppGetsStatus(appOptions(*h, 0)); !why.empty())
            failures.push_back(h->name + ": the first app: " + why);
        h->start = settled(*h->process);
        std::printf("storm: %s on port %u: %s\n", h->name.c_str(), h->port,
                    describe(h->start).c_str());
    }

    std::atomic<bool> stop{false};
    const uint32_t began = platform::tickCount();
    const uint32_t deadline = began + options.seconds * 1000;
    std::vector<std::thread> apps;
    for (size_t hi = 0; hi < hosts.size(); ++hi)
        for (uint32_t i = 0; i < options.clients; ++i)
            apps.emplace_back(storm::runStormApp,
                              appOptions(*hosts[hi], options.seed + uint32_t(hi * 100 + i)),
                              std::ref(hosts[hi]->tally), deadline, std::cref(stop));
    for (uint32_t next = options.reportEvery; next && next < options.seconds;
         next += options.reportEvery) {
        while (int32_t(platform::tickCount() - (began + next * 1000)) < 0)
            platform::sleepMs(100);
        report(std::to_string(next) + " s", hosts);
    }
    for (auto& t : apps)
        t.join();
    std::printf("storm: the apps ended after %.1f s\n",
                double(platform::tickCount() - began) / 1000.0);

    for (auto& h : hosts) {
        // Every connection thread reaped and every socket closed: back to the start exactly.
        const uint32_t since = platform::tickCount();
        do {
            h->end = h->process->figures();
            if (h->end.threads == h->start.threads && h->end.descriptors == h->start.descriptors)
                break;
            platform::sleepMs(50);
        } while (platform::tickCount() - since < kSettleMs);
        h->end = settled(*h->process);
        if (h->end.threads != h->start.threads)
            failures.push_back(h->name + ": " + std::to_string(h->end.threads) +
                               " threads after the storm, " + std::to_string(h->start.threads) +
                               " before");
        if (h->end.descriptors != h->start.descriptors)
            failures.push_back(h->name + ": " + std::to_string(h->end.descriptors) +
                               " descriptors after the storm, " +
                               std::to_string(h->start.descriptors) + " before");
        if (options.rssMarginMb &&
            h->end.residentKb > h->start.residentKb + uint64_t(options.rssMarginMb) * 1024)
            failures.push_back(h->name + ": resident memory " + megabytes(h->end.residentKb) +
                               " after the storm, " + megabytes(h->start.residentKb) +
                               " before (margin " + std::to_string(options.rssMarginMb) + " MB)");
        if (std::string why = storm::freshAppGetsStatus(appOptions(*h, 0)); !why.empty())
            failures.push_back(h->name + ": a new app after the storm: " + why);
    }

    for (auto& h : hosts) {
        const storm::Tally& t = h->tally;
        std::printf(
            "storm: %s: %llu connections, %llu requests (%llu malformed), %llu "
            "sessions, %llu wrong passwords refused, %llu refused while the session "
            "was held, %llu taken over, %llu ended by keep-alive, %llu messages "
            "received (%llu covers), %llu errors\n",
            h->name.c_str(), (unsigned long long)t.connections.load(),
            (unsigned long long)t.requests.load(), (unsigned long long)t.malformed.load(),
            (unsigned long long)t.sessions.load(), (unsigned long long)t.wrongPasswords.load(),
            (unsigned long long)t.refused.load(), (unsigned long long)t.takenOver.load(),
            (unsigned long long)t.keepaliveEnded.load(), (unsigned long long)t.received.load(),
            (unsigned long long)t.covers.load(), (unsigned long long)t.errors.load());
        std::printf("storm: %s: before %s; after %s\n", h->name.c_str(), describe(h->start).c_str(),
                    describe(h->end).c_str());
        for (const std::string& e : h->tally.errorKinds())
            failures.push_back(h->name + ": an app saw: " + e);
        if (t.sessions == 0)
            failures.push_back(h->name + ": no app ever logged in");
    }

    for (auto& h : hosts) {
        h->process->signal(SIGTERM);
        std::optional<int> code = h->process->waitForExit(kStopMs);
        const std::string output = h->process->output();
        if (!code)
            failures.push_back(h->name + ": still running " + std::to_string(kStopMs) +
                               " ms after SIGTERM");
        else if (*code != 0)
            failures.push_back(h->name + ": exit code " + std::to_string(*code) + " after SIGTERM");
        if (storm::hasSanitizerReport(output) || (code && *code != 0))
            std::fprintf(stderr, "storm: what %s printed:\n%s\n", h->name.c_str(), output.c_str());
        if (storm::hasSanitizerReport(output))
            failures.push_back(h->name + ": a sanitizer report (above)");
    }
    fs::remove_all(scratch);
    platform::socketCleanup();

    for (const std::string& f : failures)
        std::printf("storm: FAILED: %s\n", f.c_str());
    std::printf("storm: %s\n", failures.empty() ? "passed" : "failed");
    return failures.empty() ? 0 : 1;
}
