// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>

namespace orvik {

// A desktop operation that failed: a box that could not be read or written, a clipboard that
// refused a text. what() is a French description, in UTF-8, meant for the user.
class DesktopError : public std::runtime_error
{
public:
    explicit DesktopError(const std::string& description);
    explicit DesktopError(const char* description);
};

} // namespace orvik
