// SPDX-License-Identifier: MIT
// What the main window is, whatever toolkit shows it: its caption and size, its five controls with
// their places, texts, tab order and the names a screen reader gives them, and the font the two
// boxes open in. Each front end builds its window from this and from nothing else, so that a
// change of caption or place is one edit, seen on every system.
//
// Places and sizes are in twips, 1/1440 inch: 15 to a pixel at 96 dots per inch. Left and top are
// measured from the top left corner of the window's client area.
#pragma once

#include <array>
#include <string_view>

namespace orvik {

enum class ControlKind { Button, TextBox };

// What a click on a button does; the boxes have none.
enum class Command { None, Paste, Convert, Copy };

struct Twips
{
    int left, top, width, height;
};

struct ControlDescription
{
    // The control's name, as tests and accessibility tools find it.
    std::string_view name;
    ControlKind kind;
    // A button's caption, or the text a box opens with.
    std::u16string_view text;
    Twips place;
    // 0 takes the keyboard focus first when the window opens.
    int tabIndex;
    Command command;
    // What a screen reader says of the control: its name, then what it does. Spelt out because the
    // captions, in capitals, would be read letter by letter by some readers.
    std::u16string_view spokenName;
    std::u16string_view spokenDescription;
};

struct WindowDescription
{
    std::u16string_view caption;
    // The client area, in twips; the frame is fixed around it.
    int clientWidth, clientHeight;
    // The boxes' font: its face, where the system lacks it the nearest sans-serif one, its size in
    // half-points, and the language their text is tagged with (a Windows language id).
    std::u16string_view boxFontFace;
    int boxFontHalfPoints;
    int boxLanguage;
    // From top to bottom on the screen.
    std::array<ControlDescription, 5> controls;
};

inline constexpr int kTwipsPerInch = 1440;
// The density at which one pixel is 15 twips, and Qt's logical pixels are counted.
inline constexpr int kStandardDpi = 96;

// `twips` in pixels at `dpi` dots per inch, to the nearest pixel.
constexpr int TwipsToPixels(int twips, int dpi)
{
    return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch;
}

inline constexpr WindowDescription kMainWindow = {
    .caption = u"orvik - tq 11/2007",
    .clientWidth = 6975,
    .clientHeight = 5340,
    .boxFontFace = u"MS Sans Serif",
    .boxFontHalfPoints = 17,
    .boxLanguage = 0x040C, // French (France)
    .controls = { {
        { "cmdPaste", ControlKind::Button, u"COLLER le presse papier ET CONVERTIR",
            { 1680, 120, 3735, 255 }, 4, Command::Paste, u"Coller et convertir",
            u"Remplace le texte à réparer par celui du presse-papiers, puis le convertit." },
        { "rtbSource", ControlKind::TextBox, u"Collez ici votre texte à convertir",
            { 120, 480, 6735, 735 }, 1, Command::None, u"Texte à réparer",
            u"Zone du haut : collez ou tapez ici le texte dont les accents sont abîmés." },
        { "CmdConvert", ControlKind::Button, u"CONVERTIR", { 1680, 1320, 3735, 255 }, 2,
            Command::Convert, u"Convertir",
            u"Répare les accents du texte du haut et écrit le résultat dans la zone du bas." },
        { "rtbResult", ControlKind::TextBox, u"Votre texte sera converti ici.",
            { 120, 1680, 6735, 3255 }, 0, Command::None, u"Texte réparé",
            u"Zone du bas : le texte aux accents réparés, prêt à être copié." },
        { "cmdCopy", ControlKind::Button, u"COPIER le texte converti dans le presse papier",
            { 1680, 5040, 3735, 255 }, 3, Command::Copy, u"Copier le texte converti",
            u"Place le texte réparé dans le presse-papiers, en texte brut." },
    } },
};

// The control named `name`; nullptr when there is none.
constexpr const ControlDescription* FindControl(std::string_view name)
{
    for (const ControlDescription& control : kMainWindow.controls)
        if (control.name == name)
            return &control;
    return nullptr;
}

// The controls in tab order.
constexpr std::array<const ControlDescription*, 5> InTabOrder()
{
    std::array<const ControlDescription*, 5> order {};
    for (const ControlDescription& control : kMainWindow.controls)
        order[std::size_t(control.tabIndex)] = &control;
    return order;
}

// At the standard density every place and size falls on a whole pixel, so the window drawn there
// is exactly the one described.
consteval bool WholePixelsAtStandardDpi()
{
    constexpr int perPixel = kTwipsPerInch / kStandardDpi;
    bool whole
        = kMainWindow.clientWidth % perPixel == 0 && kMainWindow.clientHeight % perPixel == 0;
    for (const ControlDescription& control : kMainWindow.controls)
        for (const int figure :
            { control.place.left, control.place.top, control.place.width, control.place.height })
            whole = whole && figure % perPixel == 0;
    return whole;
}
static_assert(WholePixelsAtStandardDpi(), "a place or size that is not a whole pixel at 96 dpi");

} // namespace orvik
