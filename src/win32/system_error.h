// SPDX-License-Identifier: MIT
// Failures of Windows calls, described in French for the user.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// The system's own description of the error `code` in French, without its final line break; empty
// when the system has none in French.
std::u16string FrenchSystemMessage(unsigned long code);

// Throws a DesktopError: `what` (what failed, in French), then the system's French description of
// `code`, or the code alone when there is none.
[[noreturn]] void ThrowSystemError(std::u16string_view what, unsigned long code);

// Throws ThrowSystemError(what, GetLastError()).
[[noreturn]] void ThrowLastError(std::u16string_view what);

// `text` in UTF-8; an unpaired surrogate becomes U+FFFD, or, with `keepLoneSurrogates`, the three
// bytes it would take if it were a character (as "WTF-8" does), so that a Windows name that holds
// one comes back whole.
std::string Utf8FromUtf16(std::u16string_view text, bool keepLoneSurrogates = false);

} // namespace orvik
