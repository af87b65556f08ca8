// SPDX-License-Identifier: MIT
#pragma once

#include <exception>
#include <string>

namespace orvik {

// The French description of `error`, for the user: the text of a DesktopError or of the repair
// core's std::length_error as it stands, a plain sentence for a lack of memory, and a prefixed
// what() for anything else.
std::u16string DescribeException(std::exception_ptr error);

} // namespace orvik
