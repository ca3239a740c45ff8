#include "bridge/TrackKey.h"

#include "common/Md5.h"

#include <vector>

namespace bridge {

TrackKey trackKeyForPath(std::u16string_view path) {
    std::vector<uint8_t> bytes;
    bytes.reserve(path.size() * 2);
    for (char16_t c : path) {
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
        bytes.push_back(uint8_t(c & 0xFF));
        bytes.push_back(uint8_t(c >> 8));
    }
    TrackKey key;
    key.bytes = md5(bytes.data(), bytes.size());
    return key;
}

} // namespace bridge
