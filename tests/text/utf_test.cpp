// SPDX-License-Identifier: MIT
#include "text/utf.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <utility>

namespace {

using orvik::LoneSurrogates;

// Both sides of every edge between lengths, and of the surrogates: U+0000, U+007F/0080,
// U+07FF/0800, U+D7FF/E000, U+FFFF/10000, U+10FFFF.
const std::string kEdges8 = std::string(1, '\0')
    + "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F"
      "\xBF\xBF";
const std::u16string kEdges16
    = std::u16string(1, u'\0') + u"\u007F\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF";

// One U+FFFD for each byte that starts no well-formed sequence, and what follows is read afresh;
// Keep accepts encoded surrogates and nothing else.
TEST(Utf16FromUtf8, EdgesAndEachByteThatStartsNoSequence)
{
    // UTF-8, its conversion, and what Keep gives where it differs.
    const std::tuple<std::string, std::u16string, std::u16string> cases[] = {
        { kEdges8, kEdges16, {} }, { "a\x80\xF5\xFF", u"a\uFFFD\uFFFD\uFFFD", {} }, // no sequence
        { "\xC0\x80\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", {} }, // overlong
        { "\xF0\x8F\xBF\xBF\xF4\x90\x80\x80", std::u16string(8, u'\uFFFD'), {} }, // past U+10FFFF
        { "\xED\xA0\x80\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", { 0xD800, 0xDFFF } },
        { "\xE2\x82-\xF0\x9F\x98", u"\uFFFD\uFFFD-\uFFFD\uFFFD\uFFFD",
            {} }, // cut by "-", by the end
    };
    for (const auto& [utf8, replaced, kept] : cases) {
        EXPECT_EQ(orvik::Utf16FromUtf8(utf8), replaced);
        EXPECT_EQ(orvik::Utf16FromUtf8(utf8, LoneSurrogates::Keep), kept.empty() ? replaced : kept);
    }
    // Cut by the end of the view, though the bytes go on after it.
    EXPECT_EQ(orvik::Utf16FromUtf8(std::string_view("\xE2\x82\xAC", 2)), u"\uFFFD\uFFFD");
}

// A surrogate without its other half: U+FFFD, or with Keep the three bytes that decode back to it.
TEST(Utf8FromUtf16, EdgesAndLoneSurrogatesReplacedOrKept)
{
    const std::tuple<std::u16string, std::string, std::string> cases[] = {
        { kEdges16, kEdges8, kEdges8 },
        { { u'a', 0xD800 }, "a\xEF\xBF\xBD", "a\xED\xA0\x80" }, // high at the end
        { { 0xDFFF, u'!' }, "\xEF\xBF\xBD!", "\xED\xBF\xBF!" }, // low alone
        { { 0xDC00, 0xD800 }, "\xEF\xBF\xBD\xEF\xBF\xBD", "\xED\xB0\x80\xED\xA0\x80" },
        { { 0xD800, 0xD800, 0xDC00 }, "\xEF\xBF\xBD\xF0\x90\x80\x80",
            "\xED\xA0\x80\xF0\x90\x80\x80" },
    };
    for (const auto& [utf16, replaced, kept] : cases) {
        EXPECT_EQ(orvik::Utf8FromUtf16(utf16), replaced);
        EXPECT_EQ(orvik::Utf8FromUtf16(utf16, LoneSurrogates::Keep), kept);
        EXPECT_EQ(orvik::Utf16FromUtf8(kept, LoneSurrogates::Keep), utf16);
    }
}

// A file name's bytes that start no character come and go as U+DC80 to U+DCFF; a lone surrogate
// that stands for no byte becomes U+FFFD.
TEST(Utf16FromUtf8, BytesEscapedComeBackWhole)
{
    const std::pair<std::string, std::u16string> cases[] = {
        { "r\xE9sum\xE9", { u'r', 0xDCE9, u's', u'u', u'm', 0xDCE9 } }, // résumé in Latin-1
        { "\xC3\xA9\xC3", { u'\u00E9', 0xDCC3 } }, // é, then a lead cut short
        { "\xED\xA0\x80\xF0\x9F\x98\x80", { 0xDCED, 0xDCA0, 0xDC80, 0xD83D, 0xDE00 } }, // 😀
    };
    for (const auto& [bytes, utf16] : cases) {
        EXPECT_EQ(orvik::Utf16FromUtf8(bytes, LoneSurrogates::EscapeBytes), utf16);
        EXPECT_EQ(orvik::Utf8FromUtf16(utf16, LoneSurrogates::EscapeBytes), bytes);
    }
    EXPECT_EQ(orvik::Utf8FromUtf16(std::u16string { 0xDC41, 0xD800 }, LoneSurrogates::EscapeBytes),
        "\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
