#include "simhost/Covers.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace simhost {

using medialib::autoAlbumArtist;
using medialib::Track;
namespace {

using Rgb = std::array<uint8_t, 3>;

uint32_t hashText(std::u16string_view a, std::u16string_view b) {
    uint32_t h = 2166136261u;
    auto mix = [&h](std::u16string_view s) {
        for (char16_t c : s) {
            h = (h ^ (c & 0xFF)) * 16777619u;
            h = (h ^ (c >> 8)) * 16777619u;
        }
    };
    mix(a);
    h = (h ^ 0x1F) * 16777619u;
    mix(b);
    return h;
}

// Differs between writers: a random number per process and a counter within it.
std::string writerStamp() {
    static const uint32_t process = std::random_device()();
    static std::atomic<uint32_t> counter{0};
    return std::to_string(process) + "-" + std::to_string(counter.fetch_add(1));
}

Rgb mixColour(Rgb a, Rgb b, int i, int n) {
    Rgb out;
    for (int k = 0; k < 3; ++k)
        out[size_t(k)] = uint8_t((a[size_t(k)] * (n - i) + b[size_t(k)] * i) / n);
    return out;
}

Rgb colourFrom(uint32_t h) {
    return Rgb{uint8_t(40 + (h & 0xBF)), uint8_t(40 + ((h >> 8) & 0xBF)),
               uint8_t(40 + ((h >> 16) & 0xBF))};
}

} // namespace

std::vector<uint8_t> renderCover(std::u16string_view album, std::u16string_view artist,
                                 uint32_t size) {
    uint32_t h = hashText(album, artist);
    std::vector<Rgb> palette;
    Rgb from = colourFrom(h), to = colourFrom(h * 2654435761u + 97);
    for (int i = 0; i < 16; ++i)
        palette.push_back(mixColour(from, to, i, 15));
    int pattern = int(h >> 28) % 4;
    int64_t cx = int64_t(size) * (20 + (h >> 4) % 60) / 100;
    int64_t cy = int64_t(size) * (20 + (h >> 12) % 60) / 100;
    int64_t scale = std::max<int64_t>(1, size / 16);
    std::vector<uint8_t> pixels(size_t(size) * size * 3);
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x) {
            int64_t dx = int64_t(x) - cx, dy = int64_t(y) - cy, v;
            switch (pattern) {
            case 0: // rings
                v = (dx * dx + dy * dy) / (scale * scale * 4);
                break;
            case 1: // diagonal bands
                v = (int64_t(x) + int64_t(y)) / scale;
                break;
            case 2: // chequer
                v = (int64_t(x) / (scale * 2) + int64_t(y) / (scale * 2)) * 5;
                break;
            default: // gradient with a bright square
                v = (std::abs(dx) < int64_t(size) / 5 && std::abs(dy) < int64_t(size) / 5)
                        ? 15
                        : int64_t(y) * 12 / size;
                break;
            }
            const Rgb& colour = palette[size_t(v % 16)];
            std::copy(colour.begin(), colour.end(), pixels.begin() + ptrdiff_t(3 * (y * size + x)));
        }
    // Rows unfiltered: the covers are flat bands of colour that deflate well as they are, and
    // stb's search for the best filter of each row would take most of the time. Set once,
    // before the first cover of any thread.
    static const bool unfiltered = [] {
        stbi_write_force_png_filter = 0;
        return true;
    }();
    (void)unfiltered;
    std::vector<uint8_t> png;
    auto append = [](void* context, void* data, int bytes) {
        auto* out = static_cast<std::vector<uint8_t>*>(context);
        out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + bytes);
    };
    if (!stbi_write_png_to_func(append, &png, int(size), int(size), 3, pixels.data(),
                                int(size) * 3))
        png.clear();
    return png;
}

std::map<int32_t, CoverFiles> generateCovers(const std::vector<Track>& tracks,
                                             const std::filesystem::path& folder,
                                             std::string& problem) {
    std::map<int32_t, CoverFiles> covers;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        problem = "cannot create the cover folder " + folder.string() + ": " + ec.message();
        return covers;
    }
    for (const Track& t : tracks) {
        if (t.albumId < 0 || covers.count(t.albumId))
            continue;
        std::u16string_view artist = autoAlbumArtist(t);
        uint32_t h = hashText(t.album, artist);
        if (h % 20 == 7) { // about one album in twenty has no picture
            covers[t.albumId] = CoverFiles{};
            continue;
        }
        CoverFiles files;
        for (uint32_t size : {kSmallCoverSize, kLargeCoverSize}) {
            char name[64];
            std::snprintf(name, sizeof name, "album-%05d-%08x-%u.png", int(t.albumId), unsigned(h),
                          unsigned(size));
            std::filesystem::path path = folder / name;
            if (!std::filesystem::exists(path, ec)) {
                std::vector<uint8_t> png = renderCover(t.album, artist, size);
                if (png.empty()) {
                    problem = "cannot encode the cover " + path.string();
                    return covers;
                }
                // A name of this writer's own: two players (tests in parallel, a host and a
                // test) may fill the same folder at once.
                std::filesystem::path tmp = path;
                tmp += ".";
                tmp += writerStamp();
                tmp += ".tmp";
                std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
                out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
                out.close();
                if (!out) {
                    problem = "cannot write the cover " + path.string();
                    return covers;
                }
                std::filesystem::rename(tmp, path, ec);
                if (ec && std::filesystem::exists(path)) {
                    std::filesystem::remove(tmp, ec); // another writer was first
                    ec.clear();
                }
                if (ec) {
                    problem = "cannot write the cover " + path.string() + ": " + ec.message();
                    return covers;
                }
            }
            (size == kSmallCoverSize ? files.small : files.large) = path.u16string();
        }
        covers[t.albumId] = files;
    }
    return covers;
}

} // namespace simhost
