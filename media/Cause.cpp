// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Cause.h"

#include <QCoreApplication>
#include <QTranslator>

namespace corvane::media {

namespace {

constexpr char kContext[] = "Cause";

// Only the single-threaded process that forks the workers changes it.
QTranslator* processTranslator() {
    static QTranslator* translator = new QTranslator;
    return translator;
}
bool gLoaded = false;

}  // namespace

QString Cause::tr(const char* source) {
    if (QCoreApplication::instance()) return QCoreApplication::translate(kContext, source);
    if (gLoaded) {
        const QString text = processTranslator()->translate(kContext, source);
        if (!text.isEmpty()) return text;
    }
    return QString::fromUtf8(source);
}

bool Cause::useTranslation(const QString& qmFile) {
    gLoaded = !qmFile.isEmpty() && processTranslator()->load(qmFile);
    return gLoaded;
}

}  // namespace corvane::media
