// SPDX-License-Identifier: MIT
// Conversions between the standard library's UTF-16 strings and QString, code unit for code unit.
//
// QString::fromUtf16 and QString::fromStdU16String are not used: they take a leading U+FEFF for a
// byte-order mark and drop it, which would lose a character of the user's text.
#pragma once

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

} // namespace orvik
