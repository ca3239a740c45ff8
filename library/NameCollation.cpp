#include "library/NameCollation.h"

namespace library {

int compareCodeUnits(std::u16string_view a, std::u16string_view b) {
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

} // namespace library
