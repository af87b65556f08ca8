// SPDX-License-Identifier: MIT
#include "gui/qt/french_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace orvik {

bool InstallFrenchTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    const bool loaded
        = translator->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"),
            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace orvik
