#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <cstdio>

#include "app/MainDialog.h"
#include "app/MessageBoxes.h"
#include "app/SettingsStore.h"
#include "cli/Cli.h"
#include "controls/Artwork.h"
#include "controls/LinkOpener.h"
#include "controls/QtFileDialogs.h"
#include "controls/QtMessageBoxes.h"

namespace {

// The files named on the command line ("Open with" passes paths or file URLs), as absolute
// paths in the order given; false for an unknown option.
bool filesFromArguments(int argc, char** argv, QStringList* files) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "corvane: unknown option %s; see corvane --help\n", argv[i]);
            return false;
        }
        QString path = arg;
        if (arg.startsWith(QLatin1String("file:"))) {
            const QUrl url(arg);
            if (url.isLocalFile()) path = url.toLocalFile();
        }
        *files << QFileInfo(path).absoluteFilePath();
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (corvane::cli::isCommand(argc, argv)) return corvane::cli::run(argc, argv);

    QApplication app(argc, argv);  // takes its own options out of argv
    QApplication::setOrganizationName(QStringLiteral("Brontal"));
    QApplication::setApplicationName(corvane::kAppName);
    QApplication::setWindowIcon(corvane::artwork::applicationIcon());
    QStringList files;
    if (!filesFromArguments(argc, argv, &files)) return corvane::cli::kExitUsage;

    corvane::IniSettingsStore store;
    corvane::QtMessageBoxes boxes;
    corvane::QtFileDialogs fileDialogs;
    corvane::MainDialog window(store, boxes, fileDialogs, corvane::DesktopLinkOpener::instance());
    boxes.setMainWindow(&window);
    fileDialogs.setOwner(&window);
    // Added once the window is up, so their messages appear over it.
    if (!files.isEmpty()) QTimer::singleShot(0, &window, [&] { window.addFiles(files); });
    window.exec();
    return 0;
}
