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

void writeBool(RegistryKey& key, std::u16string_view name, bool value) {
    key.writeDword(name, value ? 1 : 0);
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
    RegistryKey key;
    if (!key.create(RegistryRoot::CurrentUser, kSettingsKeyPath))
        return;
    key.writeDword(value::kCoverQuality, clampedCoverQuality(settings.coverQuality));
    writeBool(key, value::kEnabled, settings.enabled);
    writeBool(key, value::kAllowKick, settings.allowKick);
    writeBool(key, value::kSendUpdateNotification, settings.sendUpdateNotification);
    writeBool(key, value::kHaveUpdateNotification, settings.haveUpdateNotification);
    writeBool(key, value::kBonjour, settings.bonjour);
    writeBool(key, value::kUpdateCheck, settings.updateCheck);
    key.writeQword(value::kLastUpdateCheck, settings.lastUpdateCheck);
    key.writeDword(value::kPort, settings.port);
    if (settings.password.empty())
        key.deleteValue(value::kPassword);
    else
        key.writeBinary(value::kPassword, EncodePassword(settings.password));
}
