// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the main window with the sample sounds in its list and grabs it idle, with a
// button focused from the keyboard, and in the middle of a join:
// corvane_main_screenshots <output folder>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>

#include "app/FileDialogs.h"
#include "app/ItemListView.h"
#include "app/MainDialog.h"
#include "app/MessageBoxes.h"
#include "app/SettingsStore.h"
#include "controls/Artwork.h"
#include "controls/ImageButton.h"
#include "controls/LinkOpener.h"
#include "media/decoders/WorkerPool.h"

namespace {

class SilentBoxes : public corvane::MessageBoxes {
  public:
    void showMessage(const QString& text, const QString&, Owner, Icon) override {
        qWarning("%s", qPrintable(text));
    }
    bool askYesNo(const QString&, const QString&, Owner, Icon) override { return true; }
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
class NoLinks : public corvane::LinkOpener {
  public:
    bool openWithDesktop(const QString&) override { return false; }
    QString webPageCommand() override { return {}; }
    int start(const QString&, const QStringList&) override { return kFileNotFound; }
};

// An hour of a soft 8 kHz tone, so the join runs long enough to be seen.
bool writeLongWav(const QString& path) {
    const quint32 rate = 8000, frames = rate * 3600;
    QByteArray header("RIFF....WAVEfmt ");
    const auto le32 = [](QByteArray& b, quint32 v) {
        for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
    };
    const auto le16 = [](QByteArray& b, quint16 v) {
        b.append(char(v & 0xFF));
        b.append(char(v >> 8));
    };
    le32(header, 16);
    le16(header, 1);
    le16(header, 1);
    le32(header, rate);
    le32(header, rate);
    le16(header, 1);
    le16(header, 8);
    header.append("data");
    le32(header, frames);
    const quint32 riff = quint32(header.size()) - 8 + frames;
    for (int i = 0; i < 4; ++i) header[4 + i] = char((riff >> (8 * i)) & 0xFF);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(header);
    QByteArray second(int(rate), '\0');
    for (quint32 i = 0; i < rate; ++i)
        second[int(i)] = char(128 + std::lround(40 * std::sin(2 * M_PI * 220 * i / rate)));
    for (int s = 0; s < 3600; ++s)
        if (f.write(second) != second.size()) return false;
    return f.flush();
}

void wait(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

QStringList samples(const QDir& tmp) {
    QStringList paths;
    const QDir dir(QStringLiteral(CORVANE_SAMPLES_DIR));
    for (const QString& name : dir.entryList({QStringLiteral("0*")}, QDir::Files, QDir::Name)) {
        if (name.endsWith(QLatin1String(".sh"))) continue;
        const QString copy = tmp.filePath(name);
        QFile::copy(dir.filePath(name), copy);
        paths << copy;
    }
    return paths;
}

}  // namespace

int main(int argc, char** argv) {
    // As the program does: the decoder workers are forked before any thread starts.
    corvane::media::WorkerPool::start();
    QApplication app(argc, argv);
    app.setWindowIcon(corvane::artwork::applicationIcon());
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    QTemporaryDir tmp;
    if (!tmp.isValid()) return 1;
    const QDir work(tmp.path());

    corvane::IniSettingsStore store(work.filePath(QStringLiteral("Corvane.conf")));
    SilentBoxes boxes;
    NoFileDialogs files;
    NoLinks links;
    QStringList paths = samples(work);
    const QString longFile = work.filePath(QStringLiteral("05-long-drone.wav"));
    if (!writeLongWav(longFile)) return 1;
    paths << longFile;

    bool ok = true;
    {
        store.writeString(QStringLiteral("Settings"), QStringLiteral("OutputName"),
                          QStringLiteral("/home/alex/Music/corvane.wav"));
        corvane::MainDialog window(store, boxes, files, links);
        window.show();
        window.addFiles(paths);
        window.listView()->setSelectedRows({false, true, false, false, false});
        wait(400);
        ok = window.grab().save(out.filePath(QStringLiteral("main-window.png")), "PNG") && ok;
        // Tab on to Options: the button reached by the keyboard shows its focus frame.
        window.activateWindow();
        wait(200);
        if (corvane::ImageButton* options = window.button(corvane::MainDialog::kOptionsButton))
            options->setFocus(Qt::TabFocusReason);
        wait(200);
        ok = window.grab().save(out.filePath(QStringLiteral("main-window-focus.png")), "PNG") && ok;
    }
    {
        // Joining for real, into the temporary folder, grabbed after two ticks.
        store.writeString(QStringLiteral("Settings"), QStringLiteral("OutputName"),
                          work.filePath(QStringLiteral("joined.wav")));
        corvane::MainDialog window(store, boxes, files, links);
        window.job().setDecoderStoreFile(QString());
        window.show();
        window.addFiles(paths);
        window.onJoinCommand();
        wait(2300);
        ok = window.job().joinRunning() && ok;
        ok = window.grab().save(out.filePath(QStringLiteral("main-window-joining.png")), "PNG") &&
             ok;
        window.job().stopJoin();
    }
    return ok ? 0 : 1;
}
