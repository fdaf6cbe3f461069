// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QtFileDialogs.h"

#include <QApplication>
#include <QFileDialog>

namespace corvane {

QWidget* QtFileDialogs::ownerWidget() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return owner_;
}

QStringList QtFileDialogs::getOpenFileNames(const QString& title, const QString& initialFolder,
                                            const QStringList& filters) {
    return QFileDialog::getOpenFileNames(ownerWidget(), title, initialFolder,
                                         filters.join(QStringLiteral(";;")));
}

QString QtFileDialogs::getSaveFileName(const QString& title, const QString& initialPath,
                                       const QStringList& filters) {
    return QFileDialog::getSaveFileName(ownerWidget(), title, initialPath,
                                        filters.join(QStringLiteral(";;")), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

}  // namespace corvane
