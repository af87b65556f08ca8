// SPDX-License-Identifier: MIT
#include "win32/system_error.h"

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

} // namespace orvik
