// SPDX-License-Identifier: MIT
// The program's UTF-16 strings as the wchar_t text Windows' functions take: the same code units,
// wchar_t being 16 bits wide on Windows.
#pragma once

#include <string>

namespace orvik {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// `text`, NUL-terminated, for a function of Windows that takes a wide string.
inline const wchar_t* Wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

} // namespace orvik
