// The local version, the web site's answer and the texts of the boxes.
#include "services/update/UpdateCheck.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>

using services::update::EvaluateAnswer;
using services::update::PackFileVersion;
using services::update::ParseVersionAnswer;

namespace {

using Version = std::array<uint16_t, 4>;

constexpr uint32_t kLocal1740 = 0x01070400; // 1.7.4.0

struct Evaluated {
    bool ok;
    bool newer;
    std::string text;
    bool operator==(const Evaluated&) const = default;
};
[[maybe_unused]] void PrintTo(const Evaluated& e, std::ostream* out) {
    *out << "{ok " << e.ok << ", newer " << e.newer << ", \"" << e.text << "\"}";
}
Evaluated evaluate(std::string_view answer, uint32_t local = kLocal1740) {
    // Outputs that come in filled must come out cleared.
    Evaluated e{false, true, "stale"};
    e.ok = EvaluateAnswer(answer, local, e.text, e.newer);
    return e;
}

} // namespace

TEST(UpdateVersionTest, FileVersionTextsPackIntoOneNumber) {
    EXPECT_EQ(PackFileVersion(u"1.7.4.0"), 0x01070400u);
    EXPECT_EQ(PackFileVersion(u"4, 0, 0, 0"), 0x04000000u);
    EXPECT_EQ(PackFileVersion(u"2,1,0,3"), 0x02010003u);
    // Empty pieces do not count, with either separator.
    EXPECT_EQ(PackFileVersion(u"1,,2,3,4,"), 0x01020304u);
    EXPECT_EQ(PackFileVersion(u".1..2.3.4"), 0x01020304u);
    // Anything but four pieces gives 0.
    EXPECT_EQ(PackFileVersion(u"1.2.3"), 0u);
    EXPECT_EQ(PackFileVersion(u"1.2.3.4.5"), 0u);
    EXPECT_EQ(PackFileVersion(u"1.2,3.4"), 0u); // two pieces at ','; '.' is not tried
    EXPECT_EQ(PackFileVersion(u""), 0u);
    EXPECT_EQ(PackFileVersion(u"junk"), 0u);
}

TEST(UpdateVersionTest, EachFileVersionPieceIsASigned32BitNumberCutTo8Bits) {
    EXPECT_EQ(PackFileVersion(u"junk.x.y.z"), 0u); // pieces without a number are 0
    EXPECT_EQ(PackFileVersion(u" \t7.8b.+9. 10 build"), 0x0708090Au);
    EXPECT_EQ(PackFileVersion(u"\r1.\n2.\v3.\f4"), 0x01020304u); // all of C's white space
    EXPECT_EQ(PackFileVersion(u"300.256.511.1"), 0x2C00FF01u);   // low 8 bits only
    EXPECT_EQ(PackFileVersion(u"-1.-2.- 3.0"), 0xFFFE0000u);
    // Beyond the 32-bit range the number is clamped: 0x7FFFFFFF and -0x80000000.
    EXPECT_EQ(PackFileVersion(u"99999999999.-99999999999.2147483647.-2147483648"), 0xFF00FF00u);
    EXPECT_EQ(PackFileVersion(u"2147483648.-2147483649.1.1"), 0xFF000101u);
}

TEST(UpdateVersionTest, TranslationKeyIsLanguageThenCodePageInLowerCaseHex) {
    EXPECT_EQ(services::update::TranslationKey(0x0409, 0x04B0), u"040904b0");
    EXPECT_EQ(services::update::TranslationKey(0xABCD, 0x00EF), u"abcd00ef");
    EXPECT_EQ(services::update::TranslationKey(0, 0), u"00000000");
}

TEST(UpdateVersionTest, TheModuleCarriesTheProjectVersion) {
    // From the project's version at the top of the build, packed by the build itself.
    EXPECT_EQ(services::update::GetModuleFileVersion(),
              uint32_t(TANDRAVOLE_EXPECTED_PACKED_VERSION));
    EXPECT_NE(services::update::GetModuleFileVersion(), 0u);
}

TEST(UpdateVersionTest, AnswersOfTwoToFourPiecesArePaddedWithZeros) {
    EXPECT_EQ(ParseVersionAnswer("1.7.5"), (Version{1, 7, 5, 0}));
    EXPECT_EQ(ParseVersionAnswer("1.7"), (Version{1, 7, 0, 0}));
    EXPECT_EQ(ParseVersionAnswer("1.2.3.4"), (Version{1, 2, 3, 4}));
    EXPECT_EQ(ParseVersionAnswer("1..8"), (Version{1, 8, 0, 0}));
    EXPECT_EQ(ParseVersionAnswer(".3.4."), (Version{3, 4, 0, 0}));
    EXPECT_EQ(ParseVersionAnswer("2"), std::nullopt);
    EXPECT_EQ(ParseVersionAnswer("2..."), std::nullopt);
    EXPECT_EQ(ParseVersionAnswer("1.2.3.4.5"), std::nullopt);
    EXPECT_EQ(ParseVersionAnswer(""), std::nullopt);
    // The text ends at the first NUL.
    EXPECT_EQ(ParseVersionAnswer(std::string("1.2\0.3.4.5", 10)), (Version{1, 2, 0, 0}));
    EXPECT_EQ(ParseVersionAnswer(std::string("3\0.4", 4)), std::nullopt);
}

