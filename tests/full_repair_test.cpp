// SPDX-License-Identifier: MIT
#include "full_reference.h"
#include "repair/full_repair.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <span>
#include <string>

namespace {

using orvik::FullRepairer;
using namespace std::string_literals;

// Feeds `text` in chunks of the sizes `nextSize` returns, at most `readSize` each.
template <typename NextSize>
std::string RepairInChunks(
    std::string_view text, std::size_t readSize, NextSize nextSize, bool* changed = nullptr)
{
    FullRepairer repairer(readSize);
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::min({ nextSize(), readSize, text.size() - at });
        std::memcpy(repairer.ReadBuffer(), text.data() + at, n);
        out += repairer.Feed(n);
        at += n;
    }
    out += repairer.Finish();
    if (changed)
        *changed = repairer.Changed();
    return out;
}

// UTF-8 text as it reads once each byte is taken for the character it stands for (Windows-1252,
// with the five bytes it leaves undefined read as C1 controls, as decoders do).
std::string Damage(std::string_view text, bool latin1 = false)
{
    using orvik::reference::k1252;
    std::vector<orvik::reference::Unit> units;
    for (unsigned char b : text)
        units.push_back(b >= 0x80 && b <= 0x9F && !latin1 && k1252[b - 0x80] ? k1252[b - 0x80] : b);
    return orvik::reference::EncodeUtf8(units);
}

// The same text once its no-break spaces have become plain spaces.
std::string LoseNoBreakSpaces(std::string text)
{
    for (std::size_t at; (at = text.find("\u00A0")) != std::string::npos;)
        text.replace(at, 2, " ");
    return text;
}

struct Case
{
    std::string input;
    std::string expected;
};

// ⍽ below is U+00A0.
const Case kSoundTextKept[] = {
    { "«\u00A0Allô…\u00A0» dit-elle.", "«\u00A0Allô…\u00A0» dit-elle." },
    { "«\u00A0Però…\u00A0»", "«\u00A0Però…\u00A0»" },
    { "¡ASÍ…! PŘÍŠTÍ NÍŽE COSÌ…", "¡ASÍ…! PŘÍŠTÍ NÍŽE COSÌ…" },
    { "UMA MÃ NOTÍCIA, LÃ E SEDA, DE LÃ.", "UMA MÃ NOTÍCIA, LÃ E SEDA, DE LÃ." },
    { "SELKÄ\u00A0EDELLÄ\u00A0MAAHAN, MÄ£ÄM, AHÅ™, 10 Å—",
        "SELKÄ\u00A0EDELLÄ\u00A0MAAHAN, MÄ£ÄM, AHÅ™, 10 Å—" },
    { "pra lá´´, le signe Ì\u0081 seul, «¡Ya está»…» y",
        "pra lá´´, le signe Ì\u0081 seul, «¡Ya está»…» y" },
    { "une Å koda", "une Å koda" },
    { "\u00A0» \u202F! CAFÉ… Ç’a 5¢ ÉTÉ® Привет, SÃO PAULO, IRMÃ E MÃE, ÂGE, les lettres Â Ê",
        "\u00A0» \u202F! CAFÉ… Ç’a 5¢ ÉTÉ® Привет, SÃO PAULO, IRMÃ E MÃE, ÂGE, les lettres Â Ê" },
    { "Â c, a Â b, ÃÃ©",
        "Â c, a Â b, Ãé" }, // Â + space at the start or after a space; Ã before a sequence
};

const Case kRepaired[] = {
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
    { "ï»¿Bonjour", "\uFEFFBonjour" },
    { "ÄŒESKÃ‰, ÄŒESKYÃ‰, ÄŒABCDEÃ‰", "ČESKÉ, ČESKYÉ, ÄŒABCDEÉ" }, // ASCII letters, then É within 8
    { "RÄ«ga ARÄ«ga", "Rīga ARÄ«ga" }, // a capital inside a word gives no support
    { "Â«Â\u00A0ouiâ€¯Â», 12Â\u00A0â‚¬, prixÂ !", "«\u00A0oui\u202F», 12\u00A0€, prix\u00A0!" },
    { "ÐŸÑ€Ð¸Ð²ÐµÑ‚ Ã\u0089tÃ© â\u0080\u0099, ðŸ˜€, \uFFFDï¿½", "Привет Été ’, 😀, \uFFFD\uFFFD" },
    { "\xEF\xBB\xBF\xC3\r\n\xFF\0\xC3\x83\xC2\xA9\xE2\x82"s,
        "\xEF\xBB\xBF\xC3\r\n\xFF\0é\xE2\x82"s },
    { "\xC3\xAD\xC2\xA0\xC2\x80", "\xC3\xAD\xC2\xA0\xC2\x80" }, // a surrogate half is no character
    { "\xC3\x83\xC0\x80\0"s, "\xC3\x83\xC0\x80\0"s }, // C0 80 is no character, nor U+0000
    { "\xC3\x83\xE2\x80YY and some text after it", "\xC3\x83\xE2\x80YY and some text after it" },
};

