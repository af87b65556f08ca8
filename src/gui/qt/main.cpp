// SPDX-License-Identifier: MIT
// The program's entry: builds the application, shows the window and runs the event loop until
// the window is closed.
#include "platform/qt/application_identity.h"
#include "platform/qt/french_translations.h"
#include "platform/qt/startup_message_guard.h"
#include "platform/qt/frm_main.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    orvik::StartupMessageGuard startupMessages;
    QApplication app(argc, argv);
    startupMessages.Release();
    orvik::SetApplicationIdentity();
    orvik::InstallFrenchTranslations(app);

    orvik::frmMain window;
    window.show();
    return QApplication::exec();
}
