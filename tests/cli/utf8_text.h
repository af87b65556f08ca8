// UTF-8 helpers for the filter's tests: a strict encoder and decoder, written plainly, and a way
// to show bytes in a failure message.
//
// Decoding escapes every byte that is not part of a well-formed UTF-8 character as the lone
// surrogate U+DC00 + byte, and encoding turns such a unit back into its byte. RepairAccents sees
// those units as ordinary characters, so "decode, RepairAccents, encode" tells what the filter
// must do with any bytes at all, valid or not.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace orvik::test {

inline std::u16string DecodeEscaped(std::string_view bytes)
{
    std::u16string text;
    std::size_t i = 0;
    auto at = [&](std::size_t k) { return k < bytes.size() ? std::uint8_t(bytes[k]) : 0; };
    auto cont = [&](std::size_t k) { return k < bytes.size() && (at(k) & 0xC0) == 0x80; };
    while (i < bytes.size()) {
        const std::uint8_t b = at(i);
        std::uint32_t c = 0;
        std::size_t length = 0;
        if (b < 0x80) {
            c = b;
            length = 1;
        } else if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) {
            c = (b & 0x1Fu) << 6 | (at(i + 1) & 0x3Fu);
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
            c = (b & 0x0Fu) << 12 | (at(i + 1) & 0x3Fu) << 6 | (at(i + 2) & 0x3Fu);
            length
                = (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) ? 3 : 0; // no overlong, no surrogate
        } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            c = (b & 0x07u) << 18 | (at(i + 1) & 0x3Fu) << 12 | (at(i + 2) & 0x3Fu) << 6
                | (at(i + 3) & 0x3Fu);
            length = (c >= 0x10000 && c <= 0x10FFFF) ? 4 : 0;
        }
        if (length == 0) {
            text += char16_t(0xDC00 + b);
            ++i;
        } else if (c >= 0x10000) {
            text += char16_t(0xD800 + ((c - 0x10000) >> 10));
            text += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
            i += length;
        } else {
            text += char16_t(c);
            i += length;
        }
    }
    return text;
}

// Encodes UTF-16 as UTF-8; a lone U+DC80..U+DCFF becomes the byte it escapes.
inline std::string EncodeEscaped(std::u16string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            bytes += char(c - 0xDC00);
            continue;
        }
        if (c < 0x80) {
            bytes += char(c);
        } else if (c < 0x800) {
            bytes += char(0xC0 | (c >> 6));
            bytes += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += char(0xE0 | (c >> 12));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        } else {
            bytes += char(0xF0 | (c >> 18));
            bytes += char(0x80 | ((c >> 12) & 0x3F));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

inline std::string Hex(std::string_view bytes)
{
    std::string out;
    for (char b : bytes) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%02X ", unsigned(std::uint8_t(b)));
        out += buffer;
    }
    return out;
}

} // namespace orvik::test
