// The artist name order: case-sensitive and linguistic, the same name exactly when the
// collation finds two names equal. Windows and ICU agree on the properties checked here.
#include "library/NameCollation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using library::NameCollator;
using library::NameLess;

namespace {

TEST(LibraryCollation, CaseAccentsDigitsAndPunctuation) {
    NameCollator c;
    // Names differing only in case are different names, in one consistent order.
    int cased = c.compare(u"the case study", u"The Case Study");
    EXPECT_NE(cased, 0);
    EXPECT_EQ(c.compare(u"The Case Study", u"the case study"), -cased);
    EXPECT_EQ(c.compare(u"Abba", u"Abba"), 0);
    // Accented letters sort with their base letters.
    EXPECT_LT(c.compare(u"Eagles", u"\u00c9b\u00e8ne"), 0);
    EXPECT_LT(c.compare(u"\u00c9b\u00e8ne", u"Fleetwood"), 0);
    EXPECT_LT(c.compare(u"ABBA", u"\u00c5ngstr\u00f6m"), 0);
    EXPECT_LT(c.compare(u"\u00c5ngstr\u00f6m", u"Anja"), 0);
    EXPECT_LT(c.compare(u"\u00c5ngstr\u00f6m", u"Bach"), 0);
    EXPECT_LT(c.compare(u"Zoe", u"Zo\u00eb"), 0) << "the accent decides after the letters";
    // Punctuation before digits before letters; digits one by one, not as numbers.
    EXPECT_LT(c.compare(u"(Hed) Planet Earth", u"10cc"), 0);
    EXPECT_LT(c.compare(u"10cc", u"2Pac"), 0);
    EXPECT_LT(c.compare(u"2Pac", u"ABBA"), 0);
    EXPECT_LT(c.compare(u"2Pac", u"abba"), 0);
    // A composed letter and its decomposed form are the same name.
    EXPECT_EQ(c.compare(u"\u00c9b\u00e8ne", u"E\u0301be\u0300ne"), 0);
}

TEST(LibraryCollation, ASetKeepsTheFirstOfEqualNames) {
    NameCollator c;
    std::set<std::u16string, NameLess> names(NameLess{&c});
    EXPECT_TRUE(names.insert(u"\u00c9b\u00e8ne").second);
    EXPECT_FALSE(names.insert(u"E\u0301be\u0300ne").second);
    EXPECT_TRUE(names.insert(u"\u00e9b\u00e8ne").second) << "lower case is another name";
    EXPECT_TRUE(names.insert(u"Ebene").second) << "without accents is another name";
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(names.count(u"\u00c9b\u00e8ne"), 1u);
    EXPECT_TRUE(std::find(names.begin(), names.end(), u"\u00c9b\u00e8ne") != names.end());
    EXPECT_EQ(library::compareCodeUnits(u"b", u"a"), 1);
    EXPECT_EQ(library::compareCodeUnits(u"a", u"b"), -1);
    EXPECT_EQ(library::compareCodeUnits(u"a", u"a"), 0);
}

} // namespace
