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
#include <random>

using namespace platform;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes dword(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// Every field away from its default, and the same again with each boolean flipped, so a value
// read into the wrong field shows in one of the two.
PluginSettings unusual() {
    PluginSettings s;
    s.enabled = false;
    s.bonjour = true;
    s.password = u"secret";
    s.port = 8080;
    s.coverQuality = 1;
    s.updateCheck = false;
    s.allowKick = true;
    s.lastUpdateCheck = 0x01DA0123456789ABull;
    s.sendUpdateNotification = false;
    s.haveUpdateNotification = true;
    return s;
}

PluginSettings flipped(PluginSettings s) {
    s.enabled = !s.enabled;
    s.bonjour = !s.bonjour;
    s.updateCheck = !s.updateCheck;
    s.allowKick = !s.allowKick;
    s.sendUpdateNotification = !s.sendUpdateNotification;
    s.haveUpdateNotification = !s.haveUpdateNotification;
    s.port = 1;
    s.coverQuality = 0;
    s.lastUpdateCheck = 1;
    s.password = u"other one";
    return s;
}

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
    PluginSettings loaded() {
        PluginSettings s;
        LoadSettings(s);
        return s;
    }
    fs::path dir;
};

TEST_F(PluginSettingsTest, WithoutTheKeyEveryFieldGetsItsDefault) {
    PluginSettings s = flipped(unusual());
    LoadSettings(s);
    EXPECT_TRUE(s.enabled);
    EXPECT_TRUE(s.bonjour);
    EXPECT_EQ(s.password, u"");
    EXPECT_EQ(s.port, 19371);
    EXPECT_EQ(s.coverQuality, 2u);
    EXPECT_TRUE(s.updateCheck);
    EXPECT_FALSE(s.allowKick);
    EXPECT_EQ(s.lastUpdateCheck, 0u);
    EXPECT_FALSE(s.sendUpdateNotification);
    EXPECT_FALSE(s.haveUpdateNotification);
    EXPECT_EQ(s, PluginSettings{}); // and the constructor's record is the same
}

TEST_F(PluginSettingsTest, MissingValuesKeepWhatTheRecordHad) {
    store(u"port", RegistryType::Dword, dword(1234));
    PluginSettings s = unusual();
    LoadSettings(s);
    PluginSettings expected = unusual();
    expected.port = 1234;
    EXPECT_EQ(s, expected);
}

TEST_F(PluginSettingsTest, WholeRecordsRoundTrip) {
    for (const PluginSettings& s : {unusual(), flipped(unusual())}) {
        SaveSettings(s);
        EXPECT_EQ(loaded(), s);
    }
}

TEST_F(PluginSettingsTest, PortKeepsItsLow16BitsAndQualityIsClampedBothWays) {
    const std::pair<uint32_t, uint16_t> ports[] = {
        {70000, 4464}, {65535, 65535}, {65536, 0}, {0x0001FFFF, 65535}};
    for (auto [raw, port] : ports) {
        store(u"port", RegistryType::Dword, dword(raw));
        EXPECT_EQ(loaded().port, port) << raw;
    }
    const std::pair<uint32_t, uint32_t> qualities[] = {{0, 0}, {1, 1}, {2, 2},
                                                       {3, 2}, {7, 2}, {0xFFFFFFFF, 2}};
    for (auto [raw, quality] : qualities) {
        store(u"coverQuality", RegistryType::Dword, dword(raw));
        EXPECT_EQ(loaded().coverQuality, quality) << raw;
        PluginSettings s;
        s.coverQuality = raw;
        SaveSettings(s);
        EXPECT_EQ(stored(u"coverQuality")->data, dword(quality)) << raw;
    }
    PluginSettings s;
    s.port = 65535;
    SaveSettings(s);
    auto port = stored(u"port");
    EXPECT_EQ(port->type, uint32_t(RegistryType::Dword));
    EXPECT_EQ(port->data, (Bytes{0xFF, 0xFF, 0x00, 0x00}));
}