// What stays damaged, as the README says.
const Case kLimits[] = {
    { "la lettre Ð¯ seule, Ä°, ÅEKA, Thá»‹", "la lettre Ð¯ seule, Ä°, ÅEKA, Thá»‹" },
    { "Ã’s «IRMÃ» C O N C L U S Ã O", "Òs «IRMû C O N C L U S à O" },
    { "É s’affiche Ã‰", "É s’affiche É" }, // quoted on purpose, yet repaired
};

// Each range of common characters: its first and last character and the ones just outside,
// damaged between two letters.
const Case kCommonEdges[] = {
    { "aÂŸa", "aÂŸa" },
    { "aÂ\u00A0a", "a\u00A0a" },
    { "aÅ¿a", "aſa" },
    { "aÆ€a", "aÆ€a" },
    { "aÆ‘a", "aÆ‘a" },
    { "aÆ’a", "aƒa" },
    { "aÆ“a", "aÆ“a" },
    { "aÈ—a", "aÈ—a" },
    { "aÈ˜a", "aȘa" },
    { "aÈ›a", "ața" },
    { "aÈœa", "aÈœa" },
    { "aË…a", "aË…a" },
    { "aË†a", "aˆa" },
    { "aË‡a", "aË‡a" },
    { "aË›a", "aË›a" },
    { "aËœa", "a˜a" },
    { "aË\u009Da", "aË\u009Da" },
    { "aË¿a", "aË¿a" },
    { "aÌ€a", "a\u0300a" },
    { "aÌ„a", "a\u0304a" },
    { "aÌ…a", "aÌ…a" },
    { "aÌ†a", "a\u0306a" },
    { "aÌŒa", "a\u030Ca" },
    { "aÌ\u008Da", "aÌ\u008Da" },
    { "aÌŽa", "aÌŽa" },
    { "aÌ\u008Fa", "a\u030Fa" },
    { "aÌ\u0090a", "aÌ\u0090a" },
    { "aÌ‘a", "a\u0311a" },
    { "aÌ’a", "aÌ’a" },
    { "aÌša", "aÌša" },
    { "aÌ›a", "a\u031Ba" },
    { "aÌœa", "aÌœa" },
    { "aÌ¢a", "aÌ¢a" },
    { "aÌ£a", "a\u0323a" },
    { "aÌ¨a", "a\u0328a" },
    { "aÌ©a", "aÌ©a" },
    { "aÌ¬a", "aÌ¬a" },
    { "aÌ\u00ADa", "a\u032Da" },
    { "aÌ®a", "a\u032Ea" },
    { "aÌ¯a", "aÌ¯a" },
    { "aÌ°a", "a\u0330a" },
    { "aÌ±a", "a\u0331a" },
    { "aÌ²a", "aÌ²a" },
    { "aÍ¯a", "aÍ¯a" },
    { "aáµ‚a", "aáµ‚a" },
    { "aáµƒa", "aᵃa" },
    { "aáµ›a", "aᵛa" },
    { "aáµœa", "aáµœa" },
    { "aá¶›a", "aá¶›a" },
    { "aá¶œa", "aᶜa" },
    { "aá¶¿a", "a\u1DBFa" },
    { "aá·€a", "aá·€a" },
    { "aá·¿a", "aá·¿a" },
    { "aá¸€a", "aḀa" },
    { "aá»¿a", "aỿa" },
    { "aá¼€a", "aá¼€a" },
    { "aá¿¿a", "aá¿¿a" },
    { "aâ€€a", "a\u2000a" },
    { "aâ¯¿a", "a⯿a" },
    { "aâ°€a", "aâ°€a" },
    { "aï«¿a", "aï«¿a" },
    { "aï¬€a", "aﬀa" },
    { "aï¬†a", "aﬆa" },
    { "aï¬‡a", "aï¬‡a" },
    { "aï»¾a", "aï»¾a" },
    { "aï»¿a", "a\uFEFFa" },
    { "aï¼€a", "aï¼€a" },
    { "aï¿¼a", "aï¿¼a" },
    { "aï¿½a", "a\uFFFDa" },
    { "aï¿¾a", "aï¿¾a" },
    { "aï¿¿a", "aï¿¿a" },
    { "að\u0090€€a", "a\U00010000a" },
    { "að¿¿¿a", "a\U0003FFFFa" },
    { "añ€€€a", "añ€€€a" },
    { "aô\u008F¿¿a", "aô\u008F¿¿a" },
};

