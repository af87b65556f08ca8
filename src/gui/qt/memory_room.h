// SPDX-License-Identifier: MIT
// Whether a text box has the memory for a text, asked before the text is handed to it.
//
// A text document that runs out of memory while it takes in or lays out a text cannot recover:
// Qt's text classes do not survive an allocation failure, and the layout goes on in the background
// after the text is in. So a text that would not fit is refused beforehand.
#pragma once

#include <cstdint>
#include <string_view>

namespace orvik {

// What a box needs, at its peak, to hold and lay out `text`: the document and the layout of each
// line take about 16 bytes a character, and a paragraph is laid out whole, about 32 bytes more a
// character of the longest one. Measured on Qt 6.4 with twice the room of what it took.
std::uint64_t BoxBytesFor(std::u16string_view text);
std::uint64_t BoxBytesFor(std::uint64_t length, std::uint64_t longestParagraph);

// What this process can still take: the address space its limit (RLIMIT_AS) leaves, and the memory
// and swap the system has free, whichever is less; UINT64_MAX when neither is known.
std::uint64_t AvailableBytes();

// Throws DesktopError when `needed` bytes are more than AvailableBytes().
void CheckRoomFor(std::uint64_t needed);

} // namespace orvik
