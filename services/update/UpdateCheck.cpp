#include "services/update/UpdateCheck.h"

#include "bridge/TandravoleCtrl.h"
#include "common/Utf.h"

#include <limits>
#include <vector>

namespace services::update {

namespace {

// The non-empty pieces of `text` between separators.
template <class Char>
std::vector<std::basic_string_view<Char>> piecesOf(std::basic_string_view<Char> text,
                                                   Char separator) {
    std::vector<std::basic_string_view<Char>> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == text.npos)
            end = text.size();
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

template <class Char> bool isSpace(Char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
template <class Char> bool isDigit(Char c) {
    return c >= '0' && c <= '9';
}

// What follows leading white space and an optional sign, and whether the sign was a minus.
template <class Char>
std::basic_string_view<Char> skipSpaceAndSign(std::basic_string_view<Char> text, bool& negative) {
    std::size_t at = 0;
    while (at < text.size() && isSpace(text[at]))
        ++at;
    negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    return text.substr(at);
}

// The leading digits as a number, stopping once it passes `limit` (then limit + 1).
template <class Char> uint64_t leadingNumber(std::basic_string_view<Char> digits, uint64_t limit) {
    uint64_t value = 0;
    for (Char c : digits) {
        if (!isDigit(c))
            break;
        value = value * 10 + uint64_t(c - '0');
        if (value > limit)
            return limit + 1;
    }
    return value;
}

// A FileVersion piece as a signed 32-bit number, clamped to that range.
int32_t signedPiece(std::u16string_view piece) {
    bool negative = false;
    std::u16string_view digits = skipSpaceAndSign(piece, negative);
    constexpr uint64_t kMaxMagnitude = uint64_t(std::numeric_limits<int32_t>::max()) + 1;
    uint64_t magnitude = leadingNumber(digits, kMaxMagnitude);
    if (negative)
        return magnitude >= kMaxMagnitude ? std::numeric_limits<int32_t>::min()
                                          : -int32_t(magnitude);
    return magnitude >= kMaxMagnitude ? std::numeric_limits<int32_t>::max() : int32_t(magnitude);
}

// An answer piece as an unsigned 16-bit number; anything that does not fit is 0.
uint16_t unsignedPiece(std::string_view piece) {
    bool negative = false;
    std::string_view digits = skipSpaceAndSign(piece, negative);
    uint64_t value = leadingNumber(digits, 0xFFFF);
    // A negative number read as unsigned wraps far above 65535; only -0 stays 0.
    if (negative || value > 0xFFFF)
        return 0;
    return uint16_t(value);
}

} // namespace

VersionEndpoint productEndpoint() {
    return VersionEndpoint{bridge::kProductWebSite, kHttpsPort, {}};
}

std::u16string webSiteAddress() {
    return u"https://" + widenBytes(bridge::kProductWebSite);
}

uint32_t PackFileVersion(std::u16string_view fileVersion) {
    auto pieces = piecesOf(fileVersion, u',');
    if (pieces.size() == 1)
        pieces = piecesOf(pieces[0], u'.');
    if (pieces.size() != 4)
        return 0;
    uint32_t packed = 0;
    for (std::u16string_view piece : pieces)
        packed = (packed << 8) | (uint32_t(signedPiece(piece)) & 0xFF);
    return packed;
}

std::u16string TranslationKey(uint16_t language, uint16_t codePage) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    uint32_t both = (uint32_t(language) << 16) | codePage;
    std::u16string key(8, u'0');
    for (int i = 7; i >= 0; --i, both >>= 4)
        key[std::size_t(i)] = kHex[both & 0xF];
    return key;
}

bool IsAcceptableAnswerSize(std::size_t bytes) {
    return bytes >= 1 && bytes <= kMaxAnswerBytes;
}

std::optional<std::array<uint16_t, 4>> ParseVersionAnswer(std::string_view answer) {
    answer = answer.substr(0, answer.find('\0'));
    auto pieces = piecesOf(answer, '.');
    if (pieces.size() < 2 || pieces.size() > 4)
        return std::nullopt;
    std::array<uint16_t, 4> version{};
    for (std::size_t i = 0; i < pieces.size(); ++i)
        version[i] = unsignedPiece(pieces[i]);
    return version;
}

bool IsNewer(const std::array<uint16_t, 4>& remote, uint32_t localVersion) {
    for (int i = 0; i < 4; ++i) {
        uint16_t local = uint16_t((localVersion >> (24 - 8 * i)) & 0xFF);
        if (remote[std::size_t(i)] != local)
            return remote[std::size_t(i)] > local;
    }
    return false;
}

bool EvaluateAnswer(std::string_view answer, uint32_t localVersion, std::string& versionText,
                    bool& newer) {
    versionText.clear();
    newer = false;
    auto remote = ParseVersionAnswer(answer);
    if (!remote)
        return false;
    if (IsNewer(*remote, localVersion)) {
        newer = true;
        versionText = answer.substr(0, answer.find('\0'));
    }
    return true;
}

bool CheckLatestVersion(const VersionEndpoint& endpoint, std::string& versionText, bool& newer) {
    versionText.clear();
    newer = false;
    std::optional<std::string> answer = FetchVersionAnswer(endpoint);
    return answer && EvaluateAnswer(*answer, GetModuleFileVersion(), versionText, newer);
}

bool CheckLatestVersion(std::string& versionText, bool& newer) {
    return CheckLatestVersion(productEndpoint(), versionText, newer);
}

std::u16string NewVersionText(std::string_view versionText) {
    return u"A new version (" + widenBytes(versionText) + u") is available for download at " +
           webSiteAddress();
}

} // namespace services::update
