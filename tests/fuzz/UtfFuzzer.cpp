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

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

enum class Utf8 { WellFormed, RightShape, WrongShape };

// The shape: lead bytes with the right number of continuation bytes, at most U+10FFFF. Well
// formed (RFC 3629, section 4): besides, the shortest form only and no surrogates.
Utf8 classifyUtf8(std::string_view s) {
    Utf8 result = Utf8::WellFormed;
    for (size_t i = 0; i < s.size();) {
        const uint8_t b = uint8_t(s[i]);
        const size_t ones = std::countl_one(b), extra = ones == 0 ? 0 : ones - 1;
        if (ones == 1 || ones > 4 || s.size() - i <= extra)
            return Utf8::WrongShape;
        uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80)
                return Utf8::WrongShape;
            cp = cp << 6 | (uint8_t(s[i + k]) & 0x3F);
        }
        if (cp > 0x10FFFF)
            return Utf8::WrongShape;
        const uint32_t shortest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < shortest[extra] || (cp >= 0xD800 && cp <= 0xDFFF))
            result = Utf8::RightShape;
        i += extra + 1;
    }
    return result;
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
    const Utf8 kind = classifyUtf8(bytes);
    if (kind == Utf8::WellFormed) {
        FUZZ_CHECK(wide.size() <= bytes.size());
        FUZZ_CHECK(utf16ToUtf8(wide) == bytes);
    } else if (kind == Utf8::WrongShape) {
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
