// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the About box and the output options, grabs each and saves it as PNG:
// corvane_screenshots <output folder>
#include <QApplication>
#include <QDir>
#include <QTimer>

#include "app/FileDialogs.h"
#include "app/MessageBoxes.h"
#include "app/SettingsStore.h"
#include "controls/AboutDialog.h"
#include "controls/Artwork.h"
#include "controls/ImageButton.h"
#include "options/OptionsDialog.h"

namespace {

// Nothing here answers questions: the dialogs are only looked at.
class SilentBoxes : public corvane::MessageBoxes {
public:
    void showMessage(const QString&, const QString&, Owner, Icon) override {}
    bool askYesNo(const QString&, const QString&, Owner, Icon) override { return false; }
};
class NoFileDialogs : public corvane::FileDialogs {
public:
    QStringList getOpenFileNames(const QString&, const QString&, const QStringList&) override {
        return {};
    }
    QString getSaveFileName(const QString&, const QString&, const QStringList&) override {
        return {};
    }
};

bool grab(QDialog& dialog, const QString& file) {
    bool saved = false;
    QTimer::singleShot(400, &dialog, [&] {
        // The window frame belongs to the window manager; the dialog is grabbed as drawn.
        saved = dialog.grab().save(file, "PNG");
        dialog.reject();
    });
    dialog.exec();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setWindowIcon(corvane::artwork::applicationIcon());
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));

    corvane::AboutDialog about;
    bool ok = grab(about, out.filePath(QStringLiteral("about.png")));

    const QString settingsFile = QDir::temp().filePath(QStringLiteral("corvane-screenshot.conf"));
    corvane::IniSettingsStore store(settingsFile);
    SilentBoxes boxes;
    NoFileDialogs files;
    corvane::OptionsDialog options(store, boxes, files);
    options.format().outputPath = QStringLiteral("/home/alex/Music/corvane.wav");
    // A rejoined field recording: its own rate and depth.
    options.format().sampleRateIndex = corvane::kSameRateIndex;
    options.format().bitsIndex = corvane::kSameBitsIndex;
    ok = grab(options, out.filePath(QStringLiteral("options.png"))) && ok;
    QFile::remove(settingsFile);

    // With a second folder: the command buttons on the main window's template, for a look
    // at the artwork on its background.
    if (argc > 2) {
        QDialog window;
        corvane::DialogBuilder builder(corvane::DialogTemplate::load(102));
        builder.build(&window);
        QPalette p = window.palette();
        p.setBrush(QPalette::Window, QBrush(corvane::artwork::bitmap(corvane::artwork::kBackgroundBitmap)));
        window.setPalette(p);
        const QList<std::pair<int, int>> icons = {{1006, 140}, {1003, 146}, {1000, 160}, {57670, 148},
                                                  {1, 159},    {1031, 150}, {1032, 151}, {1029, 152},
                                                  {1030, 154}, {1047, 0},   {1042, 0}};
        for (auto [id, icon] : icons) {
            auto* b = builder.control<corvane::ImageButton>(id);
            if (icon) b->SetIconResource(icon);
            b->SetTransparent(false);
            b->SetButtonCursor(corvane::artwork::kHandCursor, true);
            b->SetAlignment(corvane::ImageButton::kIconAbove, true);
        }
        builder.control<corvane::ImageButton>(1003)->setEnabled(false);
        ok = grab(window, QDir(QString::fromLocal8Bit(argv[2])).filePath("buttons.png")) && ok;
    }
    return ok ? 0 : 1;
}