TEST(UpdateVersionTest, EachAnswerPieceIsAnUnsigned16BitNumberOrZero) {
    EXPECT_EQ(ParseVersionAnswer("65535.65536"), (Version{65535, 0, 0, 0}));
    EXPECT_EQ(ParseVersionAnswer("99999999999999999999.1"), (Version{0, 1, 0, 0}));
    EXPECT_EQ(ParseVersionAnswer("x.3"), (Version{0, 3, 0, 0}));
    EXPECT_EQ(ParseVersionAnswer(" 3.+4.5rc\n"), (Version{3, 4, 5, 0}));
    EXPECT_EQ(ParseVersionAnswer("\r\t1.\f2.\v3.\n4"), (Version{1, 2, 3, 4}));
    EXPECT_EQ(ParseVersionAnswer("-1.-0.2"), (Version{0, 0, 2, 0}));
}

TEST(UpdateVersionTest, TheRemoteVersionIsComparedMajorFirst) {
    EXPECT_TRUE(services::update::IsNewer({1, 7, 5, 0}, kLocal1740));
    EXPECT_TRUE(services::update::IsNewer({1, 7, 4, 1}, kLocal1740));
    EXPECT_TRUE(services::update::IsNewer({1, 8, 0, 0}, kLocal1740));
    EXPECT_TRUE(services::update::IsNewer({2, 0, 0, 0}, kLocal1740));
    EXPECT_FALSE(services::update::IsNewer({1, 7, 4, 0}, kLocal1740));
    EXPECT_FALSE(services::update::IsNewer({1, 7, 3, 9}, kLocal1740));
    EXPECT_FALSE(services::update::IsNewer({1, 6, 300, 0}, kLocal1740));
    EXPECT_FALSE(services::update::IsNewer({0, 255, 255, 255}, kLocal1740));
    // A part above 255 beats any local part.
    EXPECT_TRUE(services::update::IsNewer({255, 255, 255, 300}, 0xFFFFFFFF));
    EXPECT_FALSE(services::update::IsNewer({255, 255, 255, 255}, 0xFFFFFFFF));
    // An unreadable local version (0) loses to every version but 0.0.0.0.
    EXPECT_TRUE(services::update::IsNewer({0, 0, 0, 1}, 0));
    EXPECT_FALSE(services::update::IsNewer({0, 0, 0, 0}, 0));
}

TEST(UpdateVersionTest, ANewerAnswerIsReturnedAsItsTextAnOlderOneWithoutText) {
    EXPECT_EQ(evaluate("1.7.5"), (Evaluated{true, true, "1.7.5"}));
    EXPECT_EQ(evaluate("1.7.300"), (Evaluated{true, true, "1.7.300"}));
    EXPECT_EQ(evaluate("1..8"), (Evaluated{true, true, "1..8"})); // the text as sent
    EXPECT_EQ(evaluate(std::string("2.0\0junk", 8)), (Evaluated{true, true, "2.0"}));
    EXPECT_EQ(evaluate("1.7"), (Evaluated{true, false, ""}));
    EXPECT_EQ(evaluate("1.7.4.0"), (Evaluated{true, false, ""}));
}

TEST(UpdateVersionTest, AnAnswerThatIsNoVersionFailsWithClearedOutputs) {
    for (std::string_view answer : {"2", "1.2.3.4.5", "", "....", "<html>"})
        EXPECT_EQ(evaluate(answer), (Evaluated{false, false, ""})) << answer;
}

TEST(UpdateVersionTest, AnswersOf1To128BytesAreRead) {
    EXPECT_FALSE(services::update::IsAcceptableAnswerSize(0));
    EXPECT_TRUE(services::update::IsAcceptableAnswerSize(1));
    EXPECT_TRUE(services::update::IsAcceptableAnswerSize(128));
    EXPECT_FALSE(services::update::IsAcceptableAnswerSize(129));
}

TEST(UpdateVersionTest, TheBoxesNameTheVersionAndTheWebSite) {
    EXPECT_EQ(services::update::NewVersionText("1.7.5"),
              u"A new version (1.7.5) is available for download at https://www.tandravole.com");
    // Byte by byte: a byte above 0x7F becomes the UTF-16 unit of the same value.
    EXPECT_EQ(services::update::NewVersionText("2.0\xE9\x80"),
              u"A new version (2.0\u00E9\u0080) is available for download at "
              u"https://www.tandravole.com");
    EXPECT_EQ(services::update::webSiteAddress(), u"https://www.tandravole.com");
    services::update::VersionEndpoint product = services::update::productEndpoint();
    EXPECT_EQ(product.host, "www.tandravole.com");
    EXPECT_EQ(product.port, 443);
    EXPECT_EQ(product.testCertificateFile, "");
}
