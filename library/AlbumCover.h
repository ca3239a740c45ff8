// The host side of an album cover request: which file stands for the album, which image the
// host keeps for it, and that image's bytes. Called on the host's thread.
#pragma once

#include "host/HostAutomation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace library {

// Image size codes of the host's image path call: a small and a large thumbnail.
constexpr int32_t kSmallImage = 3;
constexpr int32_t kLargeImage = 4;
// Requests for a size above this get the large thumbnail.
constexpr uint16_t kSmallImageMaxSize = 64;

// Looks up the first file of the album (UTF-8) by album artist, then, when that finds none,
// by artist, asks the host for its image path (the large thumbnail above 64, else the small
// one) and reads that file whole into `image`. An empty `artist` is filled with the file's
// album artist, or its artist when that is empty too: the artist the reply names. False, with
// `image` left as it was, when no file, no image path or no readable image was found, or a
// host call failed.
bool lookupAlbumCover(host::HostObject* root, const std::string& album, uint16_t requestedSize,
                      std::string& artist, std::vector<uint8_t>& image);

} // namespace library
