// SPDX-License-Identifier: MIT
#include "window/desktop_error.h"

namespace orvik {

DesktopError::DesktopError(const std::string& description)
    : std::runtime_error(description)
{ }

DesktopError::DesktopError(const char* description)
    : std::runtime_error(description)
{ }

} // namespace orvik
