// SPDX-License-Identifier: MIT
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace orvik {

// The French description of `error`, for the user: the text of a DesktopError or of the repair
// core's std::length_error as it stands, a plain sentence for a lack of memory, and a prefixed
// what() for anything else.
std::u16string DescribeException(std::exception_ptr error);

// `text` decoded from UTF-8; each byte that starts no valid sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);

} // namespace orvik
