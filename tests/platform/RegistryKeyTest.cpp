// Deleting one key through the registry seam: refused while it has subkeys, and while it has
// values when it must be empty. POSIX: a store in a temporary file; Windows: a key of the
// test's own in the real registry.
#include "platform/Registry.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(RegistryKeyTest, OneKeyGoesOnlyWithoutSubkeysAndAnEmptyOneOnlyWithoutValues) {
    const testing_support::TempFolder temp;
    setRegistryStoreFile((temp.path / "registry").string());
    const std::u16string base = u"Software\\Tandravole\\RegistryKeyTests";
    const RegistryRoot user = RegistryRoot::CurrentUser;
    deleteRegistryTree(user, base);
    for (const char16_t* name : {u"\\Leaf", u"\\Leaf x", u"\\Valued", u"\\Parent\\Child"}) {
        RegistryKey key;
        ASSERT_TRUE(key.create(user, base + name));
        if (name == std::u16string_view(u"\\Valued"))
            key.writeDword(u"v", 1);
    }
    // In order: what must be empty, which key, whether it goes.
    const std::tuple<bool, const char16_t*, bool> steps[] = {
        {true, u"\\Valued", false},        {true, u"\\Parent", false}, {false, u"\\Parent", false},
        {false, u"\\Missing", false},      {true, u"\\Leaf", true},    {false, u"\\Valued", true},
        {false, u"\\Parent\\Child", true}, {true, u"\\Parent", true},  {false, u"", false}};
    for (auto [empty, name, goes] : steps) {
        std::u16string path = std::u16string(name).empty() ? u"" : base + name;
        EXPECT_EQ(empty ? deleteEmptyRegistryKey(user, path) : deleteRegistryKey(user, path), goes)
            << std::u16string_view(name).size();
        RegistryKey key;
        EXPECT_EQ(key.open(user, path), !goes && path != base + u"\\Missing");
    }
    RegistryKey neighbour;
    EXPECT_TRUE(neighbour.open(user, base + u"\\Leaf x")) << "a name that starts the same stays";
    deleteRegistryTree(user, base);
}
