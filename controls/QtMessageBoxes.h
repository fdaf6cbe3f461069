// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/MessageBoxes.h"

namespace corvane {

// Message boxes as QMessageBox. The application's boxes belong to the active modal window
// (or the main window when none is open), the main window's to the main window, and boxes
// with no owner to nobody.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* mainWindow = nullptr) : mainWindow_(mainWindow) {}

    void setMainWindow(QWidget* mainWindow) { mainWindow_ = mainWindow; }

    void showMessage(const QString& text, const QString& caption, Owner owner, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption, Owner owner, Icon icon) override;

    // A process-wide instance without a main window, for controls used on their own.
    static QtMessageBoxes& instance();

private:
    QWidget* ownerWidget(Owner owner) const;

    QPointer<QWidget> mainWindow_;
};

}  // namespace corvane
