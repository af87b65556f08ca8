// SPDX-License-Identifier: MIT
// The window's description: what the user sees and hears of the window, and its places in pixels.
#include "window/frm_main_description.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace orvik {
namespace {

using namespace std::string_view_literals;

// What the user sees and hears of the window, written out here rather than taken from the code;
// the front ends' tests check that they show what the description holds.
TEST(FrmMainDescription, SaysWhatTheUserSees)
{
    // Caption, client size in twips, the boxes' font and language (0x040C: French (France)).
    EXPECT_EQ(std::tie(kMainWindow.caption, kMainWindow.clientWidth, kMainWindow.clientHeight,
                  kMainWindow.boxFontFace, kMainWindow.boxFontHalfPoints, kMainWindow.boxLanguage),
        std::tuple(u"orvik - tq 11/2007"sv, 6975, 5340, u"MS Sans Serif"sv, 17, 0x040C));
    // name, caption or opening text, left, top, width, height, tab index, command, spoken name
    // and description
    const std::tuple<std::string_view, std::u16string_view, int, int, int, int, int, Command,
        std::u16string_view, std::u16string_view>
        expected[] = {
            { "cmdPaste", u"COLLER le presse papier ET CONVERTIR", 1680, 120, 3735, 255, 4,
                Command::Paste, u"Coller et convertir",
                u"Remplace le texte à réparer par celui du presse-papiers, puis le convertit." },
            { "rtbSource", u"Collez ici votre texte à convertir", 120, 480, 6735, 735, 1,
                Command::None, u"Texte à réparer",
                u"Zone du haut : collez ou tapez ici le texte dont les accents sont abîmés." },
            { "CmdConvert", u"CONVERTIR", 1680, 1320, 3735, 255, 2, Command::Convert, u"Convertir",
                u"Répare les accents du texte du haut et écrit le résultat dans la zone du bas." },
            { "rtbResult", u"Votre texte sera converti ici.", 120, 1680, 6735, 3255, 0,
                Command::None, u"Texte réparé",
                u"Zone du bas : le texte aux accents réparés, prêt à être copié." },
            { "cmdCopy", u"COPIER le texte converti dans le presse papier", 1680, 5040, 3735, 255,
                3, Command::Copy, u"Copier le texte converti",
                u"Place le texte réparé dans le presse-papiers, en texte brut." },
        };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const ControlDescription& c = kMainWindow.controls[i];
        EXPECT_EQ(std::tie(c.name, c.text, c.place.left, c.place.top, c.place.width, c.place.height,
                      c.tabIndex, c.command, c.spokenName, c.spokenDescription),
            expected[i]);
    }
}

// Places are rounded to the nearest pixel, half a pixel up.
TEST(FrmMainDescription, TwipsToPixelsRoundsToTheNearest)
{
    EXPECT_EQ(TwipsToPixels(255, 144), 26); // 25.5
    EXPECT_EQ(TwipsToPixels(3255, 120), 271); // 271.25
    EXPECT_EQ(TwipsToPixels(3735, 168), 436); // 435.75
}

} // namespace
} // namespace orvik
