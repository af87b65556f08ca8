// SPDX-License-Identifier: MIT
#pragma once

class QCoreApplication;

namespace orvik {

// Loads Qt's own French translations (qtbase_fr, from the Qt installation) into `app`, whatever
// the system's language, so that the boxes' context menus and the dialogs' buttons speak French
// too. Returns false when they are not installed: Qt's texts then stay in English.
bool InstallFrenchTranslations(QCoreApplication& app);

} // namespace orvik
