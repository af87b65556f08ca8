// SPDX-License-Identifier: MIT
#include "full_reference.h"
#include "repair/full_repair.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

using orvik::FullRepairer;
using orvik::SiteScan;
using namespace std::string_literals;

constexpr SiteScan kScans[] = { SiteScan::Memchr, SiteScan::Sse2 };

// Feeds `text` in chunks of the sizes `nextSize` returns, at most `readSize` each.
template <typename NextSize>
std::string RepairInChunks(std::string_view text, std::size_t readSize, SiteScan scan,
    NextSize nextSize, bool* changed = nullptr)
{
    FullRepairer repairer(readSize, scan);
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

struct Case
{
    const char* name;
    std::string input;
    std::string expected;
};

// ⍽ below is U+00A0, · U+202F.
const Case kCases[] = {
    { "lower case", "Ã©Ã´Ã¨ÃªÃ¹Ã»Ã§Ã®Ã¢", "éôèêùûçîâ" },
    { "capitals", "Ã‰tÃ© Ã€ Ã‡a ÃŽle", "Été À Ça Île" },
    { "diaeresis and ligature", "NoÃ«l naÃ¯f cÅ“ur", "Noël naïf cœur" },
    { "three-byte punctuation", "lâ€™Ã©tÃ©â€¦ â€“", "l’été… –" },
    { "guillemets and no-break spaces", "Â«Â\u00A0ouiâ€¯Â»", "«\u00A0oui\u202F»" }, // «⍽oui·»
    { "no-break space then euro", "12Â\u00A0â‚¬", "12\u00A0€" },
    { "damaged twice", "ÃƒÂ©tÃƒÂ©", "été" }, { "apostrophe damaged twice", "Ã¢â‚¬â„¢", "’" },
    { "lone Ã before spaces", "voilÃ  tout", "voilà tout" },
    { "lone Ã before a letter keeps the space", "Ã la", "à la" },
    { "lone Ã before punctuation", "voilÃ.", "voilà." }, { "lone Ã at the end", "voilÃ", "voilà" },
    { "Ã + no-break space", "Ã\u00A0", "à" }, { "Ã before a sequence", "ÃÃ©", "Ãé" },
    { "Â + space after a letter", "prixÂ !", "prix\u00A0!" },
    { "Â + space after a space or at the start", "Â c, a Â b", "Â c, a Â b" },
    { "two capitals keep Ã", "SÃO PAULO, IRMÃ E MÃE", "SÃO PAULO, IRMÃ E MÃE" },
    { "Â and Ê in text", "ÂGE, les lettres Â Ê", "ÂGE, les lettres Â Ê" },
    { "an incomplete sequence", "â€ : perdu, fin â€", "â€ : perdu, fin â€" },
    { "a lone rare sequence", "la lettre Ð¯ seule", "la lettre Ð¯ seule" },
    { "rare sequences in a row", "ÐŸÑ€Ð¸Ð²ÐµÑ‚", "Привет" },
    { "long sound stretch in dense damage",
        "Ã©tÃ© Ã®le Ã§a dÃ©jÃ¨ lâ€™Ã¢ge, then a long stretch without damage, Ã‰tÃ© and more sound "
        "text",
        "été île ça déjè l’âge, then a long stretch without damage, Été and more sound text" },
    { "sound text", "\u00A0» \u202F! CAFÉ… Ç’a 5¢ ÉTÉ® Привет",
        "\u00A0» \u202F! CAFÉ… Ç’a 5¢ ÉTÉ® Привет" },
    { "read as Latin-1", "Ã\u0089tÃ© â\u0080\u0099", "Été ’" }, { "emoji", "ðŸ˜€", "😀" },
    { "replacement character kept, its damage repaired", "\uFFFDï¿½", "\uFFFD\uFFFD" },
    { "invalid bytes, NUL and line ends", "\xEF\xBB\xBF\xC3\r\n\xFF\0\xC3\x83\xC2\xA9\xE2\x82"s,
        "\xEF\xBB\xBF\xC3\r\n\xFF\0é\xE2\x82"s },
    { "surrogate halves are not characters", "\xC3\xAD\xC2\xA0\xC2\x80",
        "\xC3\xAD\xC2\xA0\xC2\x80" }, // í⍽ + U+0080
};

TEST(FullRepair, Cases)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(orvik::reference::RepairFullLiterally(c.input), c.expected) << "reference";
        for (SiteScan scan : kScans) {
            EXPECT_EQ(orvik::RepairFull(c.input, scan), c.expected);
            std::size_t size = 1;
            EXPECT_EQ(RepairInChunks(c.input, 3, scan, [&] { return size++ % 3 + 1; }), c.expected);
        }
    }
}

// Sound French comes back from one, two and three layers of damage, Windows-1252 or Latin-1;
// four layers are beyond three rounds.
TEST(FullRepair, LayersOfDamage)
{
    const std::string sound
        = "« L’été », dit-elle\u00A0: ÇA ÉTAIT déjà là… où ? Noël, cœur, 5 €, "
          "naïf — aïe ! Île, Ève, À Â É È Ê Ë Î Ï Ô Ù Û Ü Ÿ Æ Œ àâéèêëîïôùûüÿæœ\r\n";
    for (bool latin1 : { false, true }) {
        std::string damaged = sound;
        for (int layers = 1; layers <= 4; ++layers) {
            damaged = Damage(damaged, latin1);
            SCOPED_TRACE(std::to_string(layers) + (latin1 ? " layers, Latin-1" : " layers"));
            EXPECT_EQ(orvik::RepairFull(damaged) == sound, layers <= 3);
        }
    }
    EXPECT_EQ(orvik::RepairFull(sound), sound);
}

// Random text from the pieces every rule looks at, cut into random chunks, against the reference.
TEST(FullRepair, RandomTextCutAnywhereMatchesTheReference)
{
    const std::vector<std::string> pieces = { "a", "E", "S", "1", " ", " ", ".", "\n", "\r\n",
        std::string(1, '\0'), "Ã", "Â", "â", "É", "\u00A0", "\u202F", "\u2009", "\u3000", "€", "’",
        "œ", "Ÿ", "ƒ", "ˆ", "™", "\u0081", "\u009D", "😀", "\uFFFD", "\xC3", "\xE2\x82", "\xFF",
        "\x80", Damage("é"), Damage(Damage("’")), Damage(Damage("à")), Damage("\u00A0"),
        "Lorem ipsum dolor sit amet, consectetur adipiscing elit " };
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
        for (SiteScan scan : kScans) {
            bool changed = false;
            const std::string got = RepairInChunks(
                text, readSize, scan,
                [&] { return std::uniform_int_distribution<std::size_t>(1, readSize)(random); },
                &changed);
            ASSERT_EQ(got, expected) << "input: " << text << ", read size " << readSize;
            ASSERT_EQ(changed, got != text) << "input: " << text;
        }
    }
}

} // namespace
