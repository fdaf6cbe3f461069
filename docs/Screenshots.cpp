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
    ok = grab(options, out.filePath(QStringLiteral("options.png"))) && ok;
    QFile::remove(settingsFile);
    return ok ? 0 : 1;
}
