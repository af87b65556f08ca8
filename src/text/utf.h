// SPDX-License-Identifier: MIT
// UTF-8 and UTF-16, both ways, for whole strings and one sequence at a time.
//
// Well-formed UTF-8 is what the Unicode standard allows: no overlong form (C0 80 for U+0000), no
// code point past U+10FFFF, no surrogate (ED A0 80 to ED BF BF). Decoding takes each byte that
// starts no well-formed sequence, a sequence cut short included, as one U+FFFD and goes on from
// the next byte.
//
// UTF-16 text from Windows may hold a surrogate without its other half (a lone surrogate), which
// no UTF-8 character stands for. It becomes U+FFFD, or, with LoneSurrogates::Keep, the three bytes
// it would take if it were a character (as "WTF-8" does); decoding with Keep reads those three
// bytes back as the surrogate, so that a Windows file name holding one comes back whole.
//
// A Linux file name is bytes, and may hold some that are not UTF-8 (an old Latin-1 name): with
// LoneSurrogates::EscapeBytes each such byte B decodes as the lone surrogate U+DC00 + B, and
// encodes back as B, so that the name comes back whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvik {

enum class LoneSurrogates {
    Replace, // U+FFFD, both ways
    Keep, // encoded as if they were characters, and decoded back
    EscapeBytes, // U+DC80 to U+DCFF stand for the bytes 80 to FF that start no character
};

struct Utf8Sequence
{
    char32_t code; // the code point
    std::size_t length; // its bytes, 1 to 4
};

// The sequence that starts at byte `at` of `text` (at < text.size()), or nothing when the bytes
// there start no well-formed sequence. With LoneSurrogates::Keep an encoded surrogate counts as
// well-formed.
std::optional<Utf8Sequence> DecodeUtf8(
    std::string_view text, std::size_t at, LoneSurrogates lone = LoneSurrogates::Replace);

// Appends the UTF-8 form of `code` (at most U+10FFFF; a surrogate gets the three bytes of WTF-8).
void AppendUtf8(std::string& out, char32_t code);

std::u16string Utf16FromUtf8(std::string_view text, LoneSurrogates lone = LoneSurrogates::Replace);
std::string Utf8FromUtf16(std::u16string_view text, LoneSurrogates lone = LoneSurrogates::Replace);

} // namespace orvik
