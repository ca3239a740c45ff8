// Library browsing on a large generated library, the way the bridge does it: a search through
// the root object, then the properties of every file read one invoke at a time; and reading
// that library from its text, laid out a track per line and all on one line, and from its file
// in a process of its own: time and peak memory (the process's largest resident size).
//   simhost_bench [track count, default 100000] [runs, default 5]
//   simhost_bench --load FILE    (loads one library file and exits; the figures' child)
#include "simhost/DemoLibrary.h"
#include "simhost/LibraryJson.h"
#include "simhost/SimPlayer.h"
#include "tools/bench/MedianTiming.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace host;

namespace {

using bench::medianMs;
using bench::Timing;

// Reads the given text and integer properties of every file of a collection.
size_t readAll(HostObject* files, std::initializer_list<FileOp> texts,
               std::initializer_list<FileOp> numbers) {
    int32_t n = callMethod(files, FilesOp::Count).asInt().value_or(0);
    size_t chars = 0;
    for (int32_t i = 0; i < n; ++i) {
        HostObjectPtr f = callMethod(files, FilesOp::Item, {i}).asObject();
        for (FileOp op : texts)
            chars += getProperty(f.get(), op).text().size();
        for (FileOp op : numbers)
            chars += size_t(getProperty(f.get(), op).asInt().value_or(0) & 1);
    }
    (void)chars;
    return size_t(n);
}

// This process's peak resident memory in kB (VmHWM: of this program's image only, where a
// child's rusage would also count the parent it was forked from).
long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Loads a library file and prints how long it took and the peak memory; 0 when it loaded.
int loadOnly(const char* file) {
    auto start = std::chrono::steady_clock::now();
    std::string error;
    auto lib = simhost::loadLibraryJson(file, error);
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!lib) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%zu %.1f %ld\n", lib->tracks.size(), ms, peakResidentKb());
    return 0;
}

// This program again with --load FILE (where /proc names it): its load time and its peak
// resident memory in kB.
bool loadInChild(const std::string& file, double& ms, long& peakKb) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return false;
    const std::string figures = file + ".figures";
    const std::string command = "'" + self.string() + "' --load '" + file + "' > '" + figures + "'";
    const bool ran = std::system(command.c_str()) == 0;
    std::ifstream in(figures);
    size_t count = 0;
    const bool read = ran && (in >> count >> ms >> peakKb);
    std::filesystem::remove(figures, error);
    return read;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--load")
        return loadOnly(argv[2]);
    size_t tracks = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 100000;
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    auto genStart = std::chrono::steady_clock::now();
    simhost::SimPlayer player(simhost::syntheticLibrary(tracks, 7));
    double genMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - genStart)
            .count();
    HostObjectPtr root = player.root();
    std::printf("simulated library: %zu tracks generated in %.0f ms; median of %d runs\n", tracks,
                genMs, runs);

    size_t items = 0;
    Timing artists = medianMs(
        runs,
        [&] {
            auto a = callMethod(root.get(), RootOp::Search,
                                {u"~nodup=[Artist] [Media Type]=[Audio] -[Artist]=[]"})
                         .asObject();
            auto b = callMethod(root.get(), RootOp::Search,
                                {u"~nodup=[Album Artist (auto)] [Media Type]=[Audio] "
                                 u"-[Album Artist (auto)]=[]"})
                         .asObject();
            return readAll(a.get(), {FileOp::Artist}, {}) +
                   readAll(b.get(), {FileOp::AlbumArtist}, {});
        },
        items);
    std::printf("artist list  %8.1f ms (%6.1f ms processor)  (%zu files read)\n", artists.wallMs,
                artists.cpuMs, items);

    Timing albums = medianMs(
        runs,
        [&] {
            auto a = callMethod(root.get(), RootOp::Search,
                                {u"~sort=[Album] ~nodup=[Album],[Album Artist (auto)] "
                                 u"[Media Type]=[Audio] -[Album]=[]"})
                         .asObject();
            return readAll(a.get(), {FileOp::Album, FileOp::AlbumArtist, FileOp::Artist},
                           {FileOp::TrackNumber});
        },
        items);
    std::printf("album list   %8.1f ms (%6.1f ms processor)  (%zu albums)\n", albums.wallMs,
                albums.cpuMs, items);

    auto word = [](const char16_t* w) {
        std::u16string q = u"\"";
        return u"[Album]=" + q + w + q + u" or [Artist]=" + q + w + q + u" or [Genre]=" + q + w +
               q + u" or [Name]=" + q + w + q + u" [Media Type]=[Audio]";
    };
    Timing search = medianMs(
        runs,
        [&] {
            auto a = callMethod(root.get(), RootOp::Search, {word(u"night")}).asObject();
            callMethod(a.get(), FilesOp::Narrow, {word(u"rain")});
            return readAll(a.get(), {FileOp::Artist, FileOp::Name, FileOp::Album},
                           {FileOp::Duration, FileOp::TrackNumber, FileOp::Rating});
        },
        items);
    std::printf("word search  %8.1f ms (%6.1f ms processor)  (\"night rain\": %zu tracks)\n",
                search.wallMs, search.cpuMs, items);

    double worst = std::max({artists.wallMs, albums.wallMs, search.wallMs});
    std::printf("target: each under 200 ms -> %s\n", worst < 200 ? "met" : "NOT met");

    // Tools that minify JSON write a whole document on one line; reading it must cost what
    // the same document a track per line costs.
    const std::string perLine = simhost::libraryToJson(simhost::syntheticLibrary(tracks, 7));
    std::string oneLine = perLine;
    std::erase(oneLine, '\n'); // the writer escapes every newline inside a text
    double ms[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const std::string& doc = i == 0 ? perLine : oneLine;
        Timing parse = medianMs(
            runs,
            [&] {
                std::string error;
                auto lib = simhost::parseLibraryJson(doc, error);
                return lib ? lib->tracks.size() : 0;
            },
            items);
        ms[i] = parse.wallMs;
        std::printf("library file %8.1f ms (%6.1f ms processor)  (%zu tracks, %.1f MB, %s)\n",
                    parse.wallMs, parse.cpuMs, items, double(doc.size()) / 1e6,
                    i == 0 ? "a track per line" : "on one line");
    }
    std::printf("one line / a track per line: %.2f\n", ms[0] > 0 ? ms[1] / ms[0] : 0.0);

    // From the file, in a fresh process: what loading costs a host at start-up.
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("simhost-bench-" + std::to_string(std::time(nullptr)) + ".json"))
                                 .string();
    std::ofstream(file, std::ios::binary) << perLine;
    std::vector<double> loadMs;
    std::vector<long> peaks;
    for (int i = 0; i < runs; ++i) {
        double m = 0;
        long kb = 0;
        if (!loadInChild(file, m, kb)) {
            std::printf("library file from disk: no figures (the loading process failed, or "
                        "no /proc/self/exe)\n");
            break;
        }
        loadMs.push_back(m);
        peaks.push_back(kb);
    }
    std::filesystem::remove(file);
    if (!loadMs.empty()) {
        std::sort(loadMs.begin(), loadMs.end());
        std::sort(peaks.begin(), peaks.end());
        std::printf("library file from disk %8.1f ms, peak memory %.1f MB (a process that only "
                    "loads it; medians of %zu)\n",
                    loadMs[loadMs.size() / 2], double(peaks[peaks.size() / 2]) / 1024,
                    loadMs.size());
    }
    return 0;
}
