// SPDX-License-Identifier: MIT
// The repair table: which characters after the lead "Ã" name an accented letter.
#pragma once

#include <array>
#include <cstdint>

namespace orvik::detail {

// "Ã", the byte C3 of a two-byte UTF-8 letter read as Windows-1252.
inline constexpr char16_t kLead = u'\u00C3';

// A lead followed by nothing in the table stands for "à", whose second byte (A0, the no-break
// space) does not survive most copies; only the lead is replaced.
inline constexpr char16_t kDefaultLetter = u'\u00E0'; // à

// The second bytes of é ô è ê ù û ç î â, read as Windows-1252. Many look alike, hence the escapes.
inline constexpr std::array<char16_t, 9> kFollowers = {
    u'\u00A9', // ©  -> é
    u'\u00B4', // ´  -> ô
    u'\u00A8', // ¨  -> è
    u'\u00AA', // ª  -> ê
    u'\u00B9', // ¹  -> ù
    u'\u00BB', // »  -> û
    u'\u00A7', // §  -> ç
    u'\u00AE', // ®  -> î
    u'\u00A2', // ¢  -> â
};

// U+00C0 + (second byte - 0x80) is the letter a UTF-8 pair C3 xx encodes, so every replacement is
// its follower plus 0x40. The vector paths rely on this instead of a lookup.
inline constexpr char16_t kFollowerToLetter = 0x40;

// Bit (f - 0xA0) is set for each follower f: all of them lie in U+00A0..U+00BF.
inline constexpr std::uint32_t kFollowerBits = [] {
    std::uint32_t bits = 0;
    for (char16_t f : kFollowers)
        bits |= std::uint32_t { 1 } << (f - 0xA0);
    return bits;
}();

constexpr bool IsFollower(char16_t c)
{
    const unsigned offset = unsigned(c) - 0xA0u;
    return offset < 32 && ((kFollowerBits >> offset) & 1u);
}

constexpr char16_t LetterFor(char16_t follower)
{
    return char16_t(follower + kFollowerToLetter);
}

static_assert(LetterFor(u'\u00A9') == u'\u00E9' && LetterFor(u'\u00B4') == u'\u00F4'
    && LetterFor(u'\u00A8') == u'\u00E8' && LetterFor(u'\u00AA') == u'\u00EA'
    && LetterFor(u'\u00B9') == u'\u00F9' && LetterFor(u'\u00BB') == u'\u00FB'
    && LetterFor(u'\u00A7') == u'\u00E7' && LetterFor(u'\u00AE') == u'\u00EE'
    && LetterFor(u'\u00A2') == u'\u00E2');

// Followers by nibbles, for the vector kernels' byte lookups (pshufb): a byte b is a follower's
// (low) byte when low[b & 0xF] & high[b >> 4] is not zero. Every follower lies in A0..BF, so
// `high` marks A with bit 0 and B with bit 1, and `low` holds, for each low nibble, the bits of
// the high nibbles that make a follower with it.
struct FollowerNibbles
{
    alignas(16) std::array<std::uint8_t, 16> low {};
    alignas(16) std::array<std::uint8_t, 16> high {};
};

inline constexpr FollowerNibbles kFollowerNibbles = [] {
    FollowerNibbles nibbles;
    nibbles.high[0xA] = 1;
    nibbles.high[0xB] = 2;
    for (char16_t f : kFollowers)
        nibbles.low[f & 0xF] |= nibbles.high[(f >> 4) & 0xF];
    return nibbles;
}();

static_assert([] {
    for (unsigned b = 0; b < 256; ++b) {
        if (bool(kFollowerNibbles.low[b & 0xF] & kFollowerNibbles.high[b >> 4])
            != IsFollower(char16_t(b)))
            return false;
    }
    return true;
}());

} // namespace orvik::detail