// What counts as a Latin capital and a lower-case Latin letter, before "ğ" damaged: after a space
// it needs a lower-case letter before it, inside a word anything but a capital.
const Case kLatinLetterEdges[] = {
    { " @ÄŸ a@ÄŸa", " @ÄŸ a@ğa" },
    { " AÄŸ aAÄŸa", " AÄŸ aAÄŸa" },
    { " ZÄŸ aZÄŸa", " ZÄŸ aZÄŸa" },
    { " [ÄŸ a[ÄŸa", " [ÄŸ a[ğa" },
    { " `ÄŸ a`ÄŸa", " `ÄŸ a`ğa" },
    { " aÄŸ aaÄŸa", " ağ aağa" },
    { " zÄŸ azÄŸa", " zğ azğa" },
    { " {ÄŸ a{ÄŸa", " {ÄŸ a{ğa" },
    { " ªÄŸ aªÄŸa", " ªÄŸ aªğa" },
    { " µÄŸ aµÄŸa", " µğ aµğa" },
    { " ºÄŸ aºÄŸa", " ºÄŸ aºğa" },
    { " ¿ÄŸ a¿ÄŸa", " ¿ÄŸ a¿ğa" },
    { " ÀÄŸ aÀÄŸa", " ÀÄŸ aÀÄŸa" },
    { " ÖÄŸ aÖÄŸa", " ÖÄŸ aÖÄŸa" },
    { " ×ÄŸ a×ÄŸa", " ×ÄŸ a×ğa" },
    { " ØÄŸ aØÄŸa", " ØÄŸ aØÄŸa" },
    { " ÞÄŸ aÞÄŸa", " ÞÄŸ aÞÄŸa" },
    { " ßÄŸ aßÄŸa", " ßğ aßğa" },
    { " öÄŸ aöÄŸa", " öğ aöğa" },
    { " ÷ÄŸ a÷ÄŸa", " ÷ÄŸ a÷ğa" },
    { " øÄŸ aøÄŸa", " øğ aøğa" },
    { " ÿÄŸ aÿÄŸa", " ÿğ aÿğa" },
    { " ĀÄŸ aĀÄŸa", " ĀÄŸ aĀÄŸa" },
    { " āÄŸ aāÄŸa", " āğ aāğa" },
    { " ĸÄŸ aĸÄŸa", " ĸğ aĸğa" },
    { " ŉÄŸ aŉÄŸa", " ŉğ aŉğa" },
    { " ſÄŸ aſÄŸa", " ſğ aſğa" },
    { " ƀÄŸ aƀÄŸa", " ƀğ aƀğa" },
    { " ƻÄŸ aƻÄŸa", " ƻÄŸ aƻğa" },
    { " ǀÄŸ aǀÄŸa", " ǀÄŸ aǀğa" },
    { " ǄÄŸ aǄÄŸa", " ǄÄŸ aǄÄŸa" },
    { " ǅÄŸ aǅÄŸa", " ǅÄŸ aǅÄŸa" },
    { " ǆÄŸ aǆÄŸa", " ǆğ aǆğa" },
    { " ɎÄŸ aɎÄŸa", " ɎÄŸ aɎÄŸa" },
    { " ɏÄŸ aɏÄŸa", " ɏğ aɏğa" },
    { " ɐÄŸ aɐÄŸa", " ɐÄŸ aɐğa" },
    { " \u1DFFÄŸ a\u1DFFÄŸa", " \u1DFFÄŸ a\u1DFFğa" },
    { " ḀÄŸ aḀÄŸa", " ḀÄŸ aḀÄŸa" },
    { " ḁÄŸ aḁÄŸa", " ḁğ aḁğa" },
    { " ẕÄŸ aẕÄŸa", " ẕğ aẕğa" },
    { " ẖÄŸ aẖÄŸa", " ẖğ aẖğa" },
    { " ẝÄŸ aẝÄŸa", " ẝğ aẝğa" },
    { " ẞÄŸ aẞÄŸa", " ẞÄŸ aẞÄŸa" },
    { " ẟÄŸ aẟÄŸa", " ẟğ aẟğa" },
    { " ỿÄŸ aỿÄŸa", " ỿğ aỿğa" },
    { " ἀÄŸ aἀÄŸa", " ἀÄŸ aἀğa" },
};

