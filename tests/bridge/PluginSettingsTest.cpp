// The settings record against the registry seam: defaults, narrowing and clamping, type and
// size checks, and the enciphered password. On POSIX the store lives in a temporary file; on
// Windows the tests use the real registry of the test prefix.
#include "bridge/PluginSettings.h"
#include "common/Md5.h"
#include "common/Utf.h"
#include "common/Xtea.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>

using namespace platform;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes dword(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

const char16_t* const kBooleans[] = {u"enabled",
                                     u"bonjour",
                                     u"allowKick",
                                     u"updateCheck",
                                     u"sendUpdateNotification",
                                     u"haveUpdateNotification"};

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
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir = fs::temp_directory_path() / ("tandravole-settings-" + std::to_string(stamp) + "-" +
                                           std::to_string(std::random_device{}()));
        setRegistryStoreFile((dir / "registry").string());
        deleteRegistryTree(RegistryRoot::CurrentUser, kSettingsKeyPath);
    }
    void TearDown() override {
        deleteRegistryTree(RegistryRoot::CurrentUser, kSettingsKeyPath);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void store(std::u16string_view name, RegistryType type, const Bytes& data) {
        RegistryKey key;
        ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, kSettingsKeyPath));
        ASSERT_TRUE(key.writeValue(name, uint32_t(type), data));
    }
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
    fs::path dir;
};

TEST_F(PluginSettingsTest, DefaultsWholeRecordsAndTheValuesAsStored) {
    // No key: the defaults, whatever the record held; then whole records round trip.
    EXPECT_EQ(loaded(kUnusual[0]), (PluginSettings{true, true, u"", 19371, 2, true, false, 0}));
    for (const PluginSettings& record : kUnusual) {
        SaveSettings(record);
        EXPECT_EQ(loaded(), record) << record.port;
    }
    // A value read alone into the defaults: the port keeps its low 16 bits, the quality is
    // clamped, any non-zero boolean is true; another type or size leaves the field alone.
    using Field = std::function<void(PluginSettings&)>;
    const auto port = [](uint16_t p) { return Field([p](PluginSettings& s) { s.port = p; }); };
    const auto quality = [](uint32_t q) {
        return Field([q](PluginSettings& s) { s.coverQuality = q; });
    };
    const Field kicks = [](PluginSettings& s) { s.allowKick = true; };
    // clang-format off
    const std::tuple<const char16_t*, RegistryType, Bytes, Field> cases[] = {
        {u"port", RegistryType::Dword, dword(65535), port(65535)},
        {u"port", RegistryType::Dword, dword(65536), port(0)},
        {u"port", RegistryType::String, {'1', 0, '2', 0, 0, 0}, {}},
        {u"port", RegistryType::Dword, {0x50, 0, 0}, {}},
        {u"port", RegistryType::Dword, {0x50, 0, 0, 0, 0}, {}},
        {u"port", RegistryType::Qword, {0x50, 0, 0, 0, 0, 0, 0, 0}, {}},
        {u"coverQuality", RegistryType::Dword, dword(0), quality(0)},
        {u"coverQuality", RegistryType::Dword, dword(2), quality(2)},
        {u"coverQuality", RegistryType::Dword, dword(3), quality(2)},
        {u"allowKick", RegistryType::Dword, dword(2), kicks},
        {u"enabled", RegistryType::Binary, {0, 0, 0, 0}, {}},
        {u"lastUpdateCheck", RegistryType::Dword, dword(5), {}},
        {u"lastUpdateCheck", RegistryType::Qword, {5, 0, 0, 0, 0, 0, 0}, {}},
        {u"lastUpdateCheck", RegistryType::Qword, {1, 2, 3, 4, 5, 6, 7, 0x88},
         [](PluginSettings& s) { s.lastUpdateCheck = 0x8807060504030201ull; }},
    };
    // clang-format on
    for (const auto& [name, type, data, field] : cases) {
        deleteRegistryTree(RegistryRoot::CurrentUser, kSettingsKeyPath);
        store(name, type, data);
        PluginSettings expected;
        if (field)
            field(expected);
        EXPECT_EQ(loaded(), expected) << utf16ToUtf8(name) << " " << data.size();
    }
    // Written: the quality clamped, the port in 32 bits, booleans as exactly 0 or 1.
    PluginSettings on{true, true, u"", 65535, 7, true, true, 0, true, true};
    SaveSettings(on);
    EXPECT_EQ(stored(u"coverQuality")->data, dword(2));
    EXPECT_EQ(stored(u"port")->data, (Bytes{0xFF, 0xFF, 0x00, 0x00}));
    for (auto [record, bytes] : {std::pair{on, dword(1)}, std::pair{PluginSettings{}, dword(0)}}) {
        record.enabled = record.bonjour = record.updateCheck = bytes == dword(1);
        SaveSettings(record);
        for (const char16_t* name : kBooleans) {
            EXPECT_EQ(stored(name)->type, uint32_t(RegistryType::Dword));
            EXPECT_EQ(stored(name)->data, bytes);
        }
    }
}

