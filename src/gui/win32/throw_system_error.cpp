// SPDX-License-Identifier: MIT
#include "gui/win32/throw_system_error.h"

#include "text/utf.h"
#include "win32/system_error.h"
#include "window/desktop_error.h"

#include <windows.h>

namespace orvik {

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

} // namespace orvik