// The capitals that keep "Ã" from becoming "à".
const Case kCapitalEdges[] = {
    { "S@Ã.", "S@à." },
    { "SAÃ.", "SAÃ." },
    { "SZÃ.", "SZÃ." },
    { "S[Ã.", "S[à." },
    { "SaÃ.", "Saà." },
    { "S¿Ã.", "S¿à." },
    { "SÀÃ.", "SÀÃ." },
    { "SÖÃ.", "SÖÃ." },
    { "S×Ã.", "S×à." },
    { "SØÃ.", "SØÃ." },
    { "SÞÃ.", "SÞÃ." },
    { "SßÃ.", "Sßà." },
    { "SĀÃ.", "SĀà." },
};

// Whitespace, after which "Â" + space stays.
const Case kWhitespaceEdges[] = {
    { "a\bÂ b", "a\b\u00A0b" },
    { "a\tÂ b", "a\tÂ b" },
    { "a\rÂ b", "a\rÂ b" },
    { "a\x0EÂ b", "a\x0E\u00A0b" },
    { "a\x1BÂ b", "a\x1B\u00A0b" },
    { "a\x1CÂ b", "a\x1CÂ b" },
    { "a Â b", "a Â b" },
    { "a!Â b", "a!\u00A0b" },
    { "a\u0084Â b", "a\u0084\u00A0b" },
    { "a\u0085Â b", "a\u0085Â b" },
    { "a\u0086Â b", "a\u0086\u00A0b" },
    { "a\u009FÂ b", "a\u009F\u00A0b" },
    { "a\u00A0Â b", "a\u00A0Â b" },
    { "a¡Â b", "a¡\u00A0b" },
    { "aᙿÂ b", "aᙿ\u00A0b" },
    { "a\u1680Â b", "a\u1680Â b" },
    { "aᚁÂ b", "aᚁ\u00A0b" },
    { "a\u1FFFÂ b", "a\u1FFF\u00A0b" },
    { "a\u2000Â b", "a\u2000Â b" },
    { "a\u200AÂ b", "a\u200AÂ b" },
    { "a\u200BÂ b", "a\u200B\u00A0b" },
    { "a‧Â b", "a‧\u00A0b" },
    { "a\u2028Â b", "a\u2028Â b" },
    { "a\u2029Â b", "a\u2029Â b" },
    { "a\u202AÂ b", "a\u202A\u00A0b" },
    { "a\u202EÂ b", "a\u202E\u00A0b" },
    { "a\u202FÂ b", "a\u202FÂ b" },
    { "a‰Â b", "a‰\u00A0b" },
    { "a⁞Â b", "a⁞\u00A0b" },
    { "a\u205FÂ b", "a\u205FÂ b" },
    { "a\u2060Â b", "a\u2060\u00A0b" },
    { "a\u2FFFÂ b", "a\u2FFF\u00A0b" },
    { "a\u3000Â b", "a\u3000Â b" },
    { "a、Â b", "a、\u00A0b" },
};

TEST(FullRepair, Cases)
{
    const std::pair<const char*, std::span<const Case>> tables[]
        = { { "sound text kept", kSoundTextKept }, { "repaired", kRepaired }, { "limits", kLimits },
              { "common edges", kCommonEdges }, { "Latin letter edges", kLatinLetterEdges },
              { "capital edges", kCapitalEdges }, { "whitespace edges", kWhitespaceEdges } };
    for (const auto& [name, cases] : tables) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.input);
            EXPECT_EQ(orvik::reference::RepairFullLiterally(c.input), c.expected) << "reference";
            EXPECT_EQ(orvik::RepairFull(c.input), c.expected);
            std::size_t size = 1;
            EXPECT_EQ(RepairInChunks(c.input, 3, [&] { return size++ % 3 + 1; }), c.expected);
        }
    }
}

