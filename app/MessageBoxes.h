// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>

namespace corvane {

inline const QString kAppName = QStringLiteral("Corvane");

// Every message and question the program puts to the user goes through here, so front ends
// (window, terminal) and tests can each answer in their own way.
class MessageBoxes {
public:
    // Whose box it is: the application's (caption "Corvane"), the main window's (its own
    // caption) or one with no owner window.
    enum class Owner { Application, MainWindow, None };
    enum class Icon { None, Information, Warning, Error, Question };

    virtual ~MessageBoxes() = default;
    // A box with an OK button.
    virtual void showMessage(const QString& text, const QString& caption, Owner owner, Icon icon) = 0;
    // A box with Yes and No; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& caption, Owner owner, Icon icon) = 0;

    // The application's message box: its title as caption, OK button.
    void appMessage(const QString& text) {
        showMessage(text, kAppName, Owner::Application, Icon::None);
    }
    // A box owned by the main window, captioned "Error".
    void errorMessage(const QString& text) {
        showMessage(text, QCoreApplication::translate("corvane::MessageBoxes", "Error"),
                    Owner::MainWindow, Icon::Error);
    }
};

}  // namespace corvane
