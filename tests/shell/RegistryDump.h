// The registry below a key as sorted lines, one a key: its path, then its values sorted by
// name ("@" for the default value): text as 'text', a DWORD as its number.
#pragma once

#include "common/Utf.h"
#include "platform/Registry.h"

#include <algorithm>
#include <string>
#include <vector>

namespace shell_tests {

using Lines = std::vector<std::string>;

inline void dumpKey(platform::RegistryRoot root, const std::u16string& path, Lines& out) {
    platform::RegistryKey key;
    if (!key.open(root, path))
        return;
    Lines values;
    platform::RegistryValue v;
    for (uint32_t i = 0; key.enumValue(i, v) == platform::RegistryEnum::Ok; ++i) {
        auto dword = key.readDword(v.name);
        values.push_back(" " + (v.name.empty() ? "@" : utf16ToUtf8(v.name)) + "=" +
                         (dword ? std::to_string(*dword)
                                : "'" + utf16ToUtf8(key.readString(v.name).value_or(u"?")) + "'"));
    }
    std::sort(values.begin(), values.end());
    std::string line = utf16ToUtf8(path);
    for (const std::string& value : values)
        line += value;
    if (!line.empty())
        out.push_back(line);
    std::u16string sub;
    for (uint32_t i = 0; key.enumSubKey(i, sub) == platform::RegistryEnum::Ok; ++i)
        dumpKey(root, path.empty() ? sub : path + u"\\" + sub, out);
}

inline Lines dump(platform::RegistryRoot root) {
    Lines out;
    dumpKey(root, u"", out);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace shell_tests
