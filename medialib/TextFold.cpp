#include "medialib/TextFold.h"

namespace medialib {

char16_t foldCase(char16_t c) {
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return char16_t(c + 32); // Latin-1 capitals
    if (c == 0x178)
        return 0xFF; // Y with diaeresis: its small letter is in Latin-1
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A alternates capital/small, with the run 0x139..0x148 and
        // 0x179..0x17E shifted by one.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 1) ? char16_t(c + 1) : c;
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return (c % 2 == 0) ? char16_t(c + 1) : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return char16_t(c + 32); // Greek capitals
    if (c == 0x386)
        return 0x3AC; // Greek capitals with tonos
    if (c >= 0x388 && c <= 0x38A)
        return char16_t(c + 37);
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return char16_t(c + 63);
    if (c >= 0x410 && c <= 0x42F)
        return char16_t(c + 32); // Cyrillic capitals
    if (c >= 0x400 && c <= 0x40F)
        return char16_t(c + 80);
    return c;
}

std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        c = foldCase(c);
    return out;
}

bool equalsFolded(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && foldCase(a[i]) != foldCase(b[i]))
            return false;
    return true;
}

bool containsFolded(std::u16string_view hay, std::u16string_view needle) {
    if (needle.empty())
        return true;
    if (needle.size() > hay.size())
        return false;
    char16_t first = foldCase(needle[0]);
    for (size_t i = 0; i + needle.size() <= hay.size(); ++i) {
        if (foldCase(hay[i]) != first)
            continue;
        size_t j = 1;
        while (j < needle.size() && foldCase(hay[i + j]) == foldCase(needle[j]))
            ++j;
        if (j == needle.size())
            return true;
    }
    return false;
}

int compareFolded(std::u16string_view a, std::u16string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t x = foldCase(a[i]), y = foldCase(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace medialib
