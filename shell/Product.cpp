#include "shell/Product.h"

namespace shell {

std::u16string PluginVersionText(uint32_t packedVersion) {
    auto part = [packedVersion](int shift) {
        std::string digits = std::to_string((packedVersion >> shift) & 0xFF);
        return std::u16string(digits.begin(), digits.end());
    };
    std::u16string text = part(24) + u"." + part(16);
    if ((packedVersion >> 8) & 0xFF)
        text += u"." + part(8);
    return text;
}

} // namespace shell
