// The stored password's decoder: any bytes as the stored value. A value it accepts has a size a
// stored password can have, yields a text without NUL, and that text encodes into a value that
// decodes to it again. The same bytes read as UTF-16 code units are a password to encode:
// decoding gives it back up to its first NUL.
#include "bridge/PluginSettings.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> stored(data, data + size);
    if (auto password = DecodePassword(stored)) {
        FUZZ_CHECK(size >= 24 && size % 8 == 0);
        FUZZ_CHECK(password->find(u'\0') == std::u16string::npos);
        if (!password->empty()) {
            std::vector<uint8_t> again = EncodePassword(*password);
            FUZZ_CHECK(again.size() <= size);
            FUZZ_CHECK(DecodePassword(again) == password);
        }
    }
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text += char16_t(data[i] | data[i + 1] << 8);
    if (!text.empty()) {
        std::vector<uint8_t> encoded = EncodePassword(text);
        FUZZ_CHECK(encoded.size() >= 24 && encoded.size() % 8 == 0);
        FUZZ_CHECK(DecodePassword(encoded) == text.substr(0, text.find(u'\0')));
    }
    return 0;
}
