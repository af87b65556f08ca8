// SPDX-License-Identifier: MIT
#include "full_reference.h"
#include "full_repair_pieces.h"
#include "repair/full_repair.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

using namespace std::string_literals;
namespace reference = orvik::reference;

// Feeds `text` to `repairer`, made ready for it with Reset(), in chunks of the sizes `nextSize`
// returns, at most its read size each. `inPlace`: each chunk in a buffer of the test's, between
// bytes that must stay as they are: the room the repair may take before it (but before the first
// chunk, where two repairers may work side by side) and 64 bytes after it.
template <typename NextSize>
std::string RepairInChunks(
    orvik::FullRepairer& repairer, std::string_view text, NextSize nextSize, bool inPlace = false)
{
    constexpr std::size_t kRoom = orvik::FullRepairer::kHeadroom;
    repairer.Reset();
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::min({ nextSize(), repairer.ReadSize(), text.size() - at });
        if (!inPlace) {
            std::memcpy(repairer.ReadBuffer(), text.data() + at, n);
            out += repairer.Feed(n);
        } else {
            std::string buffer
                = std::string(kRoom, '#') + std::string(text.substr(at, n)) + std::string(64, '#');
            const std::string_view got = repairer.FeedInPlace(buffer.data() + kRoom, n);
            EXPECT_TRUE(got.empty()
                || (got.data() >= buffer.data()
                    && got.data() + got.size() <= buffer.data() + kRoom + n));
            out += got;
            EXPECT_EQ(buffer.substr(kRoom + n), std::string(64, '#'));
            if (at == 0) {
                EXPECT_EQ(buffer.substr(0, kRoom), std::string(kRoom, '#'));
            }
        }
        at += n;
    }
    return out += repairer.Finish();
}

// UTF-8 text as it reads once each byte is taken for the character it stands for (Windows-1252,
// with the five bytes it leaves undefined read as C1 controls, as decoders do).
std::string Damage(std::string_view text, bool latin1 = false)
{
    std::vector<reference::Unit> units;
    for (unsigned char b : text)
        units.push_back(b >= 0x80 && b <= 0x9F && !latin1 && reference::k1252[b - 0x80]
                ? reference::k1252[b - 0x80]
                : b);
    return reference::EncodeUtf8(units);
}

using Case = std::pair<std::string, std::string>; // input, expected output

