// The player's stock equalizer presets, kept in the registry as the player keeps them: one
// REG_SZ value per preset under the presets key, twelve UTF-16 code units each (the preamp,
// ten bands, a terminating NUL), a level L in 0..200 written as the code 110 - L * 62 / 200.
#pragma once

#include "host/HostAutomation.h"

#include <array>
#include <cstdint>
#include <string>

namespace simhost {

struct StockPreset {
    const char16_t* name;
    int32_t preamp;                // player scale, -100..100
    std::array<int32_t, 10> bands; // 60 Hz .. 16 kHz
};

// Where the player keeps its presets (the player-object layer knows the path).
using host::presetsKeyPath;

// The twelve code units of a preset value.
std::u16string encodePresetValue(const StockPreset& preset);

// Writes the stock presets unless the presets key already exists (a person's own presets are
// never replaced). Returns a description of what failed, or an empty text.
std::string installEqualizerPresets(int32_t majorVersion);

const StockPreset* stockPresets(size_t& count);

} // namespace simhost
