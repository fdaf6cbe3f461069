// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/DBusDesktopNotifier.h"
#include "app/MainDialog.h"
#include "app/Translations.h"
#include "app/MessageBoxes.h"
#include "app/SettingsStore.h"
#include "cli/Cli.h"
#include "cli/StopSignals.h"
#include "controls/Artwork.h"
#include "controls/LinkOpener.h"
#include "controls/QtFileDialogs.h"
#include "controls/QtMessageBoxes.h"
#include "media/PathCodec.h"
#include "media/decoders/WorkerPool.h"

namespace {

// The files named on the command line ("Open with" passes paths or file URLs), as absolute
// paths in the order given; false for an unknown option.
bool filesFromArguments(int argc, char** argv, QStringList* files) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        // Names that are not UTF-8 keep their bytes (see PathCodec).
        const QString arg = corvane::media::pathToQString(argv[i]);
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

// Qt gives up with an abort when there is no display; say what to do instead.
bool displayAvailable(int argc, char** argv) {
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    corvane::cli::prepareProcess();
    // Before anything starts a thread: the decoder workers are forked from this state.
    corvane::media::WorkerPool::start();
    if (corvane::cli::isCommand(argc, argv)) return corvane::cli::run(argc, argv);
    if (!displayAvailable(argc, argv)) {
        for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
            if (argv[i][0] == '-') {
                std::fprintf(stderr, "corvane: unknown option %s; see corvane --help\n", argv[i]);
                return corvane::cli::kExitUsage;
            }
        std::fputs(
            "corvane: there is no display to open the window on; to join from a terminal, "
            "use corvane join (see corvane --help)\n",
            stderr);
        return corvane::cli::kExitFailed;
    }

    QApplication app(argc, argv);  // takes its own options out of argv
    QApplication::setOrganizationName(QStringLiteral("Brontal"));
    QApplication::setApplicationName(corvane::kAppName);
    QApplication::setWindowIcon(corvane::artwork::applicationIcon());
    corvane::installTranslations();
    QStringList files;
    if (!filesFromArguments(argc, argv, &files)) return corvane::cli::kExitUsage;

    corvane::IniSettingsStore store;
    corvane::QtMessageBoxes boxes;
    corvane::QtFileDialogs fileDialogs;
    corvane::MainDialog window(store, boxes, fileDialogs, corvane::DesktopLinkOpener::instance());
    boxes.setMainWindow(&window);
    corvane::DBusDesktopNotifier notifier;
    window.setDesktopNotifier(&notifier);
    fileDialogs.setOwner(&window);
    // Added once the window is up, so their messages appear over it.
    if (!files.isEmpty()) QTimer::singleShot(0, &window, [&] { window.addFiles(files); });
    // Ended from outside (logout, kill, Ctrl-C in its terminal): a running join stops as with
    // Stop, so its file is whole and in place, and the window goes.
    corvane::cli::StopSignals stops;
    // A message box or dialog waiting for an answer, or one the code that waited goes on to
    // show, would hold the window open: each is answered No/Cancel, so nothing it asked about
    // starts.
    const auto answerNo = [&window] {
        for (int nested = 0; nested < 16; ++nested) {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog == &window) break;
            dialog->reject();
            if (QApplication::activeModalWidget() == dialog) dialog->hide();
        }
    };
    QTimer answering;
    answering.setInterval(50);
    QObject::connect(&answering, &QTimer::timeout, &window, answerNo);
    QObject::connect(&stops, &corvane::cli::StopSignals::stopRequested, &window, [&](int) {
        if (window.job().joinRunning()) window.job().stopJoin();
        answerNo();
        answering.start();
        window.done(QDialog::Rejected);
    });
    window.exec();
    corvane::cli::StopSignals::settle();
    return stops.received() ? corvane::cli::StopSignals::exitStatus(stops.received()) : 0;
}
