// The equalizer: reading, writing and switching it through the player's volume and equalizer
// object (the player's -100..100 is the app's 0..200), and the presets read from the player's
// registry data at every login.
#include "bridge/TandravoleCtrl.h"

#include "common/Log.h"
#include "common/Utf.h"
#include "host/PlayerCalls.h"
#include "platform/Registry.h"

#include <algorithm>

using namespace bridge;
using host::HostObjectPtr;
using host::HostValue;
using host::VolumeOp;

namespace {

constexpr int32_t kNoGain = 100; // the app's level for the player's 0
constexpr int32_t kPreampBand = 0;

// A stored preset is twelve UTF-16 code units: the preamp, the ten bands and a NUL.
constexpr size_t kPresetBytes = 24;
constexpr size_t kPresetNameRoom = 255; // the longest name the enumeration has room for
constexpr uint32_t kMaxPresetValues = 65536;

// The app's level for a stored code: 79 gives 100, 48 gives 200, 110 gives 0. Codes outside
// 48..110 give levels outside 0..200, passed on as they come.
uint16_t presetLevel(uint16_t code) {
    double level = (110.0 - double(code)) * 200.0 / 62.0;
    return static_cast<uint16_t>(static_cast<int32_t>(level));
}

bool decodePreset(const platform::RegistryValue& value, EqualizerPreset& preset) {
    if (value.type != static_cast<uint32_t>(platform::RegistryType::String) ||
        value.data.size() != kPresetBytes || value.name.size() > kPresetNameRoom)
        return false;
    auto code = [&](size_t i) {
        return static_cast<uint16_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
    };
    preset.name = utf16ToUtf8(value.name);
    preset.preamp = presetLevel(code(0));
    preset.bands.clear();
    for (size_t j = 0; j < 10; ++j)
        preset.bands.push_back({kEqualizerFrequencies[j], presetLevel(code(j + 1))});
    return true;
}

} // namespace

intptr_t CTandravoleCtrl::onEqualizerRead(EqualizerSetting& setting) {
    HostObjectPtr volume = volumeObject();
    setting.preamp =
        static_cast<uint16_t>(intOf(volume.get(), VolumeOp::Band, {kPreampBand}) + kNoGain);
    setting.bands.clear();
    for (int32_t j = 0; j < 10; ++j) {
        int32_t value = intOf(volume.get(), VolumeOp::Band, {j + 1});
        setting.bands.push_back({kEqualizerFrequencies[j], static_cast<uint16_t>(value + kNoGain)});
    }
    return 1;
}

intptr_t CTandravoleCtrl::onEqualizerIsOn() {
    return boolProperty(volumeObject().get(), VolumeOp::EqualizerOn) ? 1 : 0;
}

void CTandravoleCtrl::onEqualizerEnable(bool on) {
    HostObjectPtr volume = volumeObject();
    setProperty(volume.get(), VolumeOp::EqualizerOn, HostValue::boolean(on));
    // Then the preamp is written back with its own value.
    int32_t preamp = intOf(volume.get(), VolumeOp::Band, {kPreampBand});
    run(volume.get(), VolumeOp::SetBand, {kPreampBand, preamp});
}

void CTandravoleCtrl::onEqualizerWrite(const EqualizerSetting& setting) {
    HostObjectPtr volume = volumeObject();
    run(volume.get(), VolumeOp::SetBand, {kPreampBand, int32_t(setting.preamp) - kNoGain});
    for (size_t i = 0; i < setting.bands.size(); ++i)
        run(volume.get(), VolumeOp::SetBand,
            {int32_t(i + 1), int32_t(setting.bands[i].value) - kNoGain});
}

// Connection's thread, at login: the version comes from the player directly, the presets from
// the registry; the list is replaced whole under the presets lock.
void CTandravoleCtrl::loadEqualizerPresets() {
    {
        platform::ScopedLock hold(presetsLock_);
        presets_.clear();
    }
    std::vector<EqualizerPreset> loaded;
    int32_t major = 0;
    if (!guarded("equalizer presets", [&] {
            HostObjectPtr version = objectOf(root_.get(), host::RootOp::Version);
            major = intProperty(version.get(), host::VersionOp::Major);
        }))
        return;
    platform::RegistryKey key;
    if (!key.open(platform::RegistryRoot::CurrentUser, host::presetsKeyPath(major)))
        return;
    for (uint32_t index = 0; index < kMaxPresetValues; ++index) {
        platform::RegistryValue value;
        platform::RegistryEnum r = key.enumValue(index, value);
        if (r == platform::RegistryEnum::NoMoreItems)
            break;
        EqualizerPreset preset;
        if (r == platform::RegistryEnum::Ok && decodePreset(value, preset))
            loaded.push_back(std::move(preset));
    }
    key.close();
    // Byte order of the UTF-8 names: std::string compares as unsigned char.
    std::sort(loaded.begin(), loaded.end(),
              [](const EqualizerPreset& a, const EqualizerPreset& b) { return a.name < b.name; });
    platform::ScopedLock hold(presetsLock_);
    presets_ = std::move(loaded);
}

// --- delegate operations --------------------------------------------------------------------

bool CTandravoleCtrl::getEqualizer(EqualizerSetting& setting, bool& enabled, uint16_t& range,
                                   uint8_t& scale, uint8_t& available) {
    if (send(wm::kEqualizerRead, 0, pointer(&setting)) == 0)
        return false;
    enabled = send(wm::kEqualizerOn) != 0;
    scale = kEqualizerScale;
    range = kEqualizerRange;
    available = 1;
    return true;
}

bool CTandravoleCtrl::getEqualizerPresets(std::vector<EqualizerPreset>& presets) {
    platform::ScopedLock hold(presetsLock_);
    if (&presets != &presets_)
        presets = presets_;
    return true;
}

void CTandravoleCtrl::setEqualizer(const EqualizerSetting& setting) {
    send(wm::kEqualizerWrite, 0, pointer(&setting));
}

void CTandravoleCtrl::setEqualizerEnabled(bool on) {
    send(wm::kEqualizerEnable, 0, on ? 1 : 0);
}

void CTandravoleCtrl::applyEqualizerPreset(uint32_t presetIndex) {
    EqualizerPreset preset;
    {
        platform::ScopedLock hold(presetsLock_);
        if (presetIndex >= presets_.size())
            return;
        preset = presets_[presetIndex];
    }
    send(wm::kEqualizerWrite, 0, pointer(&preset));
}
