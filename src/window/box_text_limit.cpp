// SPDX-License-Identifier: MIT
#include "platform/box_text_limit.h"

#include "platform/platform_error.h"

namespace orvik {

void CheckBoxTextLength(std::size_t length)
{
    if (length > kMaxBoxTextLength)
        throw PlatformError("Texte trop long : une zone de texte contient au plus 2 147 483 646 "
                            "caractères.");
}

} // namespace orvik
