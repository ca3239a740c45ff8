// Case folding on Windows: the invariant locale's lower case, one code unit at a time (each is
// mapped alone, so a surrogate stays as it is).
#include "medialib/SystemCaseFold.h"

#include <windows.h>

namespace medialib {

std::u16string systemCaseFoldTable() {
    std::u16string table(0x10000, u'\0');
    for (size_t c = 0; c < table.size(); ++c) {
        wchar_t in = wchar_t(c), out = in;
        if (c < 0xD800 || c > 0xDFFF)
            if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &in, 1, &out, 1, nullptr,
                              nullptr, 0) != 1)
                out = in;
        table[c] = char16_t(out);
    }
    return table;
}

} // namespace medialib