TEST_F(PluginSettingsTest, PasswordsAreStoredInBlocksAfterTheirTerminatorAndEmptyOnesDeleted) {
    // 2n + 2 bytes rounded up to a multiple of 8, then 16 bytes of digest; a surrogate pair is
    // two code units. Read back, they reach the login as UTF-8.
    for (auto [password, size, utf8] :
         {std::tuple<std::u16string, size_t, std::string>{u"a", 24, "a"},
          {u"abc", 24, "abc"},
          {u"abcd", 32, "abcd"},
          {u"abcdefg", 32, "abcdefg"},
          {u"abcdefgh", 40, "abcdefgh"},
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

TEST_F(PluginSettingsTest, StoredPasswordsThatDoNotFitAreIgnoredAndTextEndsAtTheFirstNul) {
    Bytes good = EncodePassword(u"a"); // 24 bytes
    Bytes badDigest = good, badText = good;
    badDigest[23] ^= 0x01;
    badText[0] ^= 0x80;
    Bytes otherKey = {'a', 0, 0, 0, 0, 0, 0, 0};
    Md5Digest d = md5(otherKey.data(), 8);
    otherKey.insert(otherKey.end(), d.begin(), d.end());
    const uint32_t wrongKey[4] = {1, 2, 3, 4};
    xteaCbcEncipher(otherKey.data(), otherKey.size(), wrongKey);
    Bytes cut = EncodePassword(u"abcd"); // 32 bytes; cut to 24 the digest is gone
    cut.resize(24);

    for (auto [type, data] : {std::pair{RegistryType::Binary, Bytes(good.begin(), good.end() - 8)},
                              {RegistryType::Binary, Bytes(30, 0x41)},
                              {RegistryType::Binary, Bytes(good.begin(), good.end() - 1)},
                              {RegistryType::String, good},
                              {RegistryType::Binary, badDigest},
                              {RegistryType::Binary, badText},
                              {RegistryType::Binary, otherKey},
                              {RegistryType::Binary, cut}}) {
        store(u"password", type, data);
        EXPECT_EQ(loaded().password, u"") << data.size();
        EXPECT_TRUE(type == RegistryType::String || !DecodePassword(data)) << data.size();
    }
    store(u"password", RegistryType::Binary, good);
    EXPECT_EQ(loaded().password, u"a");
    for (size_t size : {0, 8, 16, 23})
        EXPECT_FALSE(DecodePassword(Bytes(size, 0))) << size;
    // Decoded text ends at the first NUL or the digest. Values another writer could make: the
    // digest is right, the text is not NUL-terminated, or text follows the first NUL.
    auto encipher = [](Bytes text) {
        Md5Digest digest = md5(text.data(), text.size());
        text.insert(text.end(), digest.begin(), digest.end());
        xteaCbcEncipher(text.data(), text.size(), PasswordKey);
        return text;
    };
    EXPECT_EQ(DecodePassword(encipher({'A', 0, 'B', 0, 'C', 0, 'D', 0})), u"ABCD");
    EXPECT_EQ(DecodePassword(encipher({'A', 0, 0, 0, 'C', 0, 'D', 0})), u"A");
    EXPECT_EQ(DecodePassword(encipher({0xAC, 0x20, 0, 0, 0, 0, 0, 0})), u"\u20AC");
}

} // namespace
