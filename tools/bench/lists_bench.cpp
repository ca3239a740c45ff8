// A large track-list reply as the engine sends it: build the WinampMediaLibraryListTracks,
// encode the MSG_LIBRARY_LIST payload and wrap it in the high-compression envelope; compared
// with LZ4_compress_HC at level 9 alone on the same payload bytes, in the same run.
//   lists_bench [track count, default 100000] [runs, default 5]
#include "server/wire/Frame.h"
#include "server/wire/WinampMediaLibraryList.h"

#include <lz4.h>
#include <lz4hc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Texts shaped like a real library: a few thousand artists and albums, varied titles.
struct Source {
    std::vector<std::string> artists, albums, words;
    explicit Source(size_t tracks) {
        static const char* syllables[] = {"ka", "lo", "mi",  "ren", "sa", "tu", "vel", "zor",
                                          "an", "be", "cho", "dri", "el", "fa", "gin", "ho"};
        uint32_t seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
        auto word = [&](int parts) {
            std::string w;
            for (int i = 0; i < parts; ++i)
                w += syllables[next() % 16];
            w[0] = char(w[0] - 32);
            return w;
        };
        for (size_t i = 0; i < tracks / 40 + 1; ++i)
            artists.push_back(word(2) + " " + word(3));
        for (size_t i = 0; i < tracks / 10 + 1; ++i)
            albums.push_back(word(3) + " " + word(2));
        for (size_t i = 0; i < 2000; ++i)
            words.push_back(word(1 + int(next() % 3)));
    }
};

std::vector<uint8_t> buildPayload(const Source& src, size_t count) {
    LibraryTrackList list;
    list.entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        TrackEntry<std::string> e;
        e.artist = src.artists[(i / 40) % src.artists.size()];
        e.album = src.albums[(i / 10) % src.albums.size()];
        e.name = src.words[(i * 7) % src.words.size()] + " " +
                 src.words[(i * 13 + 5) % src.words.size()];
        e.durationSeconds = uint32_t(120 + i % 300);
        e.trackNumber = uint16_t(i % 10 + 1);
        e.number11 = uint16_t(i % 5);
        e.rating = uint8_t(i % 6);
        list.add(std::move(e));
    }
    // MSG_LIBRARY_LIST payload: u32 request id, u32 count, u8 code, entries.
    const uint64_t size = list.encodedSize();
    std::vector<uint8_t> payload(9 + size_t(size));
    const uint32_t requestId = 7, n = uint32_t(list.count());
    std::memcpy(payload.data(), &requestId, 4); // little-endian hosts only, like the wire
    std::memcpy(payload.data() + 4, &n, 4);
    payload[8] = uint8_t(listKindCode(list.kind));
    list.encode(payload.data() + 9);
    return payload;
}

} // namespace

int main(int argc, char** argv) {
    const size_t tracks = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 100000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const Source src(tracks);

    std::vector<double> pipeline, buildEncode, hcAlone;
    size_t payloadBytes = 0, envelopeBytes = 0, hcBytes = 0;
    for (int r = 0; r < runs; ++r) {
        // Build, encode and compress, as the engine does for one reply.
        auto start = Clock::now();
        std::vector<uint8_t> payload = buildPayload(src, tracks);
        const double built = msSince(start);
        std::vector<uint8_t> envelope = wire::buildCompressedFrame(
            wire::MSG_LIBRARY_LIST, payload.data(), payload.size(), wire::CompressionMode::High);
        pipeline.push_back(msSince(start));
        buildEncode.push_back(built);
        payloadBytes = payload.size();
        envelopeBytes = envelope.size();

        // LZ4_compress_HC at level 9 alone on the same bytes, into a worst-case buffer.
        start = Clock::now();
        const int bound = LZ4_compressBound(int(payload.size()));
        std::vector<char> out(static_cast<size_t>(bound));
        const int n = LZ4_compress_HC(reinterpret_cast<const char*>(payload.data()), out.data(),
                                      int(payload.size()), bound, 9);
        hcAlone.push_back(msSince(start));
        hcBytes = size_t(n);
    }

    const double p = median(pipeline), b = median(buildEncode), h = median(hcAlone);
    std::printf("tracks: %zu, runs: %d (medians)\n", tracks, runs);
    std::printf("payload: %zu bytes, envelope: %zu bytes, HC alone: %zu bytes\n", payloadBytes,
                envelopeBytes, hcBytes);
    std::printf("build + encode:            %9.2f ms\n", b);
    std::printf("build + encode + compress: %9.2f ms\n", p);
    std::printf("LZ4_compress_HC level 9:   %9.2f ms\n", h);
    std::printf("ratio (whole reply / HC alone): %.3f (target <= 1.3)\n", p / h);
    return 0;
}
