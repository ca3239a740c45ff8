// The local version, the web site's answer and the texts of the boxes.
#include "services/update/UpdateCheck.h"

#include "common/Utf.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <tuple>

using services::update::PackFileVersion;
using services::update::ParseVersionAnswer;

namespace {

using Version = std::array<uint16_t, 4>;

TEST(UpdateVersionTest, FileVersionTextsPackIntoOneNumber) {
    const std::pair<std::u16string, uint32_t> cases[] = {
        {u"1.7.4.0", 0x01070400u},
        {u"4, 0, 0, 0", 0x04000000u},
        // Empty pieces do not count, with either separator.
        {u"1,,2,3,4,", 0x01020304u},
        {u".1..2.3.4", 0x01020304u},
        // Anything but four pieces gives 0; "1.2,3.4" is two pieces at ',' and '.' is not tried.
        {u"1.2.3", 0u},
        {u"1.2.3.4.5", 0u},
        {u"1.2,3.4", 0u},
        // Each piece is a signed 32-bit number, white space and junk around it, cut to 8 bits.
        {u"junk.x.y.z", 0u},
        {u" \t7.8b.+9. 10 build", 0x0708090Au},
        {u"\r1.\n2.\v3.\f4", 0x01020304u},
        {u"300.256.511.1", 0x2C00FF01u},
        {u"-1.-2.- 3.0", 0xFFFE0000u},
        // Beyond the 32-bit range the number is clamped: 0x7FFFFFFF and -0x80000000.
        {u"99999999999.-99999999999.2147483647.-2147483648", 0xFF00FF00u},
        {u"2147483648.-2147483649.1.1", 0xFF000101u},
    };
    for (const auto& [text, packed] : cases)
        EXPECT_EQ(PackFileVersion(text), packed) << utf16ToUtf8(text);
    EXPECT_EQ(services::update::TranslationKey(0x0409, 0x04B0), u"040904b0");
    // From the project's version at the top of the build, packed by the build itself.
    EXPECT_EQ(services::update::GetModuleFileVersion(),
              uint32_t(TANDRAVOLE_EXPECTED_PACKED_VERSION));
}

// Two to four pieces, padded with zeros; each an unsigned 16-bit number or zero; the text ends
// at the first NUL.
TEST(UpdateVersionTest, AnswersParseIntoFourPieces) {
    const std::pair<std::string, std::optional<Version>> cases[] = {
        {"1.7.5", Version{1, 7, 5, 0}},
        {"1.7", Version{1, 7, 0, 0}},
        {"1.2.3.4", Version{1, 2, 3, 4}},
        {"1..8", Version{1, 8, 0, 0}},
        {".3.4.", Version{3, 4, 0, 0}},
        {"2", std::nullopt},
        {"2...", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"", std::nullopt},
        {std::string("1.2\0.3.4.5", 10), Version{1, 2, 0, 0}},
        {std::string("3\0.4", 4), std::nullopt},
        {"65535.65536", Version{65535, 0, 0, 0}},
        {"99999999999999999999.1", Version{0, 1, 0, 0}},
        {"x.3", Version{0, 3, 0, 0}},
        {" 3.+4.5rc\n", Version{3, 4, 5, 0}},
        {"\r\t1.\f2.\v3.\n4", Version{1, 2, 3, 4}},
        {"-1.-0.2", Version{0, 0, 2, 0}},
    };
    for (const auto& [answer, version] : cases)
        EXPECT_EQ(ParseVersionAnswer(answer), version) << answer;
    EXPECT_FALSE(services::update::IsAcceptableAnswerSize(0));
    EXPECT_TRUE(services::update::IsAcceptableAnswerSize(1));
    EXPECT_TRUE(services::update::IsAcceptableAnswerSize(128));
    EXPECT_FALSE(services::update::IsAcceptableAnswerSize(129));
}

// The remote version is compared major first; a newer one is returned as the text sent, an
// older one without text, and an answer that is no version fails (the parse table has more of
// those). Outputs that come in filled come out cleared.
TEST(UpdateVersionTest, TheAnswerIsComparedWithTheLocalVersion) {
    constexpr uint32_t k1740 = 0x01070400, kMax = 0xFFFFFFFF;
    const std::tuple<std::string, uint32_t, bool, bool> cases[] = {
        // answer, local, ok, newer
        {"1.7.5", k1740, true, true},
        {"1.7.4.1", k1740, true, true},
        {"1.8", k1740, true, true},
        {"1.7.4.0", k1740, true, false},
        {"1.7", k1740, true, false},
        {"1.7.3.9", k1740, true, false},
        {"1.6.300", k1740, true, false},
        {"0.255.255.255", k1740, true, false},
        {"255.255.255.300", kMax, true, true}, // a part above 255 beats any local part
        {"255.255.255.255", kMax, true, false},
        {"0.0.0.1", 0, true, true}, // an unreadable local version loses to all but 0.0.0.0
        {"0.0.0.0", 0, true, false},
        {"2", k1740, false, false},
    };
    for (const auto& [answer, local, ok, newer] : cases) {
        std::string text = "stale";
        bool isNewer = true;
        EXPECT_EQ(services::update::EvaluateAnswer(answer, local, text, isNewer), ok) << answer;
        EXPECT_EQ(isNewer, newer) << answer;
        EXPECT_EQ(text, newer ? answer : "") << answer;
    }
    // The box's text widens byte by byte: a byte above 0x7F becomes the unit of the same value.
    EXPECT_EQ(services::update::NewVersionText("2.0\xE9\x80"),
              u"A new version (2.0\u00E9\u0080) is available for download at "
              u"https://www.tandravole.com");
}

} // namespace
