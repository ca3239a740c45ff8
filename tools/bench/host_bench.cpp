// The whole Linux host (simulated player, control, server) in this process, driven by the real
// client on 127.0.0.1. Figures only, all from one run:
//  1. status round trip: MSG_QUERY 2 -> MSG_PLAYER_STATUS through the host with the demo
//     library, against the engine alone with a delegate that answers at once; the two are
//     measured in alternating blocks so that load from elsewhere falls on both alike;
//  2. idle cost: the host with one app logged in with keep-alive 10 s, nothing playing: wake-ups
//     (context switches) per second and CPU time of every thread, from /proc/self/task;
//  3. the artist list of a 100,000-track library: time from the request to MSG_LIBRARY_LIST,
//     bytes on the wire against the list's plain size;
//  4. resident memory (VmRSS) with the demo library and with the 100,000 tracks;
//  5. with a real MPD (started on 127.0.0.1 with 10,000 generated tracks; skipped without mpd):
//     the status round trip against the simulated player's, the artist list and a search, and
//     the idle wake-ups with MPD idle.
//
// Run: build/native/tools/bench/host_bench [--idle-seconds N]    (Linux only; N defaults to 60)
#include "client/RemoteClient.h"
#include "linuxhost/LinuxHost.h"
#include "platform/Clock.h"
#include "server/engine/WinampControlServer.h"
#include "server/wire/Commands.h"
#include "simhost/DemoLibrary.h"
#include "simhost/LibraryJson.h"
#include "tools/bench/LatencyStats.h"
#include "tools/testkit/RecordingDelegate.h"
#include "tools/testkit/posix/MpdServer.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using remote::ClientStatus;

namespace {

constexpr uint32_t kWaitMs = 10000; // the longest any one reply may take
constexpr uint8_t kKeepaliveSeconds = 10;

// VmRSS at the moments worth comparing, in kB.
struct Resident {
    uint64_t start = 0;   // the process before any host
    uint64_t demo = 0;    // the demo library's host with one idle app
    uint64_t written = 0; // the 100,000-track file written and the generated library freed
    uint64_t loaded = 0;  // its host listening
    uint64_t served = 0;  // after its artist lists
};

bool fail(const std::string& what) {
    std::fprintf(stderr, "host_bench: %s\n", what.c_str());
    return false;
}

// --- /proc ----------------------------------------------------------------------------------

// A "Name:   value kB" line of /proc/self/status, in kB; 0 when missing.
uint64_t statusKb(const char* name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name, 0) == 0 && line[std::strlen(name)] == ':')
            return std::strtoull(line.c_str() + std::strlen(name) + 1, nullptr, 10);
    return 0;
}

struct ThreadCounters {
    std::string name;      // /proc/self/task/<id>/comm
    uint64_t switches = 0; // voluntary + involuntary context switches: one per wake-up
    uint64_t cpuNs = 0;    // time on a core, user and system
};

// Every thread of this process by thread id (ids grow in the order threads are made). CPU time
// from schedstat (nanoseconds), else from stat's utime + stime (clock ticks of 10 ms).
std::map<long, ThreadCounters> sampleThreads() {
    std::map<long, ThreadCounters> out;
    std::error_code error;
    for (const auto& task : fs::directory_iterator("/proc/self/task", error)) {
        ThreadCounters& t = out[std::stol(task.path().filename().string())];
        std::getline(std::ifstream(task.path() / "comm"), t.name);
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("voluntary_ctxt_switches:") ||
                line.starts_with("nonvoluntary_ctxt_switches:"))
                t.switches += std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
        if (!(std::ifstream(task.path() / "schedstat") >> t.cpuNs)) {
            std::ifstream stat(task.path() / "stat");
            std::string field;
            std::getline(stat, field, ')'); // id and (name)
            uint64_t utime = 0, stime = 0;
            for (int i = 3; i < 14; ++i) // fields 3..13 come before utime and stime
                stat >> field;
            stat >> utime >> stime;
            t.cpuNs = (utime + stime) * 10000000ull;
        }
    }
    return out;
}

std::set<long> threadIds() {
    std::set<long> ids;
    for (const auto& [id, counters] : sampleThreads())
        ids.insert(id);
    return ids;
}

// The calling thread's id ("/proc/thread-self" links to "<pid>/task/<tid>").
long currentThreadId() {
    std::error_code error;
    return std::atol(fs::read_symlink("/proc/thread-self", error).filename().c_str());
}

// --- the host on a thread of its own ----------------------------------------------------------

