// Text conversion between the wire's UTF-8 and the player's UTF-16, both ways, against an
// independent well-formedness check (RFC 3629 for UTF-8, paired surrogates for UTF-16).
//
// The input is read twice: as UTF-8 bytes, and as UTF-16 code units (little-endian pairs).
// Checked:
// - well-formed UTF-8 converts, and converting the result back gives the same bytes;
// - input whose shape is wrong (a bad or missing continuation byte, a byte that starts no
//   sequence, a value beyond U+10FFFF) converts to an empty text, never a partial one;
//   overlong forms and encoded surrogates have the right shape and decode to their values;
// - the same two rules for UTF-16 input (paired surrogates).
#include "common/Utf.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// RFC 3629, section 4: the shortest form only, no surrogates, nothing above U+10FFFF.
bool wellFormedUtf8(std::string_view s) {
    size_t i = 0;
    auto in = [&](size_t at, uint8_t lo, uint8_t hi) {
        return at < s.size() && uint8_t(s[at]) >= lo && uint8_t(s[at]) <= hi;
    };
    while (i < s.size()) {
        const uint8_t b = uint8_t(s[i]);
        if (b <= 0x7F) {
            i += 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            if (!in(i + 1, 0x80, 0xBF))
                return false;
            i += 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            const uint8_t lo = b == 0xE0 ? 0xA0 : 0x80;
            const uint8_t hi = b == 0xED ? 0x9F : 0xBF;
            if (!in(i + 1, lo, hi) || !in(i + 2, 0x80, 0xBF))
                return false;
            i += 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            const uint8_t lo = b == 0xF0 ? 0x90 : 0x80;
            const uint8_t hi = b == 0xF4 ? 0x8F : 0xBF;
            if (!in(i + 1, lo, hi) || !in(i + 2, 0x80, 0xBF) || !in(i + 3, 0x80, 0xBF))
                return false;
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

// The shape alone: lead bytes with the right number of continuation bytes, at most U+10FFFF.
bool shapedLikeUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const uint8_t b = uint8_t(s[i]);
        size_t extra = b < 0x80 ? 0 : b >= 0xC0 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : 3;
        if ((b >= 0x80 && b < 0xC0) || b >= 0xF8 || i + extra >= s.size() + (extra == 0))
            return false;
        uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (uint8_t(s[i + k]) & 0x3F);
        }
        if (cp > 0x10FFFF)
            return false;
        i += extra + 1;
    }
    return true;
}

bool wellFormedUtf16(std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string wide = utf8ToUtf16(bytes);
    if (wellFormedUtf8(bytes)) {
        FUZZ_CHECK(wide.size() <= bytes.size());
        FUZZ_CHECK(utf16ToUtf8(wide) == bytes);
    } else if (!shapedLikeUtf8(bytes)) {
        FUZZ_CHECK(wide.empty());
    } else {
        FUZZ_CHECK(!bytes.empty() && !wide.empty() && wide.size() <= bytes.size());
    }

    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
    const std::string narrow = utf16ToUtf8(units);
    if (wellFormedUtf16(units)) {
        FUZZ_CHECK(narrow.size() >= units.size());
        FUZZ_CHECK(utf8ToUtf16(narrow) == units);
    } else {
        FUZZ_CHECK(narrow.empty());
    }
    return 0;
}
