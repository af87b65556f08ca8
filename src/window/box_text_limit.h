// SPDX-License-Identifier: MIT
// The longest text a box of the window accepts, the same on every system.
#pragma once

#include <cstddef>

namespace orvik {

// The longest text a box accepts, in UTF-16 code units: as long as the repair accepts, and what a
// text document can hold, counting its positions in an int and one for its final block.
inline constexpr std::size_t kMaxBoxTextLength = 2147483646;

// The longest text that replaces a box's content as one edit Ctrl+Z can undo. A longer one replaces
// it without undo, and the box forgets the edits before: the undo history would hold the text
// again, and laying it out as an edit is slow.
inline constexpr std::size_t kMaxUndoableBoxTextLength = 256 * 1024;

// Throws DesktopError when `length` is more than kMaxBoxTextLength.
void CheckBoxTextLength(std::size_t length);

} // namespace orvik
