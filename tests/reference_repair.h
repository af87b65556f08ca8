// SPDX-License-Identifier: MIT
// A deliberately literal accent repair, kept slow and plain so that it can judge the fast one:
// 1-based positions, the text rebuilt from three pieces at every lead, its own copy of the table.
// RepairBytesLiterally does the same to UTF-8 bytes, to judge the filter.
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

inline Repaired RepairLiterally(std::u16string text)
{
    // Followers and their letters, row by row: é ô è ê ù û ç î â.
    constexpr std::u16string_view followers
        = u"\u00A9\u00B4\u00A8\u00AA\u00B9\u00BB\u00A7\u00AE\u00A2";
    constexpr std::u16string_view letters
        = u"\u00E9\u00F4\u00E8\u00EA\u00F9\u00FB\u00E7\u00EE\u00E2";
    constexpr char16_t lead = u'\u00C3'; // Ã
    constexpr char16_t defaultLetter = u'\u00E0'; // à

    Repaired result;
    std::size_t start = 1;
    for (;;) {
        const std::size_t found = text.find(lead, start - 1);
        if (found == std::u16string::npos)
            break;
        const std::size_t p = found + 1;
        const std::u16string follower = p < text.size() ? text.substr(p, 1) : std::u16string();

        std::size_t consumed = 2;
        char16_t replacement = defaultLetter;
        const std::size_t row
            = follower.empty() ? std::u16string_view::npos : followers.find(follower[0]);
        if (row != std::u16string_view::npos) {
            replacement = letters[row];
            ++result.tableRepairs;
        } else {
            consumed = 1;
        }

        const std::size_t restFrom = p + consumed; // 1-based
        const std::u16string rest
            = restFrom <= text.size() ? text.substr(restFrom - 1) : std::u16string();
        text = text.substr(0, p - 1) + replacement + rest;
        start = p + 1;
    }
    result.text = std::move(text);
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
    for (char16_t c : RepairLiterally(std::move(text)).text)
        out += c < 0x80 || c > 0xFF ? std::string(1, char(c))
                                    : std::string { char(0xC0 | c >> 6), char(0x80 | (c & 0x3F)) };
    return out;
}

} // namespace orvik::reference