class RunningHost {
public:
    RunningHost(const fs::path& dataDir, const std::string& libraryFile,
                std::optional<mpdclient::Address> mpd = std::nullopt) {
        linuxhost::HostOptions options;
        options.settings.port = 0;
        options.dataDir = dataDir.string();
        options.libraryFile = libraryFile;
        options.mpd = mpd;
        host_ = std::make_unique<linuxhost::LinuxHost>(options, out_, err_);
        thread_ = std::thread([this] {
            threadId_ = currentThreadId();
            code_ = host_->run();
            ended_ = true;
        });
    }
    ~RunningHost() { stop(); }
    // The port once the host listens, 0 when it did not start within 60 s.
    uint16_t waitForPort() {
        for (uint32_t start = platform::tickCount(); platform::tickCount() - start < 60000;) {
            if (uint16_t port = host_->port())
                return port;
            if (ended_)
                break;
            platform::sleepMs(5);
        }
        stop();
        fail("the host did not start: " + err_.str());
        return 0;
    }
    void stop() {
        host_->stop();
        if (thread_.joinable())
            thread_.join();
    }
    bool stoppedCleanly() const { return ended_ && code_ == linuxhost::kExitOk; }
    long threadId() const { return threadId_; }

private:
    std::ostringstream out_, err_;
    std::unique_ptr<linuxhost::LinuxHost> host_;
    std::thread thread_;
    long threadId_ = 0;
    std::atomic<bool> ended_{false};
    int code_ = -1;
};

bool connectApp(remote::RemoteClient& app, uint16_t port, uint8_t keepalive) {
    app.setPushHandler([](const wire::ReceivedMessage&) {}); // nothing kept while waiting
    ClientStatus s = app.connect("127.0.0.1", port, kWaitMs);
    if (s == ClientStatus::Ok)
        s = app.login("", true, keepalive, kWaitMs);
    return s == ClientStatus::Ok || fail(std::string("login: ") + remote::describeStatus(s));
}

// Timed status round trips, appended to `us` (nothing recorded when it is null).
bool statusRoundTrips(remote::RemoteClient& app, int count, std::vector<double>* us) {
    wire::ReceivedMessage reply;
    for (int i = 0; i < count; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!app.query(wire::QUERY_PLAYER_STATUS, 0))
            return fail("status query: send failed");
        ClientStatus s = app.waitForType(wire::MSG_PLAYER_STATUS, reply, kWaitMs);
        if (s != ClientStatus::Ok)
            return fail(std::string("status query: ") + remote::describeStatus(s));
        if (us)
            us->push_back(bench::microsecondsSince(start));
    }
    return true;
}

// Round trips of two sessions after 200 each to warm up, in blocks taking turns, so that load
// from elsewhere falls on both alike.
bool takingTurns(remote::RemoteClient& a, remote::RemoteClient& b, int blocks, int perBlock,
                 std::vector<double>& aUs, std::vector<double>& bUs) {
    if (!statusRoundTrips(a, 200, nullptr) || !statusRoundTrips(b, 200, nullptr))
        return false;
    for (int i = 0; i < blocks; ++i)
        if (!statusRoundTrips(a, perBlock, &aUs) || !statusRoundTrips(b, perBlock, &bUs))
            return false;
    return true;
}

// --- the figures ------------------------------------------------------------------------------

bool measureRoundTrips(const fs::path& dir) {
    testkit::RecordingDelegate delegate;
    delegate.edit([](testkit::Answers& a) { a.status = PlayerStatus{42000, 0, 0, 30000, 0}; });
    WinampControlServer engine;
    engine.setDelegate(&delegate);
    engine.setAllCapabilities();
    RunningHost host(dir / "data", "");
    const uint16_t hostPort = host.waitForPort();
    if (hostPort == 0 || !engine.listen(0))
        return fail("cannot listen");
    remote::RemoteClient engineApp, hostApp;
    if (!connectApp(engineApp, engine.boundPort(), 0) || !connectApp(hostApp, hostPort, 0))
        return false;
    const int blocks = 10, perBlock = 1000;
    std::vector<double> engineUs, hostUs;
    if (!takingTurns(engineApp, hostApp, blocks, perBlock, engineUs, hostUs))
        return false;
    engine.transport().stopAll(true);

    bench::Percentiles e = bench::percentiles(engineUs), h = bench::percentiles(hostUs);
    std::printf("1. MSG_QUERY 2 -> MSG_PLAYER_STATUS round trip, %d per session after 200 to warm "
                "up, in blocks of %d taking turns\n",
                blocks * perBlock, perBlock);
    bench::printRow("engine, answering delegate", e);
    bench::printRow("tandravole-host, demo lib", h);
    const double ratio = h.p99 / e.p99;
    std::string load; // other programs compete for the cores with every thread a request crosses
    std::getline(std::ifstream("/proc/loadavg"), load, ' ');
    std::printf("   host/engine: p50 %.2f, p99 %.2f (target p99 <= 1.50): %s; load average %s\n\n",
                h.p50 / e.p50, ratio, ratio <= 1.5 ? "met" : "MISSED", load.c_str());
    return true;
}

