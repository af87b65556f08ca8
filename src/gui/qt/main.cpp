// SPDX-License-Identifier: MIT
// The program's entry: builds the application, shows the window and runs the event loop until
// the window is closed.
#include "gui/qt/application_identity.h"
#include "gui/qt/french_translations.h"
#include "gui/qt/frm_main.h"
#include "gui/qt/platform_choice.h"
#include "gui/qt/startup_message_guard.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    orvik::ChoosePlatform(argc, argv);
    orvik::StartupMessageGuard startupMessages;
    QApplication app(argc, argv);
    startupMessages.Release();
    orvik::SetApplicationIdentity();
    orvik::InstallFrenchTranslations(app);

    orvik::frmMain window;
    window.show();
    return QApplication::exec();
}
