// SPDX-License-Identifier: MIT
// A text file the user gives the window: dropped on it, or named when the program starts.
#pragma once

#include <filesystem>
#include <string>

namespace orvik {

// The text of `file`, read as UTF-8, without the byte-order mark that may start it. The file is
// only read. Throws DesktopError, in French and naming the file, when it is missing, is a folder
// or anything but a regular file, cannot be read, is larger than a box holds, or is not text in
// UTF-8 (a NUL or a byte that starts no UTF-8 sequence).
std::u16string ReadTextFile(const std::filesystem::path& file);

} // namespace orvik
