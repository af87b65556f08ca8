// SPDX-License-Identifier: MIT
#include "text/utf.h"

namespace orvik {

namespace {

constexpr char32_t kReplacement = U'\uFFFD';

bool IsSurrogate(char32_t code)
{
    return code >= 0xD800 && code <= 0xDFFF;
}

} // namespace

std::optional<Utf8Sequence> DecodeUtf8(std::string_view text, std::size_t at, LoneSurrogates lone)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return Utf8Sequence { lead, 1 };
    std::size_t length;
    char32_t code;
    char32_t lowest; // below it, the form is overlong
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, code = lead & 0x1F, lowest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, code = lead & 0x0F, lowest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, code = lead & 0x07, lowest = 0x10000;
    else
        return std::nullopt; // a continuation byte, C0, C1 or F5..FF
    if (text.size() - at < length)
        return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (IsSurrogate(code) && lone != LoneSurrogates::Keep))
        return std::nullopt;
    return Utf8Sequence { code, length };
}

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

std::u16string Utf16FromUtf8(std::string_view text, LoneSurrogates lone)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<Utf8Sequence> sequence = DecodeUtf8(text, i, lone);
        if (!sequence) {
            out += lone == LoneSurrogates::EscapeBytes
                ? char16_t(0xDC00 + static_cast<unsigned char>(text[i]))
                : char16_t(kReplacement);
            ++i;
            continue;
        }
        const char32_t code = sequence->code;
        if (code >= 0x10000) {
            out += char16_t(0xD800 + ((code - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += char16_t(code);
        }
        i += sequence->length;
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view text, LoneSurrogates lone)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (lone == LoneSurrogates::EscapeBytes && code >= 0xDC80 && code <= 0xDCFF) {
            out += char(code - 0xDC00);
            continue;
        } else if (IsSurrogate(code) && lone != LoneSurrogates::Keep)
            code = kReplacement;
        AppendUtf8(out, code);
    }
    return out;
}

} // namespace orvik
