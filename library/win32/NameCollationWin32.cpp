// The artist name order on Windows: CompareStringW with the system's default locale and
// NORM_LINGUISTIC_CASING (case-sensitive, linguistic).
#include "library/NameCollation.h"

#include <windows.h>

namespace library {

struct NameCollator::Backend {};

NameCollator::NameCollator() : backend_(std::make_unique<Backend>()) {}

NameCollator::~NameCollator() = default;

int NameCollator::compare(std::u16string_view a, std::u16string_view b) const {
    // wchar_t is UTF-16 on Windows, so the code units pass as they are.
    int r = CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_LINGUISTIC_CASING,
                           reinterpret_cast<const wchar_t*>(a.data()), int(a.size()),
                           reinterpret_cast<const wchar_t*>(b.data()), int(b.size()));
    if (r == 0) // invalid arguments or flags: no order from the system
        return compareCodeUnits(a, b);
    return r - CSTR_EQUAL; // CSTR_LESS_THAN 1, CSTR_EQUAL 2, CSTR_GREATER_THAN 3
}

} // namespace library
