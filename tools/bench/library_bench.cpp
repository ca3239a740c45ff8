// The library requests on a large generated library in the simulated player, through the
// same code the bridge calls: the artist list (two searches, every name ordered by the name
// collation) and the album list, and the name sort of the artist list on its own.
//   library_bench [track count, default 100000] [runs, default 5]
#include "common/Utf.h"
#include "library/LibraryQueries.h"
#include "library/NameCollation.h"
#include "simhost/DemoLibrary.h"
#include "simhost/SimPlayer.h"
#include "tools/bench/MedianTiming.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using bench::medianMs;
using bench::Timing;

size_t category(host::HostObject* root, uint32_t kind) {
    WinampMediaLibraryListBase* list = nullptr;
    bool ok = library::listLibraryCategory(root, kind, list);
    std::unique_ptr<WinampMediaLibraryListBase> owned(list);
    return ok && owned ? size_t(owned->count()) : 0;
}

} // namespace

int main(int argc, char** argv) {
    size_t tracks = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 100000;
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    simhost::SimPlayer player(simhost::syntheticLibrary(tracks, 7));
    host::HostObjectPtr root = player.root();
    std::printf("library requests on %zu generated tracks; median of %d runs\n", tracks, runs);

    size_t items = 0;
    Timing artists = medianMs(
        runs, [&] { return category(root.get(), 1); }, items);
    std::printf("artist list (category 1)  %8.1f ms (%6.1f ms processor)  (%zu names)\n",
                artists.wallMs, artists.cpuMs, items);
    size_t artistCount = items;

    Timing albums = medianMs(
        runs, [&] { return category(root.get(), 6); }, items);
    std::printf("album list (category 6)   %8.1f ms (%6.1f ms processor)  (%zu albums)\n",
                albums.wallMs, albums.cpuMs, items);

    // Ordering alone: the names compared by the collation, as the artist list inserts them.
    library::NameCollator collator;
    std::vector<std::u16string> names;
    {
        WinampMediaLibraryListBase* list = nullptr;
        library::listLibraryCategory(root.get(), 1, list);
        std::unique_ptr<WinampMediaLibraryListBase> owned(list);
        if (auto* strings = dynamic_cast<LibraryStringList*>(owned.get()))
            for (const std::string& s : strings->entries)
                names.push_back(utf8ToUtf16(s));
    }
    std::reverse(names.begin(), names.end());
    Timing sorting = medianMs(
        runs,
        [&] {
            std::vector<std::u16string> copy = names;
            std::sort(copy.begin(), copy.end(), library::NameLess{&collator});
            return copy.size();
        },
        items);
    std::printf("sorting %zu names alone   %8.1f ms (%6.1f ms processor)\n", artistCount,
                sorting.wallMs, sorting.cpuMs);
    return 0;
}