TEST_F(PluginSettingsTest, BooleansAreWrittenAsZeroOrOneAndAnyNonZeroReadsTrue) {
    const char16_t* names[] = {u"enabled",
                               u"bonjour",
                               u"updateCheck",
                               u"allowKick",
                               u"sendUpdateNotification",
                               u"haveUpdateNotification"};
    PluginSettings on = unusual(), off = unusual();
    on.enabled = on.bonjour = on.updateCheck = on.allowKick = on.sendUpdateNotification =
        on.haveUpdateNotification = true;
    off.enabled = off.bonjour = off.updateCheck = off.allowKick = off.sendUpdateNotification =
        off.haveUpdateNotification = false;
    for (auto [record, bytes] : {std::pair{on, dword(1)}, std::pair{off, dword(0)}}) {
        SaveSettings(record);
        for (const char16_t* name : names) {
            auto v = stored(name);
            ASSERT_TRUE(v);
            EXPECT_EQ(v->type, uint32_t(RegistryType::Dword));
            EXPECT_EQ(v->data, bytes);
        }
    }
    for (uint32_t raw : {2u, 0x100u, 0x80000000u, 0xFFFFFFFFu}) {
        for (const char16_t* name : names)
            store(name, RegistryType::Dword, dword(raw));
        PluginSettings s = off;
        LoadSettings(s);
        EXPECT_EQ(s, on) << raw;
    }
}

TEST_F(PluginSettingsTest, ValuesOfAnotherTypeOrSizeAreIgnored) {
    const PluginSettings defaults;
    struct Case {
        const char16_t* name;
        RegistryType type;
        Bytes data;
    };
    const Case cases[] = {
        {u"port", RegistryType::String, {'1', 0, '2', 0, 0, 0}},
        {u"port", RegistryType::Dword, {0x50, 0x00, 0x00}},
        {u"port", RegistryType::Dword, {0x50, 0x00, 0x00, 0x00, 0x00}},
        {u"port", RegistryType::Qword, {0x50, 0, 0, 0, 0, 0, 0, 0}},
        {u"port", RegistryType::Binary, {0x50, 0, 0, 0}},
        {u"lastUpdateCheck", RegistryType::Dword, dword(5)},
        {u"lastUpdateCheck", RegistryType::Qword, {5, 0, 0, 0, 0, 0, 0}},
        {u"lastUpdateCheck", RegistryType::Binary, {5, 0, 0, 0, 0, 0, 0, 0}},
        {u"enabled", RegistryType::Binary, {0, 0, 0, 0}},
        {u"allowKick", RegistryType::Qword, {1, 0, 0, 0, 0, 0, 0, 0}},
        {u"coverQuality", RegistryType::String, {'0', 0, 0, 0}},
    };
    for (const Case& c : cases) {
        store(c.name, c.type, c.data);
        EXPECT_EQ(loaded(), defaults) << utf16ToUtf8(c.name);
        deleteRegistryTree(RegistryRoot::CurrentUser, kSettingsKeyPath);
    }
    store(u"lastUpdateCheck", RegistryType::Qword, {1, 2, 3, 4, 5, 6, 7, 0x88});
    EXPECT_EQ(loaded().lastUpdateCheck, 0x8807060504030201ull);
}

TEST_F(PluginSettingsTest, SavingAnEmptyPasswordDeletesTheValue) {
    PluginSettings s;
    s.password = u"x";
    SaveSettings(s);
    ASSERT_TRUE(stored(u"password"));
    s.password.clear();
    SaveSettings(s);
    EXPECT_FALSE(stored(u"password"));
    EXPECT_EQ(loaded().password, u"");
    EXPECT_TRUE(EncodePassword(u"").empty());
}

TEST_F(PluginSettingsTest, StoredPasswordSizeFollowsTheTextAndItsTerminator) {
    // 2n + 2 bytes rounded up to a multiple of 8, then 16 bytes of digest.
    const std::pair<std::u16string, size_t> sizes[] = {
        {u"a", 24}, {u"abc", 24}, {u"abcd", 32}, {u"abcdefg", 32}, {u"abcdefgh", 40}};
    for (const auto& [password, size] : sizes) {
        PluginSettings s;
        s.password = password;
        SaveSettings(s);
        auto v = stored(u"password");
        ASSERT_TRUE(v);
        EXPECT_EQ(v->type, uint32_t(RegistryType::Binary));
        EXPECT_EQ(v->data.size(), size) << password.size();
        EXPECT_EQ(loaded().password, password);
    }
}

TEST_F(PluginSettingsTest, EncodedPasswordMatchesKnownBytes) {
    // Computed independently of this code; any change of key, cycles, chaining, initial
    // vector, padding or digest placement changes them.
    const Bytes known = {0xdd, 0xb2, 0x30, 0x70, 0x4c, 0x6a, 0xe5, 0x56, 0x05, 0xf3, 0x24,
                         0x57, 0x3e, 0xe0, 0xe3, 0xb1, 0x9a, 0x12, 0x2f, 0xeb, 0x48, 0xa0,
                         0xda, 0x8b, 0x97, 0x7d, 0xc3, 0x5a, 0x6a, 0x12, 0x81, 0x86};
    EXPECT_EQ(EncodePassword(u"Tv4\u00e9"), known);
    EXPECT_EQ(DecodePassword(known), u"Tv4\u00e9");
}

