// SPDX-License-Identifier: MIT
// A deliberately plain accent repair, kept slow and simple so that it can judge the fast one: one
// character at a time, with its own copy of the table. RepairBytesLiterally does the same to
// UTF-8 bytes, to judge the filter.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvik::reference {

struct Repaired
{
    std::u16string text;
    std::size_t tableRepairs = 0; // repairs made by a table row, each one shortening the text
};

inline Repaired RepairLiterally(const std::u16string& text)
{
    // Followers and their letters, row by row: é ô è ê ù û ç î â. A lead ("Ã") followed by none
    // of them becomes "à", and what follows it is read afresh.
    constexpr std::u16string_view followers
        = u"\u00A9\u00B4\u00A8\u00AA\u00B9\u00BB\u00A7\u00AE\u00A2";
    constexpr std::u16string_view letters
        = u"\u00E9\u00F4\u00E8\u00EA\u00F9\u00FB\u00E7\u00EE\u00E2";
    Repaired result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\u00C3') {
            result.text += text[i];
            continue;
        }
        const std::size_t row = i + 1 < text.size() ? followers.find(text[i + 1]) : followers.npos;
        result.text += row == followers.npos ? u'\u00E0' : letters[row];
        if (row != followers.npos) {
            ++i;
            ++result.tableRepairs;
        }
    }
    return result;
}

// What the filter must give for `bytes`: the literal repair of the text they hold, invalid bytes
// kept. Only C2 and C3 start the characters a repair reads or writes (U+0080..U+00FF), and neither
// can be a later byte of any UTF-8 character, so decoding those two-byte forms and keeping every
// other byte as the lone surrogate U+DC00 + byte leaves the repair with the same work to do.
inline std::string RepairBytesLiterally(std::string_view bytes)
{
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = bytes[i], next = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const bool twoBytes = (b == 0xC2 || b == 0xC3) && (next & 0xC0) == 0x80;
        text += char16_t(twoBytes ? (b & 0x1F) << 6 | (next & 0x3F) : b < 0x80 ? b : 0xDC00 + b);
        i += twoBytes;
    }
    std::string out; // ASCII and kept bytes (U+DC80..U+DCFF) take one byte, U+0080..U+00FF two
    for (char16_t c : RepairLiterally(text).text)
        out += c < 0x80 || c > 0xFF ? std::string(1, char(c))
                                    : std::string { char(0xC0 | c >> 6), char(0x80 | (c & 0x3F)) };
    return out;
}

} // namespace orvik::reference
