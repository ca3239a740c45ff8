#include "medialib/TextFold.h"

#include "medialib/SystemCaseFold.h"

namespace medialib {

char16_t foldCase(char16_t c) {
    // Made once, on first use, from the system's folding (thread-safe as a static).
    static const std::u16string table = systemCaseFoldTable();
    return table[c];
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
