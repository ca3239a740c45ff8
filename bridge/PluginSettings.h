// The plug-in's ten persistent settings and their registry form: one value per field under
// HKEY_CURRENT_USER "Software\Tandravole\MediaCenter" (on POSIX, the file-backed store behind
// platform/Registry.h). The password is never stored in plain text: it is an enciphered
// binary value that carries an MD5 digest of itself, so a damaged or foreign value is
// detected and ignored.
//
// The record has no lock of its own: its owner loads it and saves it on one thread and
// guards whatever it shares with other threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Fields in their declaration order, each with its registry value name and its default.
struct PluginSettings {
    bool enabled = true;                 // "enabled": run the remote-control server
    bool bonjour = true;                 // "bonjour": advertise the server over DNS-SD
    std::u16string password;             // "password": empty means no password (value absent)
    uint16_t port = 19371;               // "port": 32 bits in the registry, low 16 kept
    uint32_t coverQuality = 2;           // "coverQuality": 0 Low, 1 Medium, 2 High
    bool updateCheck = true;             // "updateCheck": the periodic update check may run
    bool allowKick = false;              // "allowKick": a second app may take the session over
    uint64_t lastUpdateCheck = 0;        // "lastUpdateCheck": Windows file time, 0 = never
    bool sendUpdateNotification = false; // "sendUpdateNotification": tell the app at login
    bool haveUpdateNotification = false; // "haveUpdateNotification": a newer version exists

    bool operator==(const PluginSettings&) const = default;
};

// The key every setting lives under, below HKEY_CURRENT_USER.
inline constexpr std::u16string_view kSettingsKeyPath = u"Software\\Tandravole\\MediaCenter";

// The registry value of each field.
namespace settings_value {
inline constexpr std::u16string_view kEnabled = u"enabled";
inline constexpr std::u16string_view kBonjour = u"bonjour";
inline constexpr std::u16string_view kPassword = u"password";
inline constexpr std::u16string_view kPort = u"port";
inline constexpr std::u16string_view kCoverQuality = u"coverQuality";
inline constexpr std::u16string_view kUpdateCheck = u"updateCheck";
inline constexpr std::u16string_view kAllowKick = u"allowKick";
inline constexpr std::u16string_view kLastUpdateCheck = u"lastUpdateCheck";
inline constexpr std::u16string_view kSendUpdateNotification = u"sendUpdateNotification";
inline constexpr std::u16string_view kHaveUpdateNotification = u"haveUpdateNotification";
} // namespace settings_value

// All ten, in the order unregistration deletes them.
inline constexpr std::u16string_view kSettingsValueNames[] = {
    settings_value::kCoverQuality,
    settings_value::kEnabled,
    settings_value::kBonjour,
    settings_value::kPort,
    settings_value::kPassword,
    settings_value::kUpdateCheck,
    settings_value::kLastUpdateCheck,
    settings_value::kAllowKick,
    settings_value::kSendUpdateNotification,
    settings_value::kHaveUpdateNotification};

// The fixed 128-bit key of the stored password, as four 32-bit words. Changing it makes every
// stored password unreadable (it then loads as no password).
extern const uint32_t PasswordKey[4];

// Fills the record from the registry. Without the key every field gets its default. With it,
// each value is read only when its type and size are right (REG_DWORD of 4 bytes, REG_QWORD of
// 8 bytes for lastUpdateCheck, REG_BINARY of at least 24 bytes and a multiple of 8 for the
// password); otherwise the field keeps what it had. coverQuality other than 0 or 1 becomes 2,
// port keeps the low 16 bits, any non-zero boolean is true. A password that does not decode
// leaves the field as it was.
void LoadSettings(PluginSettings& settings);

// Writes the record: the DWORDs (booleans as exactly 0 or 1, coverQuality clamped to 0..2,
// port zero-extended) and lastUpdateCheck as a QWORD; an empty password deletes the value,
// any other is stored as EncodePassword makes it. All of it is one change of the store (see
// platform::writeRegistryValues), so a crash in the middle leaves the old record or the new
// one. When the key cannot be created nothing is written. Nothing is reported.
void SaveSettings(const PluginSettings& settings);

// The stored form of a password of n UTF-16 code units (n >= 1): the UTF-16LE text padded
// with zeros to T bytes, the smallest multiple of 8 that is at least 2n + 2, then the MD5
// digest of those T bytes, all enciphered with XTEA (64 cycles) in CBC mode with a zero
// initial vector under PasswordKey: T + 16 bytes. An empty password gives no bytes.
std::vector<uint8_t> EncodePassword(std::u16string_view password);

// The password in a stored value: nothing when the value is shorter than 24 bytes, not a
// multiple of 8, or its digest does not match after deciphering; otherwise the text up to the
// first NUL code unit.
std::optional<std::u16string> DecodePassword(const std::vector<uint8_t>& stored);
