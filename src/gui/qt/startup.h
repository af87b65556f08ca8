// SPDX-License-Identifier: MIT
// The program's start: the application, its identity and French texts, and the window, run until
// the window is closed.
#pragma once

#include <QObject>
#include <memory>

class QCoreApplication;

namespace orvik {

// Runs the program: chooses Qt's platform (X11 wherever an X display answers, unless the user
// chose one), builds the application, shows the window and runs the event loop until the
// window is closed; returns the exit status. Without a display it prints one French line on stderr
// and ends the process with status 1. `eventFilter`, when given, watches every event of the
// application from the moment it stands (the measuring probe's way in); the application owns it.
int RunProgram(int& argc, char* argv[], std::unique_ptr<QObject> eventFilter = nullptr);

// Names the program to Qt and, through it, to the desktop: its name, its version, and the
// desktop entry that matches its windows (used by Wayland compositors and task bars).
void SetApplicationIdentity();

// Loads Qt's own French translations (qtbase_fr, from the Qt installation) into `app`, whatever
// the system's language, so that the boxes' context menus and the dialogs' buttons speak French
// too. Returns false when they are not installed: Qt's texts then stay in English.
bool InstallFrenchTranslations(QCoreApplication& app);

} // namespace orvik
