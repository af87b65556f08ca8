// SPDX-License-Identifier: MIT
#pragma once

class QPushButton;

namespace orvik {

// Makes the button's caption fit inside the button, whose size never changes: when the caption
// is wider or taller than the room the style leaves for it, the font shrinks, in half-point steps
// and trying a semi-condensed face at each size, until it fits. A caption that fits keeps the
// platform's default font. Call once the button has its final size.
void FitCaption(QPushButton& button);

} // namespace orvik
