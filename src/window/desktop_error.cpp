// SPDX-License-Identifier: MIT
#include "platform/platform_error.h"

namespace orvik {

PlatformError::PlatformError(const std::string& description)
    : std::runtime_error(description)
{ }

PlatformError::PlatformError(const char* description)
    : std::runtime_error(description)
{ }

} // namespace orvik
