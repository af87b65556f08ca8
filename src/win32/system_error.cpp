// SPDX-License-Identifier: MIT
#include "win32/system_error.h"

#include "window/desktop_error.h"

#include <windows.h>

namespace orvik {

namespace {

std::u16string SystemMessage(unsigned long code, LANGID language)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || !buffer)
        return {};
    std::u16string message(reinterpret_cast<const char16_t*>(buffer), length);
    LocalFree(buffer);
    while (!message.empty()
        && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' '))
        message.pop_back();
    return message;
}

} // namespace

std::u16string FrenchSystemMessage(unsigned long code)
{
    std::u16string message = SystemMessage(code, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    // A French system other than France's (Canada, Belgium, Switzerland...) has its own variant.
    const LANGID userLanguage = GetUserDefaultUILanguage();
    if (message.empty() && PRIMARYLANGID(userLanguage) == LANG_FRENCH)
        message = SystemMessage(code, userLanguage);
    return message;
}

void ThrowSystemError(std::u16string_view what, unsigned long code)
{
    std::u16string description(what);
    const std::u16string system = FrenchSystemMessage(code);
    const std::string number = std::to_string(code);
    description += u" (erreur Windows ";
    description.append(number.begin(), number.end());
    description += system.empty() ? u")" : u" : " + system + u")";
    throw DesktopError(Utf8FromUtf16(description));
}

void ThrowLastError(std::u16string_view what)
{
    ThrowSystemError(what, GetLastError());
}

std::string Utf8FromUtf16(std::u16string_view text, bool keepLoneSurrogates)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF && !keepLoneSurrogates) {
            code = 0xFFFD;
        }
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
    return out;
}

} // namespace orvik
