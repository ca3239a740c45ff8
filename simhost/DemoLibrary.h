// Libraries to start the simulated player with: the embedded demo library (no files needed)
// and large synthetic ones for benchmarks. Both are deterministic: the same arguments give
// the same tracks on every platform.
#pragma once

#include "medialib/Library.h"

#include <cstddef>
#include <cstdint>

namespace simhost {

// About 2,500 tracks: many artists (some with non-ASCII names, some whose names need escaping
// in search expressions, two that differ only in case), compilations with album artists,
// composers, genres, ratings, play counts (some never played), tracks without an album, a
// few videos, and playlists: ordinary ones, two groups, smart ones and an empty one.
medialib::LibraryData demoLibrary();

// `trackCount` tracks in albums of ordinary artists, a share of them compilations and
// singles, with three ordinary playlists.
medialib::LibraryData syntheticLibrary(size_t trackCount, uint32_t seed = 7);

} // namespace simhost
