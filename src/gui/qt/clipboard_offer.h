// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvik {

// What the clipboard's owner gave, undecoded, as this program's own readers take it.
struct ClipboardOffer
{
    enum class Kind {
        None, // no owner, or an owner offering no text
        Utf8,
        Latin1,
        Html, // UTF-8, or UTF-16 after a byte-order mark
    };
    Kind kind = Kind::None;
    std::string bytes;
};

} // namespace orvik
