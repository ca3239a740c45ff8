// Case-insensitive comparison of UTF-16 texts as the player's search does it: each code unit
// folded by the system's simple case folding (ICU's on POSIX, see SystemCaseFold.h), so every
// script with case compares without it; the texts keep their length.
#pragma once

#include <string>
#include <string_view>

namespace medialib {

char16_t foldCase(char16_t c);
std::u16string folded(std::u16string_view s);

bool equalsFolded(std::u16string_view a, std::u16string_view b);
// Whether `needle` occurs in `hay`, ignoring case; an empty needle always does.
bool containsFolded(std::u16string_view hay, std::u16string_view needle);
// <0, 0, >0 comparing folded code units.
int compareFolded(std::u16string_view a, std::u16string_view b);

} // namespace medialib
