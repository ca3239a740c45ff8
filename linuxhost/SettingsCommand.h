// tandravole-host --show-settings and --save-settings: the stored settings, read and written
// through the same store and encodings as the plug-in's settings panel (LoadSettings,
// SaveSettings, the enciphered password), in the data folder's settings file.
#pragma once

#include "bridge/PluginSettings.h"
#include "linuxhost/HostOptions.h"

#include <ostream>
#include <string>

namespace linuxhost {

// The settings as the options that would set them, one a line ("  --port 19371"), then the
// two the update check keeps; the password only as set or not.
std::string describeSettings(const PluginSettings& settings);

// Shows the stored settings, or stores the given ones over them and shows the result. Returns
// the exit code: 0, or 1 when the data folder or the settings file cannot be written.
int runSettingsCommand(const HostOptions& options, std::ostream& out, std::ostream& err);

} // namespace linuxhost
