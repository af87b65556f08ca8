// SPDX-License-Identifier: MIT
// Texts for the full repair made of what its rules look at, from arbitrary bytes: the fuzz target
// builds its texts so from its input, and the random comparison in the tests from random bytes.
#pragma once

#include <string>
#include <string_view>

namespace orvik::fuzz {

// Letters of each case, spaces, capitals, punctuation, characters that may start or continue a
// sequence, damage once and twice over, bytes that are not UTF-8, and words.
inline constexpr std::string_view kFullRepairPieces[64] = { "a", "E", "S", "ž", "1", " ", "‰", ".",
    "\n", "\r\n", std::string_view("\0", 1), "Ã", "Â", "â", "É", "é", "\u00A0", "\u202F", "\u2009",
    "\u3000", "\u0085", "\t", "€", "’", "œ", "Ÿ", "ƒ", "ˆ", "™", "…", "»", "\u0081", "\u009D", "😀",
    "\uFFFD", "\xC3", "\xE2\x82", "\xE2", "\x82\xAC", "\xFF", "\x80", "\xED\xA0", "Ä", "Å", "È",
    "Ì", "á»", "áµ", "ï»", "Ð", "ğ", "İ", "ǅ", "ß", "ỹ", "Ã©", "ÄŸ", "á»…", "Ã¢â‚¬â„¢", "ÃƒÂ\u00A0",
    "Â\u00A0", "â‰ ", "ÅEKA", "Lorem ipsum dolor sit amet, consectetur adipiscing elit " };

// The text `bytes` stand for, a piece of it for each: with its low two bits 0, one of the
// characters that stand for the first byte of a sequence (U+00C2 to U+00F4); with 1, one of those
// that stand for a continuation byte (U+0080 to U+00BF); else a piece. Its top six bits choose.
inline std::string FullRepairText(std::string_view bytes)
{
    std::string text;
    for (const unsigned char b : bytes) {
        const unsigned choice = b >> 2;
        if (b % 4 == 0)
            text += { char(0xC3), char(0x82 + choice % 0x33) };
        else if (b % 4 == 1)
            text += { char(0xC2), char(0x80 + choice) };
        else
            text += kFullRepairPieces[choice];
    }
    return text;
}

} // namespace orvik::fuzz
