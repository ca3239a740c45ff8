// The UTF-8 / UTF-16 converters: every sequence length at its boundaries, malformed input at
// every position of a sequence, and what the converter does with overlong forms and encoded
// surrogates (it checks the shape of sequences, not their shortest form).
#include "common/Utf.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf, EverySequenceLengthAtItsBoundaries) {
    // The last three: U+10000, U+1F3B5 and U+10FFFF.
    const std::pair<std::string, std::u16string> pairs[] = {
        {std::string("\0", 1), {0x0000}},
        {"\x7F", {0x007F}},
        {"\xC2\x80", {0x0080}},
        {"\xDF\xBF", {0x07FF}},
        {"\xE0\xA0\x80", {0x0800}},
        {"\xED\x9F\xBF", {0xD7FF}},
        {"\xEE\x80\x80", {0xE000}},
        {"\xEF\xBF\xBF", {0xFFFF}},
        {"\xF0\x90\x80\x80", {0xD800, 0xDC00}},
        {"\xF0\x9F\x8E\xB5", {0xD83C, 0xDFB5}},
        {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
    };
    for (const auto& [utf8, utf16] : pairs) {
        EXPECT_EQ(utf8ToUtf16(utf8), utf16) << utf8.size() << " bytes";
        EXPECT_EQ(utf16ToUtf8(utf16), utf8) << utf8.size() << " bytes";
        // Inside other text too.
        EXPECT_EQ(utf8ToUtf16("a" + utf8 + "z"), u"a" + utf16 + u"z");
    }
    EXPECT_EQ(utf8ToUtf16(""), u"");
    EXPECT_EQ(utf16ToUtf8(u""), "");
}

// Each multi-byte sequence with each continuation byte replaced by something that is not
// 10xxxxxx, or cut short at each position: the whole text is refused, not just the sequence.
TEST(Utf, ABadOrMissingContinuationAtAnyPositionEmptiesTheWholeText) {
    const std::string sequences[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x8E\xB5"};
    const char notContinuations[] = {'A', '\x00', '\xC3', '\xE2', '\xF0', '\xFF', '\xC0'};
    for (const std::string& sequence : sequences) {
        ASSERT_FALSE(utf8ToUtf16("ok " + sequence + " ok").empty());
        for (size_t at = 1; at < sequence.size(); ++at) {
            for (char bad : notContinuations) {
                std::string broken = sequence;
                broken[at] = bad;
                EXPECT_EQ(utf8ToUtf16("ok " + broken + " ok"), u"")
                    << sequence.size() << "-byte sequence, byte " << at << " = " << int(bad);
            }
            const std::string cut = sequence.substr(0, at);
            EXPECT_EQ(utf8ToUtf16("ok " + cut), u"") << "cut after " << at;
            EXPECT_EQ(utf8ToUtf16(cut), u"") << "cut after " << at;
        }
    }
}

// Lead bytes that start no sequence (continuation bytes, five bytes or more, beyond U+10FFFF)
// empty the text. The converter checks only the shape of a sequence: an overlong form decodes
// to the value it carries, and a surrogate written in three bytes becomes that code unit.
TEST(Utf, BadLeadBytesEmptyTheTextAndOverlongFormsAndEncodedSurrogatesDecode) {
    for (int lead = 0x80; lead <= 0xBF; ++lead)
        EXPECT_EQ(utf8ToUtf16(std::string("a") + char(lead) + "\x80\x80\x80"), u"") << lead;
    for (int lead = 0xF8; lead <= 0xFF; ++lead)
        EXPECT_EQ(utf8ToUtf16(std::string("a") + char(lead) + "\x80\x80\x80\x80\x80"), u"") << lead;
    const std::pair<const char*, std::u16string> rows[] = {
        {"\xF4\x90\x80\x80", u""},
        {"\xF5\x80\x80\x80", u""},
        {"\xC1\xBF", {0x007F}},
        {"\xE0\x9F\xBF", {0x07FF}},
        {"\xF0\x8F\xBF\xBF", {0xFFFF}},
        {"\xED\xA0\x80", {0xD800}},
        {"\xED\xA0\xBC\xED\xBE\xB5", {0xD83C, 0xDFB5}},
    };
    for (const auto& [utf8, utf16] : rows)
        EXPECT_EQ(utf8ToUtf16(utf8), utf16) << utf8;
}

TEST(Utf, AnUnpairedSurrogateEmptiesTheUtf8Text) {
    const char16_t highs[] = {0xD800, 0xDBFF};
    const char16_t lows[] = {0xDC00, 0xDFFF};
    const char16_t others[] = {u'x', 0xD7FF, 0xE000, 0xD800, 0xDBFF};
    for (char16_t high : highs) {
        EXPECT_EQ(utf16ToUtf8(u"x" + std::u16string(1, high)), "") << int(high); // at the end
        for (char16_t other : others)
            EXPECT_EQ(utf16ToUtf8(u"x" + std::u16string{high, other} + u"y"), "")
                << int(high) << " " << int(other);
        for (char16_t low : lows)
            EXPECT_EQ(utf16ToUtf8(std::u16string{high, low}).size(), 4u);
    }
    for (char16_t low : lows) {
        EXPECT_EQ(utf16ToUtf8(std::u16string(1, low)), "") << int(low);
        EXPECT_EQ(utf16ToUtf8(u"x" + std::u16string(1, low) + u"y"), "") << int(low);
    }
    // A pair cut by the end of the view: the low half beyond it is not read.
    const std::u16string pair = std::u16string(u"x") + char16_t(0xD83C) + char16_t(0xDFB5);
    EXPECT_EQ(utf16ToUtf8(std::u16string_view(pair).substr(0, 2)), "");
}

} // namespace
