// SPDX-License-Identifier: MIT
// Reads the X11 clipboard with one bounded wait.
//
// Qt's own reading waits up to five seconds for each request to the clipboard's owner, several
// times over, and then reports an owner that never answered, or died half-way through a transfer,
// as a clipboard holding no text. This reader asks the owner itself, on a connection of its own,
// waits once for each answer, and tells "holds no text" from "could not be read".
#pragma once

#include "gui/qt/clipboard_offer.h"

#include <chrono>
#include <optional>

struct xcb_connection_t;

namespace orvik {

// The clipboard's text as its owner offers it, preferring plain text to HTML; std::nullopt when
// the owner is a window of `connection`'s own client, whose text the toolkit holds already. Throws
// DesktopError when the owner leaves a request, or the next piece of a long transfer, unanswered
// for `wait`, or ends before it has finished, and
// std::bad_alloc when the text does not fit in memory.
std::optional<ClipboardOffer> ReadX11Clipboard(
    xcb_connection_t* connection, std::chrono::milliseconds wait);

} // namespace orvik
