// Who the plug-in is, as registration and the settings panel show it.
#pragma once

#include <cstdint>
#include <string>

namespace shell {

// The control's class identifier in registry form (braces, upper-case hexadecimal).
inline constexpr char16_t kControlClassId[] = u"{806BC7DC-BE17-494F-BF80-985F3AA07A72}";
inline constexpr char16_t kCompany[] = u"Carvelin Software";
inline constexpr char16_t kCopyright[] = u"Copyright \u00a9 2026 Carvelin Software";

// The module's packed file version (major in the highest byte) as users see it: major "."
// minor, then "." build only when build is not 0; the revision never (1.7.4.0 gives "1.7.4",
// 2.0.0.5 gives "2.0").
std::u16string PluginVersionText(uint32_t packedVersion);

} // namespace shell
