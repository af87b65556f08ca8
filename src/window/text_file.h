// SPDX-License-Identifier: MIT
// A text file the user gives the window (dropped on it, or named when the program starts): the
// French messages about it, and its text.
#pragma once

#include "window/desktop_error.h"

#include <string>
#include <string_view>

namespace orvik {

enum class FileProblem {
    Missing,
    Folder,
    NotAFile, // a device, a pipe...
    TooLarge, // more bytes than a box holds characters
    Unreadable, // the system's reason follows
    NotUtf8, // a NUL or a byte that starts no UTF-8 sequence
};

// The French message for `problem` with `file`, which it names; `reason` (the system's description
// of why, if any) ends an Unreadable one.
DesktopError FileError(
    FileProblem problem, std::u16string_view file, std::u16string_view reason = {});

// The text of `file`'s bytes, read as UTF-8, without the byte-order mark that may start it. Throws
// FileError(NotUtf8) when they are not UTF-8 text.
std::u16string TextOfFile(std::string_view bytes, std::u16string_view file);

} // namespace orvik