const Case kRepaired[] = {
    { "Â c, a Â b, ÃÃ©", "Â c, a Â b, Ãé" }, // Â + space at the start or after a space
    { "Fin. LÃ , il part. voilÃ  tout, Ã la, voilÃ. voilÃ",
        "Fin. Là, il part. voilà tout, à la, voilà. voilà" },
    { "3 â‰  4, âš  attention, â–  point, Ð Ð¸Ð¼", "3 ≠ 4, ⚠ attention, ■ point, Рим" },
    { "il dit â€œouiâ€ et part, â€ : fin â€", "il dit “ouiâ€ et part, â€ : fin â€" },
    { "ÃƒÅ TRE, ðŸ˜  grr", "ÊTRE, 😠 grr" },
    { "XIXáµ‰ siÃ¨cle, 1Ê³áµ‰ fois, ï¬\u0081n", "XIXᵉ siècle, 1ʳᵉ fois, ﬁn" },
    { "GdaÅ„sk, ErdoÄŸan, HÄ±rsÄ±zÄ±, Ä°stanbul, RÄ«ga, È™i È›ara, ÄŒeÅ¡tina, kÅ¯Åˆ",
        "Gdańsk, Erdoğan, Hırsızı, İstanbul, Rīga, și țara, Čeština, kůň" },
    { "Nguyá»…n, HÃ\u00A0 Ná»™i, Tiáº¿ng Viá»‡t; eÌ\u0081tait",
        "Nguyễn, Hà Nội, Tiếng Việt; e\u0301tait" },
    { "ÄŒESKÃ‰, ÄŒESKYÃ‰, ÄŒABCDEÃ‰, ÄŒ Ã‰", "ČESKÉ, ČESKYÉ, ÄŒABCDEÉ, ÄŒ É" }, // ASCII letters, É
    { "Â«Â\u00A0ouiâ€¯Â», 12Â\u00A0â‚¬, prixÂ !", "«\u00A0oui\u202F», 12\u00A0€, prix\u00A0!" },
    { "\xEF\xBB\xBF\xC3\r\n\xFF\0\xC3\x83\xC2\xA9\xE2\x82"s,
        "\xEF\xBB\xBF\xC3\r\n\xFF\0é\xE2\x82"s },
    { "\xC3\xAD\xC2\xA0\xC2\x80", "\xC3\xAD\xC2\xA0\xC2\x80" }, // a surrogate half is no character
    { "\xC3\x83\xC0\x80\0"s, "\xC3\x83\xC0\x80\0"s }, // C0 80 is no character, nor U+0000
    { "\xC3\x83\xE2\x80YY and some text after it", "\xC3\x83\xE2\x80YY and some text after it" },
    // After a quiet first round, the second copies unread only what lies 32 bytes before its end.
    { "É\xFFË ÞÃ¢â‚¬â„¢œ§º²\u0090€", "É\xFF\u02E0\u0792œ§º²\u0090€" },
    // What stays damaged, as the README says.
    { "la lettre Ð¯ seule, Ä°, ÅEKA, Thá»‹", "la lettre Ð¯ seule, Ä°, ÅEKA, Thá»‹" },
    { "Ã’s «IRMÃ» C O N C L U S Ã O", "Òs «IRMû C O N C L U S à O" },
    { "É s’affiche Ã‰", "É s’affiche É" }, // quoted on purpose, yet repaired
};

// Cases made from each character of a list, put in an input and an expected output: as it is
// where they say X, damaged where they say D.
std::vector<Case> EdgeCases()
{
    std::vector<Case> cases;
    const auto each
        = [&](std::string_view characters, std::string_view input, std::string_view expected) {
              for (const reference::Unit u : reference::DecodeUtf8(characters)) {
                  const std::string x = reference::EncodeUtf8({ u });
                  const auto fill = [&](std::string_view pattern) {
                      std::string out;
                      for (const char c : pattern)
                          out += c == 'X' ? x : c == 'D' ? Damage(x) : std::string(1, c);
                      return out;
                  };
                  cases.push_back({ fill(input), fill(expected) });
              }
          };
    // Each range of common characters: its first and last character and the ones just outside,
    // damaged between two letters.
    each("\u00A0\u017F\u0192\u0218\u021B\u02C6\u02DC\u0300\u0304\u0306\u030C\u030F\u0311\u031B"
         "\u0323\u0328\u032D\u032E\u0330\u0331\u1D43\u1D5B\u1D9C\u1DBF\u1E00\u1EFF\u2000\u2BFF"
         "\uFB00\uFB06\uFEFF\uFFFD\U00010000\U0003FFFF",
        "aDa", "aXa");
    each("\u009F\u0180\u0191\u0193\u0217\u021C\u02C5\u02C7\u02DB\u02DD\u02FF\u0305\u030D\u030E"
         "\u0310\u0312\u031A\u031C\u0322\u0329\u032C\u032F\u0332\u036F\u1D42\u1D5C\u1D9B\u1DC0"
         "\u1DFF\u1F00\u1FFF\u2C00\uFAFF\uFB07\uFEFE\uFF00\uFFFC\uFFFE\uFFFF\U00040000\U0010FFFF",
        "aDa", "aDa");
    // Latin capitals and lower-case Latin letters, before "ğ" damaged: after a space it needs a
    // lower-case letter before it, inside a word anything but a capital (also after a capital
    // that follows them).
    each("AZÀÖØÞĀǄǅɎḀẞ", " XÄŸ aXÄŸa XAÄŸa", " XÄŸ aXÄŸa XAÄŸa");
    each("azµßöøÿāĸŉſƀǆɏḁẕẖẝẟỿ", " XÄŸ aXÄŸa XAÄŸa", " Xğ aXğa XAÄŸa");
    each("@[`{ªº¿×÷ƻǀɐ\u1DFFἀ", " XÄŸ aXÄŸa XAÄŸa", " XÄŸ aXğa XAğa");
    // The capitals that keep "Ã" from becoming "à".
    each("AZÀÖØÞ", "SXÃ.", "SXÃ.");
    each("@[a¿×ßĀ", "SXÃ.", "SXà.");
    // Whitespace, after which "Â" + space stays.
    each("\t\r\x1C \u0085\u00A0\u1680\u2000\u200A\u2028\u2029\u202F\u205F\u3000", "aXÂ b", "aXÂ b");
    each("\b\x0E\x1B!\u0084\u0086\u009F¡\u167F\u1681\u1FFF\u200B\u2027\u202A\u202E\u2030\u205E"
         "\u2060\u2FFF\u3001",
        "aXÂ b", "aX\u00A0b");
    return cases;
}

