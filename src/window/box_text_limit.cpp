// SPDX-License-Identifier: MIT
#include "window/box_text_limit.h"

#include "window/desktop_error.h"

namespace orvik {

void CheckBoxTextLength(std::size_t length)
{
    if (length > kMaxBoxTextLength)
        throw DesktopError("Texte trop long : une zone de texte contient au plus 2 147 483 646 "
                           "caractères.");
}

} // namespace orvik
