// SPDX-License-Identifier: MIT
#include "gui/qt/application_identity.h"

#include "orvik_version.h"

#include <QGuiApplication>

namespace orvik {

void SetApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("orvik"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionDisplay));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kAppId));
}

} // namespace orvik
