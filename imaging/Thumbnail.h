// Album covers at the sizes the app asks for: a picture in any format the image library reads
// (JPEG, PNG, GIF, BMP, ...) scaled to fit a square and written as JPEG. Debian's stb (stb_image,
// stb_image_resize, stb_image_write) does the decoding, the filtering and the encoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imaging {

// Pictures larger than this many pixels are refused before they are decoded.
constexpr uint64_t kMaxPixels = 40'000'000;

// Scales the picture so that its longer side is `side` pixels (a smaller picture keeps its
// size) and encodes it as a JPEG of the given quality. False with `error` filled when the
// bytes are not a picture the library reads, or one too large.
bool makeThumbnail(const std::vector<uint8_t>& picture, int side, int quality,
                   std::vector<uint8_t>& jpeg, std::string& error);

} // namespace imaging
