// The registrar: runs a registration script (the module's "REGISTRY" resource) over the
// registry seam, to register or to unregister. The script language is the part of the ATL
// registrar's documented syntax that our scripts use:
//
//   HKCR                                        a root block: HKCR, HKCU, HKLM or the long
//   {                                           HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
//       NoRemove CLSID                          HKEY_LOCAL_MACHINE
//       {
//           ForceRemove {806B...} = s 'Name'    a key with its default value (REG_SZ)
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'    a named value
//               }
//               'MiscStatus' = d '0'            REG_DWORD: decimal or 0x hexadecimal
//               Control                         a key without a value
//           }
//       }
//   }
//
// Tokens are separated by white space (space, tab, line ends); "{", "}" and "=" are tokens
// only when they stand alone, so a bare {GUID} is a name. A name is bare or in single quotes,
// where '' is one quote; quoted text is never a keyword. The keywords (bare, any case):
// ForceRemove, NoRemove, val, and the type letters s and d after "=". A key name cannot be
// empty or hold a backslash. Anything else of the ATL syntax (Delete, other value types,
// other roots) is refused.
//
// Replacements: "%NAME%" in any name or value text is replaced by the caller's text for NAME
// (names compared exactly), "%%" is one percent sign; an unknown name or a lone "%" is an
// error. Replacing after the text is cut into tokens means a replacement holding a quote or a
// brace (a module path such as C:\O'Brien\x.dll) stays one piece of text.
//
// What each form does:
// - Registering creates every key and writes its default value and its val values. A
//   ForceRemove key is first deleted with everything below it, then written anew; other keys
//   keep what they already hold besides what the script writes.
// - Unregistering deletes, for each key of the script that exists:
//   - ForceRemove: the key with everything below it;
//   - NoRemove: nothing of the key itself (it keeps its default value and whatever the script
//     does not name); its body is still processed: its val values go, its keys follow their
//     own flags;
//   - a plain key: the key with everything below it, unless something below it in the script
//     is NoRemove (and not inside a ForceRemove key). Then only the rest goes: every value of
//     the key, its default value included, and every subkey except those on the way to the
//     NoRemove key, which follow their own rules; the key itself stays to hold them.
//   Keys and values that do not exist are skipped silently.
//
// A script is parsed whole into a tree before anything is written, so a script that does not
// parse writes nothing. Registering stops at the first write that fails; unregistering goes on
// past a failed deletion and reports the first one.
#pragma once

#include "platform/Registry.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

enum class RegistrarMode { Register, Unregister };

// ok, or the reason: "line 7: expected '{' after the root HKCR, found 'CLSID'", or the key or
// value that could not be written or deleted.
struct RegistrarResult {
    bool ok = true;
    std::string error; // UTF-8
};

using RegistrarReplacements = std::map<std::u16string, std::u16string>;

enum class RegistrarFlag { None, ForceRemove, NoRemove };

// A value of the script: REG_SZ text or a REG_DWORD number.
struct RegistrarData {
    platform::RegistryType type = platform::RegistryType::String;
    std::u16string text;
    uint32_t number = 0;
    bool operator==(const RegistrarData&) const = default;
};

// A val value: a name and its data.
struct RegistrarValue {
    std::u16string name;
    RegistrarData data;
    bool operator==(const RegistrarValue&) const = default;
};

// A key with its flag, its default value (hasDefault) and its body.
struct RegistrarKey {
    std::u16string name;
    RegistrarFlag flag = RegistrarFlag::None;
    bool hasDefault = false;
    RegistrarData defaultValue;
    std::vector<RegistrarValue> values;
    std::vector<RegistrarKey> keys;
    bool operator==(const RegistrarKey&) const = default;
};

struct RegistrarRootBlock {
    platform::RegistryRoot root = platform::RegistryRoot::ClassesRoot;
    std::vector<RegistrarKey> keys;
    bool operator==(const RegistrarRootBlock&) const = default;
};

struct RegistrarScript {
    std::vector<RegistrarRootBlock> roots;
};

// Keys nested deeper than this (counted from the root block) are refused.
inline constexpr int kMaxRegistrarDepth = 32;

// Reads a script (UTF-8; a leading byte order mark and trailing NUL bytes are ignored) into
// `out`, with the replacements made. On failure `out` is left empty and the error names the
// line and what was expected there. Touches no registry.
RegistrarResult parseRegistrationScript(std::string_view script,
                                        const RegistrarReplacements& replacements,
                                        RegistrarScript& out);

// Writes or removes what a parsed script describes.
RegistrarResult applyRegistrationScript(const RegistrarScript& script, RegistrarMode mode);

// Parses, then applies: a script that does not parse touches nothing.
RegistrarResult runRegistrationScript(std::string_view script, RegistrarMode mode,
                                      const RegistrarReplacements& replacements);

} // namespace shell
