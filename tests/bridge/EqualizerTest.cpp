// The equalizer as the app sees it (0..200 over the player's -100..100) and the presets read
// from the player's registry data at login.
#include "tests/bridge/BridgeHarness.h"

#include "simhost/Presets.h"

using namespace bridge_test;
using namespace wire;
using simhost::PlayerCore;

namespace {

// A stored preset value, little-endian UTF-16: the codes given, then 'O' (code 79: level
// 100) up to `count` code units, then a terminator.
std::vector<uint8_t> presetBytes(std::vector<uint16_t> codes, size_t count = 11) {
    codes.resize(count, 'O');
    codes.push_back(0);
    std::vector<uint8_t> bytes;
    for (uint16_t c : codes)
        bytes.insert(bytes.end(), {uint8_t(c & 0xFF), uint8_t(c >> 8)});
    return bytes;
}

} // namespace

TEST_F(BridgeTest, EqualizerReadSwitchedAndPresetsReadAtLoginSortedByBytes) {
    start();
    std::u16string path = simhost::presetsKeyPath(simhost::kSimMajorVersion);
    platform::deleteRegistryTree(platform::RegistryRoot::CurrentUser, path);
    platform::RegistryKey key;
    ASSERT_TRUE(key.create(platform::RegistryRoot::CurrentUser, path));
    uint32_t sz = uint32_t(platform::RegistryType::String);
    for (const char16_t* name : {u"Zed", u"R\u00e9tro", u"Rock", u"Pop Rock"})
        key.writeValue(name, sz, presetBytes({}));
    key.writeValue(u"apple", sz, presetBytes({'O', 48, 110, 100, 111, 0x130}));
    key.writeValue(u"Pop", sz, presetBytes({48}));
    // 22 bytes, ending in a terminator: the system adds one to a string value whose count
    // leaves it out when the next byte in memory happens to be zero, so an unterminated short
    // value could be stored as a full-size one.
    key.writeValue(u"short", sz, presetBytes({}, 10));
    key.close();

    auto app = connectAndLogin();
    inPlayer([](PlayerCore& c) {
        c.setBand(0, -10);
        for (int32_t b = 1; b <= 10; ++b)
            c.setBand(b, b * 10 - 50);
    });
    auto eq = reply<EqualizerMessage>(*app, QUERY_EQUALIZER);
    EXPECT_EQ(std::tie(eq.setting.preamp, eq.enabled, eq.range, eq.scale, eq.available),
              std::make_tuple(90, 0, 200, 12, 1));
    ASSERT_EQ(eq.setting.bands.size(), 10u);
    EXPECT_EQ(std::pair(eq.setting.bands[0], eq.setting.bands[9]),
              std::pair(EqualizerBand{60, 60}, EqualizerBand{16000, 150}));
    app->command(CMD_EQUALIZER_ON, 1);
    sync(*app);
    EXPECT_TRUE(inPlayer([](PlayerCore& c) { return c.equalizerOn; }));

    EXPECT_EQ(
        reply<EqualizerPresetsMessage>(*app, QUERY_EQUALIZER_PRESETS).names,
        (std::vector<std::string>{"Pop", "Pop Rock", "Rock", "R\xc3\xa9tro", "Zed", "apple"}));
    std::vector<EqualizerPreset> presets;
    ASSERT_TRUE(ctrl->getEqualizerPresets(presets));
    ASSERT_EQ(presets.size(), 6u);
    // 48 gives 200, 110 gives 0; 100 gives 32.2 and 111 gives -3.2, truncated towards zero;
    // a code above 0xFF is read with both its bytes (0x130: -625.8).
    std::vector<uint16_t> apple;
    for (const EqualizerBand& b : presets[5].bands)
        apple.push_back(b.value);
    EXPECT_EQ(apple, (std::vector<uint16_t>{200, 0, 32, uint16_t(-3), uint16_t(-625), 100, 100, 100,
                                            100, 100}));
    calls->clear();
    app->command(CMD_APPLY_PRESET, 6); // the count: nothing
    sync(*app);
    EXPECT_TRUE(calls->only("volume.m5(").empty());
    app->command(CMD_APPLY_PRESET, 0); // "Pop": preamp 200, flat bands
    sync(*app);
    EXPECT_EQ(inPlayer([](PlayerCore& c) { return c.bands; }),
              (std::array<int32_t, 11>{100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // Presets deleted since: the next login finds none, not the earlier ones.
    app.reset();
    ASSERT_TRUE(
        testing_support::waitUntil([&] { return ctrl->server().sessionConnection() == 0; }));
    platform::deleteRegistryTree(platform::RegistryRoot::CurrentUser, path);
    app = connectAndLogin();
    ASSERT_TRUE(ctrl->getEqualizerPresets(presets));
    EXPECT_TRUE(presets.empty());
}
