#include "imaging/Thumbnail.h"

#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace imaging {

bool makeThumbnail(const std::vector<uint8_t>& picture, int side, int quality,
                   std::vector<uint8_t>& jpeg, std::string& error) {
    jpeg.clear();
    int width = 0, height = 0, channels = 0;
    if (picture.empty() || picture.size() > size_t(INT32_MAX) ||
        !stbi_info_from_memory(picture.data(), int(picture.size()), &width, &height, &channels)) {
        error = "not a picture the image library reads";
        return false;
    }
    if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > kMaxPixels) {
        error = "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels is too large";
        return false;
    }
    // Three channels: JPEG has no transparency, so an alpha channel is dropped.
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(picture.data(), int(picture.size()), &width, &height, &channels, 3),
        stbi_image_free);
    if (!pixels) {
        error = std::string("the picture cannot be decoded: ") + stbi_failure_reason();
        return false;
    }
    int w = width, h = height;
    std::vector<stbi_uc> scaled;
    const stbi_uc* out = pixels.get();
    if (w > side || h > side) {
        if (w >= h) {
            h = std::max(1, int(int64_t(h) * side / w));
            w = side;
        } else {
            w = std::max(1, int(int64_t(w) * side / h));
            h = side;
        }
        scaled.resize(size_t(w) * size_t(h) * 3);
        // Colour values are sRGB: the filter works on linear light, so edges keep their
        // brightness.
        if (!stbir_resize_uint8_srgb(pixels.get(), width, height, 0, scaled.data(), w, h, 0, 3,
                                     STBIR_ALPHA_CHANNEL_NONE, 0)) {
            error = "the picture cannot be scaled";
            return false;
        }
        out = scaled.data();
    }
    auto append = [](void* context, void* data, int size) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(context);
        auto* p = static_cast<const uint8_t*>(data);
        bytes->insert(bytes->end(), p, p + size);
    };
    if (!stbi_write_jpg_to_func(append, &jpeg, w, h, 3, out, quality)) {
        error = "the thumbnail cannot be encoded";
        jpeg.clear();
        return false;
    }
    return true;
}

} // namespace imaging
