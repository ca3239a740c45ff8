// The artist name order on POSIX: ICU's root collation at tertiary strength (see
// NameCollation.h for why ICU and not the C++ locale).
#include "library/NameCollation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

namespace library {

struct NameCollator::Backend {
    std::unique_ptr<icu::Collator> collator;
};

NameCollator::NameCollator() : backend_(std::make_unique<Backend>()) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !c)
        return;
    // Tertiary is the root collation's default; set it anyway, since names that differ only
    // in case must stay different names.
    c->setStrength(icu::Collator::TERTIARY);
    backend_->collator = std::move(c);
}

NameCollator::~NameCollator() = default;

int NameCollator::compare(std::u16string_view a, std::u16string_view b) const {
    if (!backend_->collator)
        return compareCodeUnits(a, b);
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r = backend_->collator->compare(a.data(), int32_t(a.size()), b.data(),
                                                     int32_t(b.size()), status);
    if (U_FAILURE(status))
        return compareCodeUnits(a, b);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

} // namespace library