bool measureIdle(const fs::path& dir, int seconds, Resident& resident,
                 std::optional<mpdclient::Address> mpd = std::nullopt) {
    const std::set<long> before = threadIds();
    RunningHost host(dir / "data", "", mpd);
    const uint16_t port = host.waitForPort();
    if (port == 0)
        return false;
    std::map<long, std::string> role; // by thread id
    role[currentThreadId()] = "bench: measuring (main)";
    role[host.threadId()] = "host: host loop (player, control)";
    // Threads that appear at each step are the ones that step starts.
    auto label = [&role](const std::set<long>& earlier, std::vector<std::string> names) {
        std::vector<long> fresh;
        for (long id : threadIds())
            if (!earlier.count(id) && !role.count(id))
                fresh.push_back(id);
        if (fresh.size() != names.size())
            names.assign(fresh.size(), "host: (unidentified)");
        for (size_t i = 0; i < fresh.size(); ++i)
            role[fresh[i]] = names[i];
    };
    if (mpd)
        label(before, {"host: MPD idle", "host: message processing", "host: listening"});
    else
        label(before, {"host: message processing", "host: listening"});
    remote::RemoteClient app;
    std::set<long> step = threadIds();
    if (app.connect("127.0.0.1", port, kWaitMs) != ClientStatus::Ok)
        return fail("cannot connect"); // connected first, so that its thread shows on its own
    label(step, {"host: the app's connection"});
    step = threadIds();
    wire::ReceivedMessage probe; // the keep-alive thread probes as it starts
    if (app.login("", true, kKeepaliveSeconds, kWaitMs) != ClientStatus::Ok ||
        app.waitForType(wire::MSG_KEEPALIVE, probe, kWaitMs) != ClientStatus::Ok)
        return fail("login with keep-alive: no probe came");
    label(step, {"host: keep-alive"});

    // The app answers probes as a phone would, waking once a second to look for the end.
    std::atomic<bool> stop{false}, lost{false};
    long appThread = 0;
    std::atomic<bool> appStarted{false};
    const uint32_t answeredBefore = app.keepalivesAnswered();
    std::thread pump([&] {
        appThread = currentThreadId();
        appStarted = true;
        wire::ReceivedMessage m;
        while (!stop && !lost) {
            ClientStatus s = app.receive(m, 1000);
            lost = s != ClientStatus::Ok && s != ClientStatus::Timeout;
        }
    });
    while (!appStarted)
        platform::sleepMs(1);
    role[appThread] = "bench: the app (client)";
    platform::sleepMs(500); // let the start settle
    auto first = sampleThreads();
    if (!mpd)
        resident.demo = statusKb("VmRSS");
    platform::sleepMs(uint32_t(seconds) * 1000);
    auto last = sampleThreads();
    stop = true;
    pump.join();
    const uint32_t answered = app.keepalivesAnswered() - answeredBefore;
    if (lost || !statusRoundTrips(app, 1, nullptr))
        return fail("the app lost its session while idle");

    std::printf("%s idle: tandravole-host, %s, one app logged in with keep-alive %u s, "
                "nothing playing, %d s\n",
                mpd ? "5b." : "2.", mpd ? "MPD, idle" : "demo library", unsigned(kKeepaliveSeconds),
                seconds);
    std::printf("   %-8s %-16s %-36s %12s %10s\n", "thread", "name", "role", "wake-ups/s",
                "% of core");
    double hostWakes = 0, hostCpu = 0, allWakes = 0, allCpu = 0;
    for (const auto& [id, now] : last) {
        auto then = first.find(id);
        if (then == first.end())
            continue; // started during the interval
        const double wakes = double(now.switches - then->second.switches) / seconds;
        const double cpu = double(now.cpuNs - then->second.cpuNs) / (seconds * 1e7);
        const std::string r = role.count(id) ? role[id] : "host: (unidentified)";
        std::printf("   %-8ld %-16s %-36s %12.2f %9.4f%%\n", id, now.name.c_str(), r.c_str(), wakes,
                    cpu);
        allWakes += wakes;
        allCpu += cpu;
        if (r.starts_with("host:")) {
            hostWakes += wakes;
            hostCpu += cpu;
        }
    }
    std::printf("   host threads: %.2f wake-ups/s, %.4f %% of one core (targets < 5, < 0.05 %%): "
                "%s\n",
                hostWakes, hostCpu, hostWakes < 5 && hostCpu < 0.05 ? "met" : "MISSED");
    std::printf("   whole process: %.2f wake-ups/s, %.4f %% of one core; probes answered: %u\n",
                allWakes, allCpu, answered);
    // The bench's own threads wake for their own reasons (its app looks once a second).
    std::printf("   the process without the bench's threads: %.2f wake-ups/s (target < 1.5): "
                "%s\n\n",
                hostWakes, hostWakes < 1.5 ? "met" : "MISSED");
    app.close();
    host.stop();
    return host.stoppedCleanly() || fail("the host did not stop cleanly");
}

