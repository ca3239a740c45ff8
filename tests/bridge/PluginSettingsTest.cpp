// The settings record against the registry seam: defaults, narrowing and clamping, and the
// enciphered password. On POSIX the store lives in a temporary file; on Windows the tests use
// the real registry of the test prefix.
#include "bridge/PluginSettings.h"
#include "common/Utf.h"
#include "platform/Registry.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes dword(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// Three records in which each boolean follows a pattern of its own, so a value read into the
// wrong field shows in one of them; the first differs from the defaults in every field.
const PluginSettings kUnusual[] = {
    {false, false, u"secret", 8080, 1, false, true, 0x01DA0123456789AB, true, true},
    {true, false, u"other one", 8081, 0, true, false, 0x01DA0123456789AC, true, false},
    {false, true, u"\u00e9t\u00e9", 8082, 1, true, false, 0x01DA0123456789AD, false, true},
};

class PluginSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setRegistryStoreFile((dir.path / "registry").string());
        deleteRegistryTree(RegistryRoot::CurrentUser, kSettingsKeyPath);
    }
    void TearDown() override { deleteRegistryTree(RegistryRoot::CurrentUser, kSettingsKeyPath); }
    std::optional<RegistryValue> stored(std::u16string_view name) {
        RegistryKey key;
        if (!key.open(RegistryRoot::CurrentUser, kSettingsKeyPath))
            return std::nullopt;
        return key.readValue(name);
    }
    PluginSettings loaded(PluginSettings s = {}) {
        LoadSettings(s);
        return s;
    }
    testing_support::TempFolder dir;
};

TEST_F(PluginSettingsTest, DefaultsWholeRecordsAndTheValuesAsStored) {
    // No key: the defaults, whatever the record held; then whole records round trip.
    EXPECT_EQ(loaded(kUnusual[0]), (PluginSettings{true, true, u"", 19371, 2, true, false, 0}));
    for (const PluginSettings& record : kUnusual) {
        SaveSettings(record);
        EXPECT_EQ(loaded(), record) << record.port;
    }
    // Read alone into the defaults: the port keeps its low 16 bits, the quality is clamped.
    const std::tuple<const char16_t*, uint32_t, uint16_t, uint32_t> cases[] = {
        {u"port", 65535, 65535, 2},
        {u"port", 65536, 0, 2},
        {u"coverQuality", 2, 19371, 2},
        {u"coverQuality", 3, 19371, 2},
    };
    for (const auto& [name, value, port, quality] : cases) {
        deleteRegistryTree(RegistryRoot::CurrentUser, kSettingsKeyPath);
        RegistryKey key;
        ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, kSettingsKeyPath));
        ASSERT_TRUE(key.writeValue(name, uint32_t(RegistryType::Dword), dword(value)));
        key.close();
        PluginSettings got = loaded();
        EXPECT_EQ(std::tie(got.port, got.coverQuality), std::tie(port, quality)) << value;
    }
    // Written: the quality clamped, the port in 32 bits.
    SaveSettings(PluginSettings{true, true, u"", 65535, 7, true, true, 0, true, true});
    EXPECT_EQ(stored(u"coverQuality")->data, dword(2));
    EXPECT_EQ(stored(u"port")->data, (Bytes{0xFF, 0xFF, 0x00, 0x00}));
}

TEST_F(PluginSettingsTest, PasswordsAreStoredInBlocksAfterTheirTerminatorAndEmptyOnesDeleted) {
    // 2n + 2 bytes rounded up to a multiple of 8, then 16 bytes of digest; a surrogate pair is
    // two code units. Read back, they reach the login as UTF-8.
    for (auto [password, size, utf8] :
         {std::tuple<std::u16string, size_t, std::string>{u"abc", 24, "abc"},
          {u"abcd", 32, "abcd"},
          {u"p\u00e4ss\u20ac", 32, "p\xc3\xa4ss\xe2\x82\xac"},
          {u"\U0001F3B5x", 24, "\xf0\x9f\x8e\xb5x"}}) {
        PluginSettings s;
        s.password = password;
        SaveSettings(s);
        EXPECT_EQ(stored(u"password")->type, uint32_t(RegistryType::Binary));
        EXPECT_EQ(stored(u"password")->data.size(), size) << utf8;
        EXPECT_EQ(utf16ToUtf8(loaded().password), utf8);
    }
    SaveSettings(PluginSettings{});
    EXPECT_FALSE(stored(u"password"));
    EXPECT_EQ(loaded().password, u"");
    EXPECT_TRUE(EncodePassword(u"").empty());
    // Computed independently of this code; any change of key, cycles, chaining, initial
    // vector, padding or digest placement changes them.
    const Bytes known = {0xdd, 0xb2, 0x30, 0x70, 0x4c, 0x6a, 0xe5, 0x56, 0x05, 0xf3, 0x24,
                         0x57, 0x3e, 0xe0, 0xe3, 0xb1, 0x9a, 0x12, 0x2f, 0xeb, 0x48, 0xa0,
                         0xda, 0x8b, 0x97, 0x7d, 0xc3, 0x5a, 0x6a, 0x12, 0x81, 0x86};
    EXPECT_EQ(EncodePassword(u"Tv4\u00e9"), known);
    EXPECT_EQ(DecodePassword(known), u"Tv4\u00e9");
}

} // namespace
