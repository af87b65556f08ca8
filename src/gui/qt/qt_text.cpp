// SPDX-License-Identifier: MIT
#include "gui/qt/qt_text.h"

#include <QString>

namespace orvik {

QString ToQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

std::u16string ToU16String(const QString& text)
{
    return std::u16string(
        reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()));
}

} // namespace orvik
