// SPDX-License-Identifier: MIT
// Windows' own descriptions of its errors, in French, for the window and the filter.
#pragma once

#include <string>

namespace orvik {

// The system's own description of the error `code` in French, without its final line break; empty
// when the system has none in French.
std::u16string FrenchSystemMessage(unsigned long code);

} // namespace orvik