bool measureLargeLibrary(const fs::path& dir, Resident& resident) {
    const size_t tracks = 100000;
    const fs::path file = dir / "library-100000.json";
    { std::ofstream(file) << simhost::libraryToJson(simhost::syntheticLibrary(tracks)); }
    resident.written = statusKb("VmRSS");
    auto loadStart = std::chrono::steady_clock::now();
    RunningHost host(dir / "data", file.string());
    const uint16_t port = host.waitForPort();
    if (port == 0)
        return false;
    const double loadMs = bench::microsecondsSince(loadStart) / 1000;
    resident.loaded = statusKb("VmRSS");
    remote::RemoteClient app;
    if (!connectApp(app, port, 0))
        return false;

    std::vector<double> ms;
    wire::ReceivedMessage m;
    uint64_t wireBytes = 0;
    const uint32_t envelopesBefore = app.envelopesOpened();
    for (uint32_t request = 1; request <= 5; ++request) {
        const uint64_t bytesBefore = app.bytesReceived();
        auto start = std::chrono::steady_clock::now();
        if (!app.query(wire::QUERY_ARTISTS, request))
            return fail("artist query: send failed");
        ClientStatus s = app.waitForType(wire::MSG_LIBRARY_LIST, m, 60000);
        if (s != ClientStatus::Ok)
            return fail(std::string("artist list: ") + remote::describeStatus(s));
        ms.push_back(bench::microsecondsSince(start) / 1000);
        wireBytes = app.bytesReceived() - bytesBefore;
    }
    auto list = remote::decodeAs<wire::LibraryListMessage>(m);
    if (!list)
        return fail("the artist list does not decode");
    resident.served = statusKb("VmRSS");
    const size_t plainBytes = wire::kHeaderSize + m.payload.size();

    std::printf("3. artist list, %zu-track library (%s), extended lists\n", tracks,
                file.filename().string().c_str());
    std::printf("   host start with the library file: %.0f ms\n", loadMs);
    std::printf("   request -> MSG_LIBRARY_LIST: first %.1f ms, median of 5 %.1f ms\n", ms[0],
                bench::percentiles(ms).p50);
    std::printf("   %u artists; %llu bytes on the wire for a %zu-byte plain frame (%.1f %%), "
                "%u envelope(s) in 5 replies\n\n",
                list->count, static_cast<unsigned long long>(wireBytes), plainBytes,
                100.0 * double(wireBytes) / double(plainBytes),
                app.envelopesOpened() - envelopesBefore);
    app.close();
    host.stop();
    return host.stoppedCleanly() || fail("the host did not stop cleanly");
}

