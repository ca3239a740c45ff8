// The text form of the file-backed registry store (POSIX): what a store file holds, how it
// is read and how it is written. Lines of a file:
//   # Tandravole registry store: ...            the first line, always
//   [HKEY_CURRENT_USER\\Software\\Example]      a key (full path, root first)
//   "name"=4:2a000000                           a value: type number, raw bytes in hex
//   # end of store                              the last line, always
// In key paths and value names, quotes, backslashes (the path separator too) and closing
// brackets are escaped with a backslash and code units outside printable ASCII are written as
// \uXXXX. Other lines starting with '#' are comments. A file that breaks any of these rules is
// damaged. Keys are compared case-insensitively (ASCII letters), as in the real registry.
#pragma once

#include "platform/Registry.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform::store_file {

struct StoredKey {
    std::u16string path; // as first created, root prefix included
    std::vector<RegistryValue> values;
};

using KeyMap = std::map<std::u16string, StoredKey>; // by lowered full path

// Far above any store of settings and presets; a larger file is not one of ours.
constexpr size_t kMaxStoreSize = 16u << 20;

// "HKEY_CURRENT_USER" and its siblings.
const char16_t* rootName(RegistryRoot root);
// ASCII letters lowered, for comparing names as the registry does.
std::u16string lowered(std::u16string_view s);
bool sameName(std::u16string_view a, std::u16string_view b);
// Trims separators at both ends and collapses repeated ones.
std::u16string cleanPath(std::u16string_view path);
// The root's name, then the cleaned path.
std::u16string fullPath(RegistryRoot root, std::u16string_view path);
StoredKey* findIn(KeyMap& keys, const std::u16string& full);
// Parents exist whenever a child does, as in the real registry.
StoredKey& createIn(KeyMap& keys, const std::u16string& full);
// The same within `room` characters of key names: the names of the keys it adds (the key and
// its missing parents) are taken from `room`; where they would not fit, it adds nothing and
// returns null. Its work is in proportion to the names it adds, so a deep path cannot make a
// file's reading take time or memory out of proportion to the file.
StoredKey* createIn(KeyMap& keys, const std::u16string& full, size_t& room);
// Parses a whole store file into keys; on failure `why` says what is wrong and where.
bool parseStore(std::string_view text, KeyMap& keys, std::string& why);
// The file's text for the keys; parseStore reads it back into the same keys.
std::string serialise(const KeyMap& keys);

} // namespace platform::store_file
