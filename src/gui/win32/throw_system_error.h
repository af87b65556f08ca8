// SPDX-License-Identifier: MIT
// Failures of Windows calls in the window, described in French for the user.
#pragma once

#include <string_view>

namespace orvik {

// Throws a DesktopError: `what` (what failed, in French), then the system's French description of
// `code`, or the code alone when there is none.
[[noreturn]] void ThrowSystemError(std::u16string_view what, unsigned long code);

// Throws ThrowSystemError(what, GetLastError()).
[[noreturn]] void ThrowLastError(std::u16string_view what);

} // namespace orvik