// Sound text in each language, and sound text that looks like damage, comes out as it went in, and
// back from damage once, twice and three times, from Latin-1, and once and twice with its no-break
// spaces lost; four layers are beyond three rounds.
std::vector<Case> LanguageCases()
{
    const std::string sound[] = {
        "«\u00A0L’été\u00A0», dit-elle\u00A0: ÇA ÉTAIT déjà là… où\u00A0? Noël, cœur, 5\u00A0€ — "
        "aïe\u00A0! Œuvre, Ève, À bientôt.\r\n",
        "¿Qué pasó? ¡Señor Muñoz! El niño comió piñas y jalapeños. «Ya está», dijo Ángel. ¡ASÍ ES!",
        "Perché è così? Più città, però già lì: l’università è là. È vero, Niccolò. COSÌ È.",
        "São Paulo, irmã e mãe: não há ação sem emoção. Você está à vontade? UMA MÃ NOTÍCIA, JOÃO.",
        "Příliš žluťoučký kůň úpěl ďábelské ódy. Čeština, Šárka a Ťapka, PŘÍŠTÍ NÍŽE.",
        "Zażółć gęślą jaźń. Gdańsk, Łódź, Kraków i Wrocław; źródło, Świętokrzyskie, ŻÓŁW.",
        "„Schön“, sagte Jürgen: Größe, übermäßig, Straße, Äpfel und Öl. GRÜNE ÄPFEL.",
        "Hyvää päivää! Äiti ja isä söivät jäätelöä. SELKÄ EDELLÄ MAAHAN, MÄÄRÄ, ÖLJY.",
        "İstanbul’da ağaçların gölgesinde çay içtik. Erdoğan, Hırsızı, Şişli, Ürgüp ve Çeşme.",
        "Tiếng Việt của người Việt: Nguyễn Trãi và Hội An, Đà Nẵng.",
        "«\u00A0Allô…\u00A0» dit-elle.", "«\u00A0Però…\u00A0»", "¡ASÍ…! PŘÍŠTÍ NÍŽE COSÌ…",
        "UMA MÃ NOTÍCIA, LÃ E SEDA, DE LÃ.", "SELKÄ\u00A0EDELLÄ\u00A0MAAHAN, MÄ£ÄM, AHÅ™, 10 Å—",
        "pra lá´´, le signe Ì\u0081 seul, «¡Ya está»…» y", "une Å koda",
        "oui\u00A0» \u202F! CAFÉ… Ç’a 5¢ ÉTÉ® Привет, SÃO PAULO, IRMÃ E MÃE, ÂGE, les lettres Â Ê"
    };
    const auto lose = [](std::string text) { // its no-break spaces become plain spaces
        for (std::size_t at; (at = text.find("\u00A0")) != std::string::npos;)
            text.replace(at, 2, " ");
        return text;
    };
    std::vector<Case> cases = { { Damage(Damage(Damage(Damage(sound[0])))), Damage(sound[0]) } };
    for (const std::string& s : sound) {
        const std::string once = Damage(s), twice = Damage(once);
        for (const std::string& damaged : { s, once, twice, Damage(twice), Damage(s, true),
                 Damage(Damage(Damage(s, true), true), true), lose(once), lose(twice) })
            cases.push_back({ damaged, s });
    }
    return cases;
}

