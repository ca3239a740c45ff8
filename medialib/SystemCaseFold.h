// The system's simple case folding of each UTF-16 code unit, as one table: ICU's on POSIX
// (Unicode's simple case folding), the invariant locale's lower case on Windows. Units that
// fold to nothing else in the same plane, surrogates among them, map to themselves.
#pragma once

#include <string>

namespace medialib {

// A table of 65536 units: entry c is c folded.
std::u16string systemCaseFoldTable();

} // namespace medialib
