// Deep key paths in the registry store's file: every key implies its parents, so a file's keys
// are held to as many characters of names, parents included, as the largest store file holds,
// and a deep path is refused instead of making the reading take time and memory out of
// proportion to the file.
#include "platform/posix/RegistryStoreFormat.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform::store_file;

namespace {

const std::string kHeader = "# Tandravole registry store\n";
const std::string kEnd = "# end of store\n";

struct CreateCase {
    const char* what;
    std::u16string existing; // created beforehand without limit, "" for none
    std::u16string path;
    size_t room;
    bool created;
    size_t roomLeft;
    size_t keysAfter;
};

// "HKEY_CURRENT_USER\\A\\B" is 21 characters, its parents 19 and 17: 57 in all.
const CreateCase kCreateCases[] = {
    {"the key and both parents, exactly in room", u"", u"HKEY_CURRENT_USER\\A\\B", 57, true, 0, 3},
    {"one character short: nothing added", u"", u"HKEY_CURRENT_USER\\A\\B", 56, false, 56, 0},
    {"an existing parent ends the walk", u"HKEY_CURRENT_USER\\A", u"HKEY_CURRENT_USER\\A\\B", 21,
     true, 0, 3},
    {"the key alone one short", u"HKEY_CURRENT_USER\\A", u"HKEY_CURRENT_USER\\A\\B", 20, false, 20,
     2},
    {"a parent found whatever its letters' case", u"hkey_current_user\\a",
     u"HKEY_CURRENT_USER\\A\\B", 21, true, 0, 3},
    {"an existing key costs nothing", u"HKEY_CURRENT_USER\\A\\B", u"hkey_current_user\\a\\b", 0,
     true, 0, 3},
};

TEST(RegistryStoreDepthTest, KeysAndTheirMissingParentsAreAddedOnlyWhereTheirNamesFit) {
    for (const CreateCase& c : kCreateCases) {
        SCOPED_TRACE(c.what);
        KeyMap keys;
        if (!c.existing.empty())
            createIn(keys, c.existing);
        size_t room = c.room;
        StoredKey* key = createIn(keys, c.path, room);
        EXPECT_EQ(key != nullptr, c.created);
        EXPECT_EQ(room, c.roomLeft);
        EXPECT_EQ(keys.size(), c.keysAfter);
        if (key) {
            EXPECT_TRUE(sameName(key->path, c.path));
            EXPECT_NE(findIn(keys, u"HKEY_CURRENT_USER\\A"), nullptr);
            EXPECT_NE(findIn(keys, u"HKEY_CURRENT_USER"), nullptr);
        }
    }
}

// A file with the key HKEY_CURRENT_USER\<a letters>\<b letters>: the names of the three keys
// it makes add up to 17 + (18 + a) + (19 + a + b).
std::string twoLevels(size_t a, size_t b) {
    return kHeader + "[HKEY_CURRENT_USER\\\\" + std::string(a, 'a') + "\\\\" + std::string(b, 'b') +
           "]\n\"v\"=4:01000000\n" + kEnd;
}

TEST(RegistryStoreDepthTest, AFileIsReadOnlyWhileItsKeysNamesFitTheLargestStore) {
    const size_t a = (kMaxStoreSize - 56) / 2; // 54 + 2a + 2 is exactly the limit
    struct {
        const char* what;
        std::string text;
        bool read;
    } cases[] = {
        {"names exactly at the limit", twoLevels(a, 2), true},
        {"one character past it", twoLevels(a, 3), false},
        // 20,000 levels of one letter: some 400 million characters of parents from 40 kB.
        {"a deep path",
         [] {
             std::string line = "[HKEY_CURRENT_USER";
             for (int i = 0; i < 20000; ++i)
                 line += "\\\\k";
             return kHeader + line + "]\n" + kEnd;
         }(),
         false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_LE(c.text.size(), kMaxStoreSize);
        KeyMap keys;
        std::string why;
        EXPECT_EQ(parseStore(c.text, keys, why), c.read) << why;
        if (c.read) {
            EXPECT_EQ(keys.size(), 3u);
        } else {
            EXPECT_NE(why.find("line 2: keys nested too deep"), std::string::npos) << why;
        }
    }
}

} // namespace
