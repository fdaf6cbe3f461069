// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTemporaryDir>
#include <QTest>

#include "app/ItemListView.h"
#include "app/MainDialog.h"
#include "app/SettingsStore.h"
#include "controls/ImageButton.h"
#include "tests/controls/FakeLinkOpener.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "tests/support/ScriptedMessageBoxes.h"

namespace corvane::test {

// The real main window with scripted boxes, dialogs, desktop and clock, on its own settings.
struct Window {
    QTemporaryDir settingsDir;
    IniSettingsStore store{settingsDir.filePath(QStringLiteral("Corvane.conf"))};
    ScriptedMessageBoxes boxes;
    ScriptedFileDialogs files;
    FakeLinkOpener opener;
    qint64 now = 1'700'000'000;
    std::unique_ptr<MainDialog> dialog;

    explicit Window(const QString& outputPath = QString()) {
        if (!outputPath.isEmpty())
            store.writeString(QStringLiteral("Settings"), QStringLiteral("OutputName"), outputPath);
        open();
    }
    void open() {
        dialog = std::make_unique<MainDialog>(store, boxes, files, opener, [this] { return now; });
        dialog->job().setDecoderStoreFile(QString());
        dialog->show();
        if (!QTest::qWaitForWindowExposed(dialog.get()))
            qWarning("the main window was not exposed");
    }

    ImageButton* button(int id) const { return dialog->button(id); }
    void click(int id) const { QTest::mouseClick(button(id), Qt::LeftButton); }
    ItemListView* list() const { return dialog->listView(); }

    // Add with the file dialog answering `paths`.
    void add(const QStringList& paths) {
        files.openAnswers << paths;
        click(MainDialog::kAddButton);
    }
    QStringList rowNames() const {
        QStringList names;
        for (int r = 0; r < list()->rowCount(); ++r) names << list()->item(r, 0)->text();
        return names;
    }
    // The item list and its mirror agree with the rows shown.
    bool consistent() const {
        const ItemList& items = dialog->items();
        if (items.musicCount() != items.itemCount() || list()->rowCount() != items.itemCount())
            return false;
        for (int i = 0; i < items.itemCount(); ++i)
            if (items.musicPath(i) != items.itemPath(i) ||
                list()->item(i, 0)->text() != ItemList::displayNameOf(items.itemPath(i)))
                return false;
        return true;
    }
    void select(std::vector<bool> rows) const { list()->setSelectedRows(rows); }
};

}  // namespace corvane::test
