// SPDX-License-Identifier: MIT
// The Windows conversions: names between UTF-16 and UTF-8, quoted as cmd.exe reads them, and UTF-8
// text for a console; the
// attributes a file repaired in place keeps (wine holds neither archive nor not indexed).
#include "cli/messages.h"
#include "cli/system.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

// A name holding half a surrogate pair reaches the file it names: it comes back whole.
TEST(WindowsNames, LoneSurrogatesComeBackWhole)
{
    const std::wstring wide
        = L"\u00E9t\u00E9 a\xD800-\xDC00\xD83D\xDE00"; // été, lone high, lone low, pair
    const std::string utf8 = "\xC3\xA9t\xC3\xA9 a\xED\xA0\x80-\xED\xB0\x80\xF0\x9F\x98\x80";
    EXPECT_EQ(orvik::cli::Utf8FromWide(wide), utf8);
    EXPECT_EQ(orvik::cli::WideFromUtf8(utf8), wide);
}

// Names in messages, as cmd.exe would read them back, each on one line.
TEST(WindowsNames, AreQuotedAsCmdReadsThem)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        { "C:\\dossier\\\xC3\xA9t\xC3\xA9.txt", "C:\\dossier\\\xC3\xA9t\xC3\xA9.txt" },
        { "C:\\dossier\\l'\xC3\xA9t\xC3\xA9.txt", "\"C:\\dossier\\l'\xC3\xA9t\xC3\xA9.txt\"" },
        { "a b", "\"a b\"" }, { "a&b", "\"a&b\"" }, { "50%", "\"50%\"" }, { "", "\"\"" },
        { "a\tb\xC2\x85z", "a\uFFFDb\uFFFDz" }, // a tab, a C1 control
        { "a\xED\xA0\x80\xFF", "a\uFFFD\uFFFD" }, // half a surrogate pair, a byte not UTF-8
    };
    for (const auto& [name, quoted] : rows)
        EXPECT_EQ(orvik::cli::QuoteName(name), quoted) << name;
}

// What each write to a console shows: a character cut between two writes waits for the rest.
TEST(ConsoleText, ACharacterCutBetweenTwoWritesWaitsForTheRest)
{
    const std::vector<std::pair<std::string, std::u16string>> writes
        = { { "caf\xC3", u"caf" }, { "\xA9", u"\u00E9" }, { " \xF0", u" " }, { "\x9F\x98", u"" },
              { "\x80\xE2\x82", u"\U0001F600" }, { "\xAC\xC3", u"\u20AC" },
              { "A\x80\xED\xA0\x80", u"\uFFFDA\uFFFD\uFFFD\uFFFD\uFFFD" }, { "\xE2\x82", u"" } };
    orvik::cli::ConsoleText console;
    for (const auto& [bytes, shown] : writes)
        EXPECT_EQ(console.Next(bytes), shown) << testing::PrintToString(bytes);
    EXPECT_EQ(console.Rest(), u"\uFFFD\uFFFD"); // the text ended within a character
}

} // namespace

// What the filter reads from a console: each read's UTF-16 text as UTF-8, up to Ctrl+Z, where the
// text ends ("<fin>") and the next read starts a new one.
TEST(ConsoleInput, TypedTextComesAsUtf8UntilCtrlZ)
{
    const std::vector<std::pair<std::vector<std::u16string>, std::string>> rows = {
        { { u"\u00C3\u00A9t\u00C3\u00A9\r\n", u"cr\u00E8me\r\n", u"\x1A\r\n" }, // Ã©tÃ©
            "\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9\r\ncr\xC3\xA8me\r\n<fin>" },
        { { u"fin\x1A reste\r\n", u"encore\r\n" }, "fin<fin>encore\r\n" },
        // A lone surrogate, a pair cut in two, and the console closed.
        { { u"\xDC00!\xD83D", u"\xDE00", u"" }, "\xEF\xBF\xBD!\xF0\x9F\x98\x80<fin>" },
    };
    for (const auto& [reads, expected] : rows) {
        orvik::cli::ConsoleInput input;
        std::string text;
        char buffer[3];
        for (const std::u16string& read : reads) {
            input.Add(read);
            while (input.Ready()) {
                const std::size_t got = input.Take(buffer, sizeof buffer);
                text.append(got > 0 ? std::string(buffer, got) : "<fin>");
            }
        }
        EXPECT_EQ(text, expected);
    }
}

// Of a file's attributes, the new file made for it takes these four, never read-only, offline or
// temporary; with none of them it is a normal file.
TEST(KeptAttributes, ArchiveHiddenSystemAndNotIndexed)
{
    constexpr DWORD kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
        | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    EXPECT_EQ(orvik::cli::KeptAttributes(kKept | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_OFFLINE
                  | FILE_ATTRIBUTE_TEMPORARY),
        kKept);
    EXPECT_EQ(orvik::cli::KeptAttributes(FILE_ATTRIBUTE_READONLY), FILE_ATTRIBUTE_NORMAL);
}

// What a write to a pipe whose reader has gone fails with: Windows gives ERROR_NO_DATA for an
// anonymous pipe, wine ERROR_PIPE_NOT_CONNECTED for a Linux one; a full disk is a real failure.
TEST(IsClosedPipe, TellsAGoneReaderFromAFailure)
{
    for (const auto& [code, closed] :
        { std::pair { ERROR_NO_DATA, true }, { ERROR_BROKEN_PIPE, true },
            { ERROR_PIPE_NOT_CONNECTED, true }, { ERROR_DISK_FULL, false } })
        EXPECT_EQ(orvik::cli::IsClosedPipe({ int(code), std::system_category() }), closed) << code;
    EXPECT_FALSE(orvik::cli::IsClosedPipe(orvik::cli::Refusal(ERROR_NO_DATA)));
}