// Status round trips through the MPD player against the simulated one, and the artist list and
// a search on a generated MPD library, then the idle figures with MPD.
bool measureMpd(const fs::path& dir, int idleSeconds, Resident& resident) {
    std::string missing;
    if (!mpd_test::toolsPresent(missing)) {
        std::printf("5. MPD: skipped, %s\n", missing.c_str());
        return true;
    }
    const int artists = 100, albums = 10, tracks = 10;
    mpd_test::MpdServer server({});
    auto madeAt = std::chrono::steady_clock::now();
    if (!server.addGeneratedAlbums(artists, albums, tracks) || !server.start())
        return fail("MPD: " + server.problem());
    const double madeS = bench::microsecondsSince(madeAt) / 1e6;
    RunningHost sim(dir / "data-sim", "");
    auto loadAt = std::chrono::steady_clock::now();
    RunningHost mpd(dir / "data-mpd", "", server.address());
    const uint16_t simPort = sim.waitForPort(), mpdPort = mpd.waitForPort();
    const double loadMs = bench::microsecondsSince(loadAt) / 1000;
    remote::RemoteClient simApp, mpdApp;
    if (simPort == 0 || mpdPort == 0 || !connectApp(simApp, simPort, 0) ||
        !connectApp(mpdApp, mpdPort, 0))
        return false;
    const int blocks = 10, perBlock = 500;
    std::vector<double> simUs, mpdUs;
    if (!takingTurns(simApp, mpdApp, blocks, perBlock, simUs, mpdUs))
        return false;
    bench::Percentiles sp = bench::percentiles(simUs), mp = bench::percentiles(mpdUs);
    std::printf("5. MPD: %d tracks generated and scanned by mpd in %.1f s; the host started "
                "with them in %.0f ms\n",
                artists * albums * tracks, madeS, loadMs);
    std::printf("   MSG_QUERY 2 -> MSG_PLAYER_STATUS, %d each, in blocks of %d taking turns\n",
                blocks * perBlock, perBlock);
    bench::printRow("tandravole-host, simulated", sp);
    bench::printRow("tandravole-host, MPD", mp);
    std::printf("   MPD/simulated: p50 %.2f, p99 %.2f (target p99 <= 1.50): %s\n", mp.p50 / sp.p50,
                mp.p99 / sp.p99, mp.p99 <= 1.5 * sp.p99 ? "met" : "MISSED");

    auto timed = [&](const std::function<bool()>& send, const char* what) {
        std::vector<double> ms;
        wire::ReceivedMessage m;
        for (int i = 0; i < 5; ++i) {
            auto start = std::chrono::steady_clock::now();
            if (!send() || mpdApp.waitForType(wire::MSG_LIBRARY_LIST, m, 60000) != ClientStatus::Ok)
                return fail(std::string("MPD: ") + what);
            ms.push_back(bench::microsecondsSince(start) / 1000);
        }
        auto list = remote::decodeAs<wire::LibraryListMessage>(m);
        std::printf("   %-28s first %.1f ms, median of 5 %.1f ms, %u entries\n", what, ms[0],
                    bench::percentiles(ms).p50, list ? list->count : 0);
        return true;
    };
    uint32_t id = 0;
    if (!timed([&] { return mpdApp.query(wire::QUERY_ARTISTS, ++id); }, "artist list") ||
        !timed(
            [&] {
                wire::SearchMessage q;
                q.searchId = ++id;
                q.text = "track 7";
                return mpdApp.send(q);
            },
            "search \"track 7\""))
        return false;
    simApp.close();
    mpdApp.close();
    sim.stop();
    mpd.stop();
    std::printf("\n");
    return measureIdle(dir, idleSeconds, resident, server.address());
}

} // namespace

int main(int argc, char** argv) {
    const bool option = argc == 3 && std::strcmp(argv[1], "--idle-seconds") == 0;
    const int idleSeconds = option ? std::atoi(argv[2]) : 60;
    if ((argc != 1 && !option) || idleSeconds <= 0 || idleSeconds > 3600) {
        std::fprintf(stderr, "usage: host_bench [--idle-seconds 1..3600]\n");
        return 2;
    }
    Resident kb;
    kb.start = statusKb("VmRSS");
    if (kb.start == 0 || threadIds().empty()) {
        std::fprintf(stderr, "host_bench needs /proc/self (Linux)\n");
        return 2;
    }
    platform::socketStartup();
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path dir = fs::temp_directory_path() / ("host_bench-" + std::to_string(stamp));
    std::error_code error;
    if (!fs::create_directories(dir, error)) {
        fail("cannot create " + dir.string() + ": " + error.message());
        return 1;
    }

    const bool ok = measureRoundTrips(dir) && measureIdle(dir, idleSeconds, kb) &&
                    measureLargeLibrary(dir, kb) && measureMpd(dir, idleSeconds, kb);
    if (ok) {
        auto row = [&kb](const char* what, uint64_t value) {
            std::printf("   %-58s %8llu kB  %+8lld kB\n", what,
                        static_cast<unsigned long long>(value),
                        static_cast<long long>(value) - static_cast<long long>(kb.start));
        };
        std::printf("4. resident memory (VmRSS), and its growth over the process's start\n");
        row("the process's start", kb.start);
        row("host, demo library, one idle app", kb.demo);
        row("100,000-track file written, generated library freed", kb.written);
        row("host, 100,000-track library, listening", kb.loaded);
        row("host, 100,000-track library, after 5 artist lists", kb.served);
        row("peak (VmHWM)", statusKb("VmHWM"));
    }
    fs::remove_all(dir, error);
    return ok ? 0 : 1;
}
