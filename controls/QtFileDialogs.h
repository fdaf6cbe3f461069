// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/FileDialogs.h"

namespace corvane {

// The file dialogs as QFileDialog, owned by the active modal window or the given window.
// The save dialog asks nothing about existing files: the join asks before replacing.
class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* owner = nullptr) : owner_(owner) {}

    void setOwner(QWidget* owner) { owner_ = owner; }

    QStringList getOpenFileNames(const QString& title, const QString& initialFolder,
                                 const QStringList& filters) override;
    QString getSaveFileName(const QString& title, const QString& initialPath,
                            const QStringList& filters) override;

private:
    QWidget* ownerWidget() const;

    QPointer<QWidget> owner_;
};

}  // namespace corvane
