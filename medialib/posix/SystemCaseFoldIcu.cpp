// Case folding on POSIX: ICU's simple case folding (Unicode's CaseFolding.txt, C and S lines).
#include "medialib/SystemCaseFold.h"

#include <unicode/uchar.h>

namespace medialib {

std::u16string systemCaseFoldTable() {
    std::u16string table(0x10000, u'\0');
    for (UChar32 c = 0; c < 0x10000; ++c) {
        const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
        table[size_t(c)] = char16_t(f < 0x10000 ? f : c);
    }
    return table;
}

} // namespace medialib
