#include "simhost/Presets.h"

#include "platform/Registry.h"

#include <cmath>
#include <string>

namespace simhost {
namespace {

const StockPreset kPresets[] = {
    {u"Flat", 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {u"Rock", 0, {40, 25, -10, -25, -10, 20, 45, 55, 55, 55}},
    {u"Pop", 0, {-15, 15, 35, 40, 25, 0, -10, -15, -15, -15}},
    {u"Jazz", 0, {25, 15, 0, 15, -15, -15, 0, 15, 25, 30}},
    {u"Classical", 0, {0, 0, 0, 0, 0, 0, -25, -25, -25, -35}},
    {u"Bass Boost", -20, {60, 45, 25, 5, 0, 0, 0, 0, 0, 0}},
    {u"Vocal", 0, {-20, -15, 5, 35, 40, 30, 10, 0, -5, -10}},
    {u"R\u00e9tro Salon", 10, {-30, -10, 20, 35, 30, 10, -20, -40, -50, -60}},
};

char16_t code(int32_t playerLevel) {
    double level = playerLevel + 100.0; // 0..200
    return char16_t(std::lround(110.0 - level * 62.0 / 200.0));
}

} // namespace

const StockPreset* stockPresets(size_t& count) {
    count = sizeof kPresets / sizeof kPresets[0];
    return kPresets;
}

std::u16string encodePresetValue(const StockPreset& preset) {
    std::u16string units;
    units += code(preset.preamp);
    for (int32_t b : preset.bands)
        units += code(b);
    units += u'\0';
    return units;
}

std::string installEqualizerPresets(int32_t majorVersion) {
    using namespace platform;
    std::u16string path = presetsKeyPath(majorVersion);
    RegistryKey key;
    if (key.open(RegistryRoot::CurrentUser, path))
        return {};
    std::vector<RegistryValue> values;
    for (const auto& p : kPresets) {
        RegistryValue v{p.name, uint32_t(RegistryType::String), {}};
        for (char16_t c : encodePresetValue(p)) {
            v.data.push_back(uint8_t(c & 0xFF));
            v.data.push_back(uint8_t(c >> 8));
        }
        values.push_back(std::move(v));
    }
    // The key and every preset in one change: a first start that dies in the middle leaves no
    // key, and the next start writes them all, rather than a key that stops at some preset.
    if (!writeRegistryValues(RegistryRoot::CurrentUser, path, values))
        return "cannot write the equalizer presets";
    return {};
}

} // namespace simhost