TEST_F(PluginSettingsTest, StoredPasswordsThatDoNotFitAreIgnored) {
    Bytes good = EncodePassword(u"a"); // 24 bytes
    Bytes badDigest = good;
    badDigest[23] ^= 0x01;
    Bytes badText = good;
    badText[0] ^= 0x80;
    Bytes otherKey(24, 0);
    otherKey[0] = 'a';
    Md5Digest d = md5(otherKey.data(), 8);
    std::copy(d.begin(), d.end(), otherKey.begin() + 8);
    const uint32_t wrongKey[4] = {1, 2, 3, 4};
    xteaCbcEncipher(otherKey.data(), otherKey.size(), wrongKey);
    Bytes cut = EncodePassword(u"abcd"); // 32 bytes, the digest no longer at the end
    cut.resize(24);

    const std::pair<RegistryType, Bytes> cases[] = {
        {RegistryType::Binary, Bytes(good.begin(), good.begin() + 16)},
        {RegistryType::Binary, Bytes(30, 0x41)},
        {RegistryType::Binary, Bytes(good.begin(), good.begin() + 23)},
        {RegistryType::String, good},
        {RegistryType::Binary, badDigest},
        {RegistryType::Binary, badText},
        {RegistryType::Binary, otherKey},
        {RegistryType::Binary, cut},
    };
    for (const auto& [type, data] : cases) {
        store(u"password", type, data);
        EXPECT_EQ(loaded().password, u"") << data.size();
        if (type == RegistryType::Binary) {
            EXPECT_FALSE(DecodePassword(data)) << data.size();
        }
    }
    store(u"password", RegistryType::Binary, good);
    EXPECT_EQ(loaded().password, u"a");
    for (size_t size : {0, 8, 16, 23})
        EXPECT_FALSE(DecodePassword(Bytes(size, 0))) << size;
}

TEST_F(PluginSettingsTest, DecodedTextEndsAtTheFirstNulOrTheDigest) {
    // Values another writer could make: the digest is right, the text is not NUL-terminated,
    // or text follows the first NUL.
    auto encipher = [](Bytes text) {
        Md5Digest d = md5(text.data(), text.size());
        text.insert(text.end(), d.begin(), d.end());
        xteaCbcEncipher(text.data(), text.size(), PasswordKey);
        return text;
    };
    EXPECT_EQ(DecodePassword(encipher({'A', 0, 'B', 0, 'C', 0, 'D', 0})), u"ABCD");
    EXPECT_EQ(DecodePassword(encipher({'A', 0, 0, 0, 'C', 0, 'D', 0})), u"A");
    EXPECT_EQ(DecodePassword(encipher({0xAC, 0x20, 0, 0, 0, 0, 0, 0})), u"\u20AC");
}

TEST_F(PluginSettingsTest, NonAsciiPasswordsRoundTripAndReachTheLoginAsUtf8) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"p\u00e4ss\u20ac", "p\xc3\xa4ss\xe2\x82\xac"},
        {u"\U0001F3B5x", "\xf0\x9f\x8e\xb5x"}, // a surrogate pair: three code units, 24 bytes
    };
    for (const auto& [password, utf8] : cases) {
        PluginSettings s;
        s.password = password;
        SaveSettings(s);
        std::u16string back = loaded().password;
        EXPECT_EQ(back, password);
        EXPECT_EQ(utf16ToUtf8(back), utf8);
    }
    EXPECT_EQ(stored(u"password")->data.size(), 24u);
}

TEST_F(PluginSettingsTest, SaveWritesTheValuesInItsOrder) {
    if (registryStoreFile().empty())
        GTEST_SKIP() << "the registry lists values in its own order";
    PluginSettings s;
    s.password = u"pw";
    SaveSettings(s);
    RegistryKey key;
    ASSERT_TRUE(key.open(RegistryRoot::CurrentUser, kSettingsKeyPath));
    std::vector<std::u16string> names;
    RegistryValue v;
    for (uint32_t i = 0; key.enumValue(i, v) == RegistryEnum::Ok; ++i)
        names.push_back(v.name);
    const std::vector<std::u16string> expected = {u"coverQuality",
                                                  u"enabled",
                                                  u"allowKick",
                                                  u"sendUpdateNotification",
                                                  u"haveUpdateNotification",
                                                  u"bonjour",
                                                  u"updateCheck",
                                                  u"lastUpdateCheck",
                                                  u"port",
                                                  u"password"};
    EXPECT_EQ(names, expected);
}

} // namespace
