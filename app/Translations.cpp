// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "media/decoders/WorkerPool.h"

namespace corvane {

bool installTranslations(const QLocale& locale) {
    // Kept for the program's life: the application reads them whenever a text is shown.
    static QTranslator ours;
    static QTranslator qt;
    QCoreApplication::removeTranslator(&ours);
    QCoreApplication::removeTranslator(&qt);
    // Built into the program from resources/translations/corvane_LANG.ts.
    const bool found = ours.load(locale, QStringLiteral("corvane"), QStringLiteral("_"),
                                 QStringLiteral(":/i18n"));
    if (found) QCoreApplication::installTranslator(&ours);
    // The causes the decoder workers give follow the window's language.
    media::WorkerPool::setTranslation(found ? ours.filePath() : QString());
    if (qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
    return found;
}

}  // namespace corvane