// Sound text in each language comes out as it went in, and back from damage once, twice and
// three times, with and without its no-break spaces lost, and from Latin-1; four layers are
// beyond three rounds.
TEST(FullRepair, SoundTextInEachLanguage)
{
    const std::string kSound[] = {
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
    };
    for (const std::string& sound : kSound) {
        EXPECT_EQ(orvik::RepairFull(sound), sound);
        for (const bool latin1 : { false, true }) {
            std::string damaged = sound;
            for (int layers = 1; layers <= 4; ++layers) {
                damaged = Damage(damaged, latin1);
                SCOPED_TRACE(
                    std::to_string(layers) + (latin1 ? " layers, Latin-1: " : " layers: ") + sound);
                EXPECT_EQ(orvik::RepairFull(damaged) == sound, layers <= 3);
                if (!latin1 && layers <= 2) {
                    EXPECT_EQ(orvik::RepairFull(LoseNoBreakSpaces(damaged)), sound)
                        << "no-break spaces lost";
                }
            }
        }
    }
}

// A round that has changed nothing lets the next one copy what it was given, but for the last
// bytes: there it decided by looking at bytes it may change in the next chunk ("Ã " becomes "à",
// and then "Å™" has a lower-case letter after it). Every place of it before a chunk's end.
TEST(FullRepair, ChunkEndAfterARoundThatChangedNothing)
{
    for (std::size_t spaces = 0; spaces < 80; ++spaces) {
        const std::string pad(spaces, ' ');
        SCOPED_TRACE(spaces);
        EXPECT_EQ(
            RepairInChunks(pad + "Å™Ã  tout", 48, [] { return std::size_t(48); }), pad + "řà tout");
    }
}

// Random text from the pieces every rule looks at, cut into random chunks, against the reference.
TEST(FullRepair, RandomTextCutAnywhereMatchesTheReference)
{
    const std::vector<std::string> pieces = { "a", "E", "S", "1", " ", " ", ".", "\n", "\r\n",
        std::string(1, '\0'), "Ã", "Â", "â", "É", "\u00A0", "\u202F", "\u2009", "\u3000", "€", "’",
        "œ", "Ÿ", "ƒ", "ˆ", "™", "\u0081", "\u009D", "😀", "\uFFFD", "\xC3", "\xE2\x82", "\xFF",
        "\x80", "Ä", "Å", "È", "Ì", "á»", "áµ", "ï»", "Ð", "ğ", "İ", "ǅ", "ß", Damage("é"),
        Damage("ğ"), Damage("ễ"), Damage(Damage("’")), Damage(Damage("à")), Damage("\u00A0"), "â‰ ",
        "ÅEKA", "Lorem ipsum dolor sit amet, consectetur adipiscing elit " };
    std::mt19937 random(20261206);
    auto randomCharacter = [&](char32_t low, char32_t high) {
        const auto c = char32_t(std::uniform_int_distribution<unsigned>(low, high)(random));
        return orvik::reference::EncodeUtf8({ long(c) });
    };
    for (int iteration = 0; iteration < 3000; ++iteration) {
        std::string text;
        const int count = std::uniform_int_distribution<int>(0, 60)(random);
        for (int i = 0; i < count; ++i) {
            switch (random() % 4) {
            case 0:
                text += randomCharacter(0xC2, 0xF4);
                break; // may start a sequence
            case 1:
                text += randomCharacter(0x80, 0xBF);
                break; // may continue one
            default:
                text += pieces[random() % pieces.size()];
            }
        }
        const std::string expected = orvik::reference::RepairFullLiterally(text);
        const std::size_t readSize = std::uniform_int_distribution<std::size_t>(1, 80)(random);
        bool changed = false;
        const std::string got = RepairInChunks(
            text, readSize,
            [&] { return std::uniform_int_distribution<std::size_t>(1, readSize)(random); },
            &changed);
        ASSERT_EQ(got, expected) << "input: " << text << ", read size " << readSize;
        ASSERT_EQ(changed, got != text) << "input: " << text;
    }
}

} // namespace
