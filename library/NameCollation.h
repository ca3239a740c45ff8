// The order of artist names in the artist list and in the one-file-per-artist selections: a
// case-sensitive linguistic order, in which two names are the same name exactly when the
// collation finds them equal.
//
// On Windows it is CompareStringW with the system's default locale and
// NORM_LINGUISTIC_CASING, the order the player's own users see in other programs. On POSIX it
// is ICU's collator for the root locale at tertiary strength (case and accents count):
// the C++ locale's collate facet would do the same only where the right locale has been
// generated on the machine, and falls back to byte order otherwise, so the order of the
// list would depend on how the machine was set up. ICU carries its own collation data, so
// the Linux host and the tests give one order everywhere. The root locale sorts accented
// letters beside their base letters ("Ångström" among the A names, "Ébène" between "Eagles"
// and "Fleetwood") and lower case before upper case of the same name.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace library {

class NameCollator {
public:
    NameCollator();
    ~NameCollator();
    NameCollator(const NameCollator&) = delete;
    NameCollator& operator=(const NameCollator&) = delete;

    // Below 0, 0 or above 0 as a sorts before, with or after b. Should the collation be
    // unavailable, UTF-16 code unit order stands in, so the order is still strict.
    int compare(std::u16string_view a, std::u16string_view b) const;

private:
    struct Backend;
    std::unique_ptr<Backend> backend_;
};

// Orders containers of names by a collator, which must outlive them.
struct NameLess {
    const NameCollator* collator;
    bool operator()(std::u16string_view a, std::u16string_view b) const {
        return collator->compare(a, b) < 0;
    }
};

// Code unit order: the collators' fallback.
int compareCodeUnits(std::u16string_view a, std::u16string_view b);

} // namespace library
