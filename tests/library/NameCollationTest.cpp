// The artist name order's set semantics: the same name exactly when the collation finds two
// names equal (the order itself is checked through the artist list of the library queries).
#include "library/NameCollation.h"

#include <gtest/gtest.h>

#include <set>

using library::NameCollator;
using library::NameLess;

namespace {

TEST(LibraryCollation, ASetKeepsTheFirstOfEqualNames) {
    NameCollator c;
    std::set<std::u16string, NameLess> names(NameLess{&c});
    EXPECT_TRUE(names.insert(u"\u00c9b\u00e8ne").second);
    EXPECT_FALSE(names.insert(u"E\u0301be\u0300ne").second);
    EXPECT_TRUE(names.insert(u"\u00e9b\u00e8ne").second) << "lower case is another name";
    EXPECT_TRUE(names.insert(u"Ebene").second) << "without accents is another name";
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(*names.find(u"E\u0301be\u0300ne"), u"\u00c9b\u00e8ne");
    EXPECT_EQ(library::compareCodeUnits(u"b", u"a"), 1);
    EXPECT_EQ(library::compareCodeUnits(u"a", u"b"), -1);
    EXPECT_EQ(library::compareCodeUnits(u"a", u"a"), 0);
}

} // namespace
