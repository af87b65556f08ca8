// SPDX-License-Identifier: MIT
// Conversions between the standard library's UTF-16 strings and QString, code unit for code unit.
//
// QString::fromUtf16 and QString::fromStdU16String are not used: they take a leading U+FEFF for a
// byte-order mark and drop it, which would lose a character of the user's text.
#pragma once

#include "text/utf.h"

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

namespace orvik {

inline QString ToQString(std::u16string_view text)
{
    return QStringView(text).toString();
}

inline std::u16string ToU16String(const QString& text)
{
    return std::u16string(
        reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()));
}

// A file name as the system gives it, in bytes: those that are not UTF-8 (an old Latin-1 name)
// are kept, so that the name opens again (QtDesktop::ReadFile).
inline QString FileNameFromBytes(std::string_view bytes)
{
    return ToQString(Utf16FromUtf8(bytes, LoneSurrogates::EscapeBytes));
}

} // namespace orvik
