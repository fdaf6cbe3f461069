// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace corvane {

namespace {

QMessageBox::Icon toQt(MessageBoxes::Icon icon) {
    switch (icon) {
    case MessageBoxes::Icon::Information: return QMessageBox::Information;
    case MessageBoxes::Icon::Warning: return QMessageBox::Warning;
    case MessageBoxes::Icon::Error: return QMessageBox::Critical;
    case MessageBoxes::Icon::Question: return QMessageBox::Question;
    case MessageBoxes::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QWidget* QtMessageBoxes::ownerWidget(Owner owner) const {
    switch (owner) {
    case Owner::None: return nullptr;
    case Owner::MainWindow: return mainWindow_;
    case Owner::Application: break;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return mainWindow_ ? mainWindow_.data() : QApplication::activeWindow();
}

void QtMessageBoxes::showMessage(const QString& text, const QString& caption, Owner owner,
                                 Icon icon) {
    QMessageBox box(toQt(icon), caption, text, QMessageBox::Ok, ownerWidget(owner));
    box.exec();
}

bool QtMessageBoxes::askYesNo(const QString& text, const QString& caption, Owner owner,
                              Icon icon) {
    QMessageBox box(toQt(icon), caption, text, QMessageBox::Yes | QMessageBox::No,
                    ownerWidget(owner));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QtMessageBoxes& QtMessageBoxes::instance() {
    static QtMessageBoxes boxes;
    return boxes;
}

}  // namespace corvane
