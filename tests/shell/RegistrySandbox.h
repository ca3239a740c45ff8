// A registry of the test's own for the life of the object (the seam's file-backed store in a
// fresh temporary folder), and the registry below a root as sorted lines, one a key: its path,
// then its values sorted by name ("@" for the default value): text as 'text', a DWORD as its
// number.
#pragma once

#include "common/Utf.h"
#include "platform/Registry.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace shell_tests {

class RegistrySandbox {
public:
    RegistrySandbox() { platform::setRegistryStoreFile((dir_.path / "registry").string()); }
    // Every later change fails: a folder stands where the store's file should be.
    void refuseChanges() {
        std::filesystem::remove(dir_.path / "registry");
        std::filesystem::create_directories(dir_.path / "registry" / "blocked");
    }

private:
    const testing_support::TempFolder dir_;
};

using Lines = std::vector<std::string>;

inline void dumpKey(platform::RegistryRoot root, const std::u16string& path, Lines& out) {
    platform::RegistryKey key;
    if (!key.open(root, path))
        return;
    std::set<std::string> values; // sorted by name
    platform::RegistryValue v;
    for (uint32_t i = 0; key.enumValue(i, v) == platform::RegistryEnum::Ok; ++i) {
        auto dword = key.readDword(v.name);
        values.insert(" " + (v.name.empty() ? "@" : utf16ToUtf8(v.name)) + "=" +
                      (dword ? std::to_string(*dword)
                             : "'" + utf16ToUtf8(key.readString(v.name).value_or(u"?")) + "'"));
    }
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
