// SPDX-License-Identifier: MIT
#pragma once

namespace orvik {

// Asks Qt for its X11 platform wherever an X display is reachable, in a Wayland session too
// (through XWayland, which GNOME, KDE and most compositors provide), whether or not Qt's Wayland
// plugin is installed: the window then behaves alike on every desktop, with the frame its window
// manager draws. Without an X display Qt picks Wayland itself. A platform the user chose
// (QT_QPA_PLATFORM, or -platform among the arguments) is left alone. Call it before the
// application is built.
void ChoosePlatform(int argc, char* argv[]);

} // namespace orvik
