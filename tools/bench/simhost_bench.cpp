// Library browsing on a large generated library, the way the bridge does it: a search through
// the root object, then the properties of every file read one invoke at a time; and reading
// that library from its file, laid out a track per line and all on one line.
//   simhost_bench [track count, default 100000] [runs, default 5]
#include "simhost/DemoLibrary.h"
#include "simhost/LibraryJson.h"
#include "simhost/SimPlayer.h"
#include "tools/bench/MedianTiming.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
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

} // namespace

int main(int argc, char** argv) {
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
    return 0;
}
