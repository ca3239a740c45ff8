// Cover art for the simulated library: one generated PNG per album in two sizes, written to
// a cache folder at start-up. File names carry a hash of the album, so a changed library
// never picks up a stale picture; files already present are reused.
#pragma once

#include "medialib/Library.h"
#include "simhost/PlayerCore.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace simhost {

constexpr uint32_t kSmallCoverSize = 96;  // size code 3
constexpr uint32_t kLargeCoverSize = 300; // size codes 4 and 5

// Covers by album id for the tracks' albums (Track::albumId). Some albums are left without a
// cover on purpose, as in a real library. `problem` describes a folder or file that could not
// be written; the covers written before it are still returned.
std::map<int32_t, CoverFiles> generateCovers(const std::vector<medialib::Track>& tracks,
                                             const std::filesystem::path& folder,
                                             std::string& problem);

// The picture of one album as the bytes of a PNG file (8-bit RGB): deterministic for its title
// and artist; empty only when it cannot be encoded.
std::vector<uint8_t> renderCover(std::u16string_view album, std::u16string_view artist,
                                 uint32_t size);

} // namespace simhost
