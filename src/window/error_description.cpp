// SPDX-License-Identifier: MIT
#include "window/error_description.h"

#include "window/desktop_error.h"

#include <new>
#include <stdexcept>

namespace orvik {

std::u16string Utf16FromUtf8(std::string_view text)
{
    constexpr char16_t kReplacement = u'\uFFFD';
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t code = 0;
        char32_t lowest = 0;
        if (lead < 0x80) {
            out.push_back(char16_t(lead));
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F, lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F, lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07, lowest = 0x10000;
        }
        bool valid = length != 0 && i + std::size_t(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + std::size_t(k)]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, encoded surrogates and code points past U+10FFFF are not UTF-8.
        if (!valid || code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(char16_t(0xD800 + (code >> 10)));
            out.push_back(char16_t(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(char16_t(code));
        }
        i += std::size_t(length);
    }
    return out;
}

std::u16string DescribeException(std::exception_ptr error)
{
    if (!error)
        return u"Erreur inattendue.";
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return u"Mémoire insuffisante pour traiter ce texte.";
    } catch (const DesktopError& e) {
        return Utf16FromUtf8(e.what());
    } catch (const std::length_error& e) {
        // The repair core's refusal of a text too long, already in French.
        return Utf16FromUtf8(e.what());
    } catch (const std::exception& e) {
        return u"Erreur inattendue : " + Utf16FromUtf8(e.what());
    } catch (...) {
        return u"Erreur inattendue.";
    }
}

} // namespace orvik
