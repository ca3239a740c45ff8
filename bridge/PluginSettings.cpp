#include "bridge/PluginSettings.h"

#include "common/Md5.h"
#include "common/Xtea.h"
#include "platform/Registry.h"

#include <algorithm>

using platform::RegistryKey;
using platform::RegistryRoot;
namespace value = settings_value;

const uint32_t PasswordKey[4] = {0xCC89B9EE, 0xB402327F, 0x1BA48036, 0x0CE1AD54};

namespace {

constexpr size_t kDigestSize = 16;
constexpr size_t kMinStoredPassword = 24; // one 8-byte block of text, then the digest

uint32_t clampedCoverQuality(uint32_t quality) {
    return quality <= 2 ? quality : 2;
}

bool storedPasswordSizeFits(size_t size) {
    return size >= kMinStoredPassword && size % 8 == 0;
}

void readBool(const RegistryKey& key, std::u16string_view name, bool& field) {
    if (auto v = key.readDword(name))
        field = *v != 0;
}

// Booleans as exactly 0 or 1.
platform::RegistryValue dwordValue(std::u16string_view name, uint32_t value) {
    return {std::u16string(name),
            uint32_t(platform::RegistryType::Dword),
            {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)}};
}

platform::RegistryValue qwordValue(std::u16string_view name, uint64_t value) {
    platform::RegistryValue v{std::u16string(name), uint32_t(platform::RegistryType::Qword), {}};
    for (int i = 0; i < 8; ++i)
        v.data.push_back(uint8_t(value >> (8 * i)));
    return v;
}

} // namespace

std::vector<uint8_t> EncodePassword(std::u16string_view password) {
    if (password.empty())
        return {};
    // The text and at least one terminating NUL, rounded up to whole blocks.
    size_t textSize = (2 * password.size() + 2 + 7) / 8 * 8;
    std::vector<uint8_t> out(textSize + kDigestSize, 0);
    for (size_t i = 0; i < password.size(); ++i) {
        out[2 * i] = uint8_t(password[i] & 0xFF);
        out[2 * i + 1] = uint8_t(password[i] >> 8);
    }
    Md5Digest digest = md5(out.data(), textSize);
    std::copy(digest.begin(), digest.end(), out.begin() + std::ptrdiff_t(textSize));
    xteaCbcEncipher(out.data(), out.size(), PasswordKey);
    return out;
}

std::optional<std::u16string> DecodePassword(const std::vector<uint8_t>& stored) {
    if (!storedPasswordSizeFits(stored.size()))
        return std::nullopt;
    std::vector<uint8_t> plain = stored;
    xteaCbcDecipher(plain.data(), plain.size(), PasswordKey);
    size_t textSize = plain.size() - kDigestSize;
    Md5Digest digest = md5(plain.data(), textSize);
    if (!std::equal(digest.begin(), digest.end(), plain.begin() + std::ptrdiff_t(textSize)))
        return std::nullopt;
    std::u16string password;
    for (size_t i = 0; i + 1 < textSize; i += 2) {
        char16_t c = char16_t(plain[i] | plain[i + 1] << 8);
        if (c == 0)
            break;
        password += c;
    }
    return password;
}

void LoadSettings(PluginSettings& settings) {
    RegistryKey key;
    if (!key.open(RegistryRoot::CurrentUser, kSettingsKeyPath)) {
        settings = PluginSettings{};
        return;
    }
    // Each value is taken only with its own type and size; anything else keeps the field.
    if (auto port = key.readDword(value::kPort))
        settings.port = uint16_t(*port & 0xFFFF);
    readBool(key, value::kBonjour, settings.bonjour);
    readBool(key, value::kEnabled, settings.enabled);
    readBool(key, value::kAllowKick, settings.allowKick);
    readBool(key, value::kSendUpdateNotification, settings.sendUpdateNotification);
    readBool(key, value::kHaveUpdateNotification, settings.haveUpdateNotification);
    readBool(key, value::kUpdateCheck, settings.updateCheck);
    if (auto when = key.readQword(value::kLastUpdateCheck))
        settings.lastUpdateCheck = *when;
    if (auto quality = key.readDword(value::kCoverQuality))
        settings.coverQuality = clampedCoverQuality(*quality);
    if (auto stored = key.readBinary(value::kPassword))
        if (auto password = DecodePassword(*stored)) // refuses a size no password gives
            settings.password = std::move(*password);
}

void SaveSettings(const PluginSettings& settings) {
    std::vector<platform::RegistryValue> values = {
        dwordValue(value::kCoverQuality, clampedCoverQuality(settings.coverQuality)),
        dwordValue(value::kEnabled, settings.enabled),
        dwordValue(value::kAllowKick, settings.allowKick),
        dwordValue(value::kSendUpdateNotification, settings.sendUpdateNotification),
        dwordValue(value::kHaveUpdateNotification, settings.haveUpdateNotification),
        dwordValue(value::kBonjour, settings.bonjour),
        dwordValue(value::kUpdateCheck, settings.updateCheck),
        qwordValue(value::kLastUpdateCheck, settings.lastUpdateCheck),
        dwordValue(value::kPort, settings.port),
    };
    std::vector<std::u16string> remove;
    if (settings.password.empty())
        remove.emplace_back(value::kPassword);
    else
        values.push_back({std::u16string(value::kPassword),
                          uint32_t(platform::RegistryType::Binary),
                          EncodePassword(settings.password)});
    // One change: a process that dies in the middle of a save leaves the old record or the
    // new one, never some values of each.
    platform::writeRegistryValues(RegistryRoot::CurrentUser, kSettingsKeyPath, values, remove);
}
