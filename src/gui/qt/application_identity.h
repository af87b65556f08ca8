// SPDX-License-Identifier: MIT
#pragma once

namespace orvik {

// Names the program to Qt and, through it, to the desktop: its name, its version, and the
// desktop entry that matches its windows (used by Wayland compositors and task bars).
void SetApplicationIdentity();

} // namespace orvik