TEST(FullRepair, Cases)
{
    std::vector<Case> cases = EdgeCases(), languages = LanguageCases();
    cases.insert(cases.end(), languages.begin(), languages.end());
    cases.insert(cases.end(), std::begin(kRepaired), std::end(kRepaired));
    orvik::FullRepairer inThrees(3);
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(reference::RepairFullLiterally(input), expected) << "reference";
        EXPECT_EQ(orvik::RepairFull(input), expected);
        // Followed by a line end, as good as the end, and enough text to read the bytes at once.
        const std::string more = "\n" + std::string(40, ' ');
        EXPECT_EQ(orvik::RepairFull(input + more), expected + more);
        std::size_t size = 1;
        EXPECT_EQ(RepairInChunks(inThrees, input, [&] { return size++ % 3 + 1; }), expected);
    }
}

// A text cut at each place FindCut() gives, its parts repaired as two texts, comes out as the whole
// does: damage that looks ahead or behind meets the cuts, on either side of runs of ASCII bytes.
TEST(FullRepair, PartsCutWhereFindCutSaysComeOutAsTheWhole)
{
    const std::string before[] = { "Ã", "Ã ", "Â ", "Ä°", "Å", "ÃƒÂ©", "Ã©tÃ©", "Ã‰", "" };
    const std::string runs[]
        = { " ABCDEFGHIJKLMNOPQRSTU", "abc defgh ijklm nopqr st", "                       ",
              ".,;:!?()-'\"[]{}<>/*+=_@#", "\n\r\n\t1234567890 LOREM IPSUM A B" };
    const std::string after[] = { "Ã o", "Ã", "Â b", "Ã©tÃ©", "Ä°a", "â€™", "Ã‰TÃ‰", "" };
    std::size_t cuts = 0;
    for (const std::string& b : before)
        for (const std::string& run : runs)
            for (const std::string& a : after)
                for (const std::string& text : { b + run + a, b + run + a + run + b }) {
                    const std::string whole = reference::RepairFullLiterally(text);
                    for (std::size_t cut = orvik::FindCut(text, 0); cut < text.size();
                         cut = orvik::FindCut(text, cut + 1), ++cuts)
                        ASSERT_EQ(orvik::RepairFull(text.substr(0, cut))
                                + orvik::RepairFull(text.substr(cut)),
                            whole)
                            << "input: " << text << ", cut at " << cut;
                }
    EXPECT_GT(cuts, 1000u);
}

// Random text of what the rules look at, cut into random chunks, against the reference.
TEST(FullRepair, RandomTextCutAnywhereMatchesTheReference)
{
    std::mt19937 random(20261206);
    const auto upTo = [&](std::size_t most) {
        return std::uniform_int_distribution<std::size_t>(1, most)(random);
    };
    orvik::FullRepairer repairer(4096); // one for all texts, each after Reset()
    for (int iteration = 0; iteration < 3000; ++iteration) {
        // Now and then a long text in long chunks, where stretches of damage are repaired apace.
        const bool longText = iteration % 8 == 0;
        std::string bytes(upTo(longText ? 900 : 60) - 1, '\0');
        for (char& b : bytes)
            b = char(random());
        const std::string text = orvik::fuzz::FullRepairText(bytes);
        const std::size_t most = upTo(longText ? 4096 : 80); // chunks of random sizes up to it
        const std::string got = RepairInChunks(
            repairer, text, [&] { return upTo(most); }, iteration % 2 == 1);
        ASSERT_EQ(got, reference::RepairFullLiterally(text)) << "input: " << text;
        ASSERT_EQ(repairer.Changed(), got != text) << "input: " << text;
    }
}

} // namespace
