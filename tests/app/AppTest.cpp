// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "tests/support/TestMain.h"

#include "app/AppSettings.h"
#include "app/FileAdder.h"
#include "app/ItemList.h"
#include "app/Playlist.h"
#include "app/SettingsStore.h"
#include "media/PathCodec.h"
#include "tests/support/AudioFixture.h"
#include "tests/support/ScriptedMessageBoxes.h"

using namespace corvane;
using namespace corvane::test;

// The item list, adding files and the settings store: everything of the application shell
// that needs no window.
class AppTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void deleteSelected();
    void moveUp();
    void moveDown();
    void moveOnShortListsDoesNothing();
    void namesAndSeconds();
    void capacityIsKept();
    void addSeveralFiles();
    void addOneFileThatFails_data();
    void addOneFileThatFails();
    void settingsReadDefaultsAndWrite();
    void corruptSettingsAreKeptAside();
    void pathsThatAreNotUtf8KeepTheirBytes();
    void outputFormatFromSettings();
    void defaultOutputPathIsUsable();
    void decoderFeedbackKeepsTypeAndRest();
    void unusableSettingsFileGivesDefaults();
    void twoInstancesWritingAtOnce();
    void playlistsExpandInOrder();
    void playlistsThatListThemselvesEnd();
    void savedPlaylistReadsBack();

  private:
    static QStringList names(const ItemList& l) {
        QStringList n;
        for (int i = 0; i < l.itemCount(); ++i) n << l.itemPath(i);
        return n;
    }
    static ItemList letters(const QString& s) {
        ItemList l;
        for (QChar c : s) l.append(QString(c), 0);
        l.syncMusicList();
        return l;
    }
    static std::vector<bool> select(int n, std::initializer_list<int> rows) {
        std::vector<bool> v(static_cast<std::size_t>(n), false);
        for (int r : rows) v[static_cast<std::size_t>(r)] = true;
        return v;
    }
    QTemporaryDir dir_;
};

void AppTest::initTestCase() {
    QVERIFY(dir_.isValid());
    EncodeOptions s;
    s.frames = 44100;
    QVERIFY(encodeFile(dir_.filePath("one.wav"), s, sine(200)).isEmpty());
    s.frames = 22050;
    QVERIFY(encodeFile(dir_.filePath("half.wav"), s, sine(300)).isEmpty());
    QVERIFY(writeBytes(dir_.filePath("bad.mp3"), std::vector<unsigned char>(500, 'z')));
}

void AppTest::deleteSelected() {
    ItemList l = letters("ABCDE");
    auto sel = select(5, {1, 3});
    int current = 3;  // deleted itself: the row that takes its place (E) is current
    l.deleteSelected(sel, &current);
    QCOMPARE(names(l), (QStringList{"A", "C", "E"}));
    QCOMPARE(current, 2);
    QCOMPARE(l.musicCount(), 3);
    QCOMPARE(l.musicPath(1), QStringLiteral("C"));
    QCOMPARE(sel, std::vector<bool>(3, false));
    // A kept item is followed; deleting the last rows leaves the new last row current.
    l = letters("ABCDE");
    sel = select(5, {0, 1});
    current = 2;
    l.deleteSelected(sel, &current);
    QCOMPARE(current, 0);
    l = letters("ABCDE");
    sel = select(5, {3, 4});
    current = 4;
    l.deleteSelected(sel, &current);
    QCOMPARE(current, 2);
    sel = select(3, {0, 1, 2});
    l.deleteSelected(sel, &current);
    QCOMPARE(current, -1);
}

void AppTest::moveUp() {
    ItemList l = letters("ABCDE");
    auto sel = select(5, {2, 3});
    int current = 3;  // D, moved
    int other = 1;    // B, pushed down by both
    l.moveUp(sel, &current);
    QCOMPARE(names(l), (QStringList{"A", "C", "D", "B", "E"}));
    QCOMPARE(current, 2);
    l = letters("ABCDE");
    sel = select(5, {2, 3});
    l.moveUp(sel, &other);
    QCOMPARE(other, 3);
    QCOMPARE(sel, select(5, {1, 2}));
    QCOMPARE(l.musicPath(3), QStringLiteral("B"));
    // With the first item selected nothing moves, though others could.
    l = letters("ABCDE");
    sel = select(5, {0, 3});
    l.moveUp(sel);
    QCOMPARE(names(l), (QStringList{"A", "B", "C", "D", "E"}));
    QCOMPARE(sel, select(5, {0, 3}));
}

void AppTest::moveDown() {
    // A block moves down by one as a block, keeping its selection.
    ItemList l = letters("ABCDE");
    auto sel = select(5, {1, 2, 3});
    int current = 1;  // B, moved
    int other = 4;    // E, pushed up past the block
    l.moveDown(sel, &current);
    QCOMPARE(names(l), (QStringList{"A", "E", "B", "C", "D"}));
    QCOMPARE(current, 2);
    QCOMPARE(sel, select(5, {2, 3, 4}));
    QCOMPARE(l.musicPath(1), QStringLiteral("E"));
    l = letters("ABCDE");
    sel = select(5, {1, 2, 3});
    l.moveDown(sel, &other);
    QCOMPARE(other, 1);
    // Apart: each moves one place.
    l = letters("ABCDE");
    sel = select(5, {0, 2});
    l.moveDown(sel);
    QCOMPARE(names(l), (QStringList{"B", "A", "D", "C", "E"}));
    QCOMPARE(sel, select(5, {1, 3}));
    // With the last selected it stays, and so does a block ending there; those above move.
    l = letters("ABCDE");
    sel = select(5, {1, 4});
    l.moveDown(sel);
    QCOMPARE(names(l), (QStringList{"A", "C", "B", "D", "E"}));
    QCOMPARE(sel, select(5, {2, 4}));
    QCOMPARE(l.musicPath(2), QStringLiteral("B"));
    l = letters("ABCDE");
    sel = select(5, {0, 3, 4});
    l.moveDown(sel);
    QCOMPARE(names(l), (QStringList{"B", "A", "C", "D", "E"}));
    QCOMPARE(sel, select(5, {1, 3, 4}));
}

void AppTest::moveOnShortListsDoesNothing() {
    ItemList l = letters("A");
    auto sel = select(1, {0});
    l.moveUp(sel);
    l.moveDown(sel);
    QCOMPARE(names(l), QStringList{"A"});
}

void AppTest::namesAndSeconds() {
    QCOMPARE(ItemList::displayNameOf("/home/u/Music/a b.mp3"), QStringLiteral("a b.mp3"));
    QCOMPARE(ItemList::displayNameOf("plain.wav"), QStringLiteral("plain.wav"));
    QCOMPARE(ItemList::durationText(1'259'000'000), QStringLiteral("125"));
    QCOMPARE(ItemList::durationText(9'999'999), QStringLiteral("0"));
    QCOMPARE(folderOf("/data/sounds/x.wav"), QStringLiteral("/data/sounds/"));
    QCOMPARE(folderOf("/x.wav"), QStringLiteral("/"));
    QCOMPARE(folderOf("x.wav"), QString());

    // Several chosen or dropped at once come in natural order: numbers by value, case aside.
    QStringList chosen{"/m/track10.wav", "/m/Track2.wav",  "/m/track1.mp3", "/m/track02b.wav",
                       "/m/b/intro.wav", "/m/a/intro.wav", "/m/track.wav",  "/m/9.wav",
                       "/m/100.wav",     "/m/track2.wav"};
    FileAdder::sortNaturally(chosen);
    QCOMPARE(chosen, (QStringList{"/m/9.wav", "/m/100.wav", "/m/a/intro.wav", "/m/b/intro.wav",
                                  "/m/track.wav", "/m/track1.mp3", "/m/Track2.wav", "/m/track2.wav",
                                  "/m/track02b.wav", "/m/track10.wav"}));
    QVERIFY(FileAdder::isSoundFileName("Song.FLAC"));
    QVERIFY(!FileAdder::isSoundFileName("cover.jpg"));
    QVERIFY(!FileAdder::isSoundFileName(".wav"));
}

void AppTest::capacityIsKept() {
    ItemList l;
    for (int i = 0; i < kMaxItems; ++i) QVERIFY(l.append(QString::number(i), 1));
    QVERIFY(l.isFull());
    QVERIFY(!l.append("one too many", 1));
    QCOMPARE(l.itemCount(), kMaxItems);
    // Adding to a full list tells the user how many were left out.
    ScriptedMessageBoxes boxes;
    const QStringList more{dir_.filePath("one.wav"), dir_.filePath("half.wav")};
    const auto outcome = FileAdder::apply(l, more, FileAdder::probeAll(more), true, boxes);
    QCOMPARE(outcome.added, 0);
    QCOMPARE(outcome.refused, 2);
    QCOMPARE(boxes.shown.size(), qsizetype(1));
    QVERIFY(boxes.shown[0].text.contains(QStringLiteral("1000")));
    QCOMPARE(l.itemCount(), kMaxItems);
}

void AppTest::addSeveralFiles() {
    // The second of three cannot be decoded: its two messages, and the others in order.
    ItemList l;
    ScriptedMessageBoxes boxes;
    const QString bad = dir_.filePath("bad.mp3");
    const QString tooLong =
        QLatin1Char('/') + QString(5000, QLatin1Char('x')) + QStringLiteral(".wav");
    const QStringList paths{dir_.filePath("one.wav"), bad, dir_.filePath("half.wav"), tooLong};
    const auto outcome = FileAdder::apply(l, paths, FileAdder::probeAll(paths), true, boxes);
    QCOMPARE(outcome.added, 2);
    QCOMPARE(outcome.failed, 1);
    QCOMPARE(outcome.refused, 1);
    QCOMPARE(names(l), (QStringList{paths[0], paths[2]}));
    QCOMPARE(l.itemDuration(0), std::int64_t(10'000'000));
    QCOMPARE(l.itemDuration(1), std::int64_t(5'000'000));
    // The message, then the cause on a line of its own.
    QVERIFY(boxes.texts().value(0).startsWith(kCannotOpenMessage.arg(bad) + QLatin1Char('\n')));
    QVERIFY(boxes.texts().value(0).size() > kCannotOpenMessage.arg(bad).size() + 1);
    QCOMPARE(boxes.texts().value(1), QStringLiteral("Can not get the duration of %1").arg(bad));
    for (const auto& s : boxes.shown) QCOMPARE(s.caption, QStringLiteral("Error"));
    QVERIFY(boxes.shown[2].text.contains(QStringLiteral("too long")));
}

void AppTest::addOneFileThatFails_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cause");  // empty: the decoder's own words, whatever they are
    QTest::newRow("undecodable") << "bad.mp3"
                                 << "";
    QTest::newRow("mistyped name") << "no-such.wav"
                                   << "No such file or directory";
    QTest::newRow("a folder") << "folder.wav"
                              << "It is a folder";
    QTest::newRow("empty") << "empty.wav"
                           << "The file is empty";
    QTest::newRow("unreadable") << "locked.wav"
                                << "Permission denied";
    QTest::newRow("named %1 %2") << "100%1 %2.mp3"
                                 << "";
}

void AppTest::addOneFileThatFails() {
    QFETCH(QString, name);
    QFETCH(QString, cause);
    QDir(dir_.path()).mkpath("folder.wav");
    QVERIFY(writeBytes(dir_.filePath("empty.wav"), {}));
    QVERIFY(writeBytes(dir_.filePath("100%1 %2.mp3"), std::vector<unsigned char>(500, 'z')));
    if (name == "locked.wav") {
        if (::geteuid() == 0) QSKIP("root reads any file");
        QVERIFY(QFile::copy(dir_.filePath("one.wav"), dir_.filePath(name)));
        QVERIFY(QFile::setPermissions(dir_.filePath(name), QFileDevice::WriteOwner));
    }
    ItemList l;
    ScriptedMessageBoxes boxes;
    const QStringList paths{dir_.filePath(name)};
    FileAdder::apply(l, paths, FileAdder::probeAll(paths), false, boxes);
    QCOMPARE(l.itemCount(), 0);
    QCOMPARE(boxes.texts().size(), qsizetype(2));
    const QStringList lines = boxes.texts()[0].split(QLatin1Char('\n'));
    if (cause.isEmpty()) {
        // Decoders are blamed only where one read the file.
        QCOMPARE(lines.size(), qsizetype(3));
        QCOMPARE(lines.mid(0, 2).join(QLatin1Char('\n')), kCannotOpenMessage.arg(paths[0]));
        QVERIFY(!lines[2].trimmed().isEmpty());
    } else {
        QCOMPARE(lines, (QStringList{QStringLiteral("Cannot open %1.").arg(paths[0]), cause}));
    }
    QCOMPARE(boxes.texts()[1], QStringLiteral("Can not get the duration of the clip!"));
}

void AppTest::settingsReadDefaultsAndWrite() {
    IniSettingsStore store(dir_.filePath("cfg/Corvane.conf"));
    QCOMPARE(store.readInt(settings::kSettings, settings::kOutputWidth, 352), 352);
    QCOMPARE(store.readString(settings::kOption, settings::kLastPhotoFolder, QString()), QString());
    QVERIFY(store.writeInt(settings::kDexVideoCompress, settings::kCompressorNumber, -1));
    QVERIFY(store.writeString(settings::kSettings, settings::kOutputName, "/x/y.wav"));
    QCOMPARE(store.readInt(settings::kDexVideoCompress, settings::kCompressorNumber, 0), -1);
    QCOMPARE(store.readString(settings::kSettings, settings::kOutputName, QString()),
             QStringLiteral("/x/y.wav"));
    // One group per section, as another reader of the file sees it.
    QSettings raw(store.fileName(), QSettings::IniFormat);
    QCOMPARE(raw.value("DexVideoCompress/CompressorNumber").toInt(), -1);
    // Not a number: the default. Larger than 32 bits: its low 32 bits, as a stored number keeps.
    raw.setValue("Setup/t_first_update", "soon");
    raw.setValue("Settings/OutputHigh", "4294967297");
    raw.sync();
    QCOMPARE(store.readInt(settings::kSetup, settings::kFirstUpdate, 77), 77);
    QCOMPARE(store.readInt(settings::kSettings, settings::kOutputHigh, 240), 1);
}

void AppTest::corruptSettingsAreKeptAside() {
    const QString file = dir_.filePath("corrupt/Corvane.conf");
    QDir().mkpath(QFileInfo(file).path());
    const QByteArray garbage(
        "[Settings]\nOutputName=/keep/me.wav\n\x01\x02[[[broken\n=\n[Option\n");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(garbage);
    f.close();
    IniSettingsStore store(file);
    QCOMPARE(store.readInt(settings::kSettings, settings::kOutputWidth, 352), 352);
    store.writeInt(settings::kSettings, settings::kOutputWidth, 640);
    QCOMPARE(store.readInt(settings::kSettings, settings::kOutputWidth, 352), 640);
    QFile aside(file + QStringLiteral(".corrupt"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), garbage);
    aside.close();
    // Broken again later: a second copy, the first one kept.
    const QByteArray again("[Settings]\nOutputWidth=800\n[[[broken again\n");
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(again);
    f.close();
    IniSettingsStore later(file);
    later.writeInt(settings::kSettings, settings::kOutputHigh, 480);
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), garbage);
    QFile second(file + QStringLiteral(".corrupt.2"));
    QVERIFY(second.open(QIODevice::ReadOnly));
    QCOMPARE(second.readAll(), again);
    // An unreadable file gives the defaults, and nothing breaks.
    IniSettingsStore missing(dir_.filePath("no/such/dir/") + QString(300, QLatin1Char('n')));
    QCOMPARE(missing.readString(settings::kSettings, settings::kOutputName, "/d.wav"),
             QStringLiteral("/d.wav"));
}

void AppTest::pathsThatAreNotUtf8KeepTheirBytes() {
    const QString file = dir_.filePath("bytes/Corvane.conf");
    QDir().mkpath(QFileInfo(file).path());
    // As another program or an older version left it: raw bytes in the file.
    const QByteArray raw("[Settings]\nOutputName=/music/\xff\xfe mix.wav\n");
    QVERIFY(writeBytes(file, std::vector<unsigned char>(raw.begin(), raw.end())));
    IniSettingsStore store(file);
    const QString name = store.readString(settings::kSettings, settings::kOutputName, QString());
    QCOMPARE(media::qstringToPath(name), std::string("/music/\xff\xfe mix.wav"));
    // Written back (Options, OK) and read again: the same bytes.
    QVERIFY(store.writeString(settings::kSettings, settings::kOutputName, name));
    QCOMPARE(store.readString(settings::kSettings, settings::kOutputName, QString()), name);
    QVERIFY(store.writeString(settings::kSettings, settings::kOutputName,
                              QStringLiteral("/music/\u00e9.wav")));
    QCOMPARE(store.readString(settings::kSettings, settings::kOutputName, QString()),
             QStringLiteral("/music/\u00e9.wav"));
}

void AppTest::outputFormatFromSettings() {
    IniSettingsStore store(dir_.filePath("fmt/Corvane.conf"));
    OutputFormat f = settings::readOutputFormat(store, "/music/corvane.wav");
    QCOMPARE(f.outputPath, QStringLiteral("/music/corvane.wav"));
    QCOMPARE(f.outputWidth, 352);
    QCOMPARE(f.outputHeight, 240);
    QCOMPARE(f.frameRate, 23.976);
    QCOMPARE(f.sampleRateIndex + f.channelsIndex + f.bitsIndex, 0);
    store.writeInt(settings::kSettings, settings::kOutputFrameRateIndex, 9);
    f = settings::readOutputFormat(store, "/d.wav");
    QCOMPARE(f.frameRateIndex, 0);
    QCOMPARE(f.frameRate, 23.976);
    store.writeInt(settings::kSettings, settings::kOutputFrameRateIndex, 5);
    store.writeString(settings::kSettings, settings::kOutputFrameRate, "12.5");
    f = settings::readOutputFormat(store, "/d.wav");
    QCOMPARE(f.frameRate, 12.5);
    store.writeInt(settings::kSettings, settings::kOutputFrameRateIndex, 3);
    QCOMPARE(settings::readOutputFormat(store, "/d.wav").frameRate, 29.97);
    // The custom rate is the decimal number the text starts with; one the options dialog
    // would refuse gives the default, so the dialog can still be confirmed.
    store.writeInt(settings::kSettings, settings::kOutputFrameRateIndex, 5);
    const std::pair<const char*, double> custom[] = {
        {"25fps", 25.0}, {" 29.97 ", 29.97}, {"0.0004", 23.976}, {"fast", 23.976},
        {"-5", 23.976},  {"nan", 23.976},    {"0.001", 0.001},   {"25,5", 25.0}};
    for (const auto& [text, rate] : custom) {
        store.writeString(settings::kSettings, settings::kOutputFrameRate, text);
        f = settings::readOutputFormat(store, "/d.wav");
        QVERIFY2(qFuzzyCompare(f.frameRate, rate), text);
        QCOMPARE(f.frameRateIndex, 5);
    }
    // Between files: nothing unless stored; a choice or length out of range (hand-edited, or
    // from a newer version) is the default, never a seam the options dialog would refuse.
    QCOMPARE(f.betweenFiles, media::Seam::Kind::Nothing);
    QCOMPARE(f.silenceSeconds, 2.0);
    QCOMPARE(f.crossfadeSeconds, 3.0);
    const std::tuple<int, const char*, const char*, int, media::Seam::Kind, double, double, media::Seam::Curve> seams[] = {
        {1, "0.5", "12", 1, media::Seam::Kind::Silence, 0.5, 12.0, media::Seam::Curve::Linear},
        {2, "30", "0.1", 0, media::Seam::Kind::Crossfade, 30.0, 0.1, media::Seam::Curve::EqualPower},
        {7, "0.05", "31", 4, media::Seam::Kind::Nothing, 2.0, 3.0, media::Seam::Curve::EqualPower},
        {-1, "nan", "", 1, media::Seam::Kind::Nothing, 2.0, 3.0, media::Seam::Curve::Linear},
    };
    for (const auto& [kind, silence, crossfade, curve, wantKind, wantSilence, wantCrossfade, wantCurve] : seams) {
        store.writeInt(settings::kSettings, settings::kBetweenFiles, kind);
        store.writeString(settings::kSettings, settings::kSilenceSeconds, silence);
        store.writeString(settings::kSettings, settings::kCrossfadeSeconds, crossfade);
        store.writeInt(settings::kSettings, settings::kCrossfadeCurve, curve);
        f = settings::readOutputFormat(store, "/d.wav");
        QCOMPARE(f.betweenFiles, wantKind);
        QCOMPARE(f.silenceSeconds, wantSilence);
        QCOMPARE(f.crossfadeSeconds, wantCrossfade);
        QCOMPARE(f.crossfadeCurve, wantCurve);
    }
}

void AppTest::defaultOutputPathIsUsable() {
    // A home without a music folder: proposed, but only made when a join goes there.
    const QByteArray oldHome = qgetenv("HOME");
    const QString home = dir_.filePath("home");
    QVERIFY(QDir().mkpath(home));
    qputenv("HOME", QFile::encodeName(home));
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    ScriptedMessageBoxes boxes;
    const QString path = settings::defaultOutputPath(boxes);
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(path, QDir(music).filePath(QStringLiteral("corvane.wav")));
    QVERIFY(!QFileInfo::exists(music));
    settings::makeDefaultFolder(home + QStringLiteral("/elsewhere/out.wav"));
    QVERIFY(!QFileInfo::exists(home + QStringLiteral("/elsewhere")));
    QVERIFY(!QFileInfo::exists(music));
    settings::makeDefaultFolder(path);
    QVERIFY(QFileInfo(music).isDir());

    // No folder there can be made (a file stands in the way): the home folder, and the
    // message.
    QVERIFY(QDir(music).removeRecursively());
    QVERIFY(writeBytes(music, {'x'}));
    QCOMPARE(settings::defaultOutputPath(boxes), QDir(home).filePath(QStringLiteral("corvane.wav")));
    QCOMPARE(boxes.texts(), QStringList{"Can not get My Music directory!"});
    QFile::remove(music);
    qputenv("HOME", oldHome);
}

void AppTest::decoderFeedbackKeepsTypeAndRest() {
    const QString file = dir_.filePath("DivX4Windows.conf");
    auto value = [&] { return QSettings(file, QSettings::IniFormat).value("Disable feedback"); };
    {
        QSettings s(file, QSettings::IniFormat);
        s.setValue("Disable feedback", 0x1234);
    }
    settings::disableDecoderFeedback(file);
    QCOMPARE(value().toInt(), 0x1201);
    {
        QSettings s(file, QSettings::IniFormat);
        s.setValue("Disable feedback", QByteArray("\x00\x07\x09", 3));
    }
    settings::disableDecoderFeedback(file);
    QCOMPARE(value().toByteArray(), QByteArray("\x01\x07\x09", 3));
    {
        QSettings s(file, QSettings::IniFormat);
        s.setValue("Disable feedback", QStringLiteral("abc"));
    }
    settings::disableDecoderFeedback(file);
    QCOMPARE(value().toString(), QStringLiteral("\x01") + "bc");
    // The decoder's own file: one value changes in place, nothing else, and only when needed.
    const QString own = dir_.filePath("Own.conf");
    const QByteArray text(
        "; written by the decoder\r\n[General]\r\nFirst key = a, b\r\n"
        "Disable feedback = 0\r\n# done\r\nLast key=\xe9t\xe9\r\n");
    QVERIFY(writeBytes(own, std::vector<unsigned char>(text.begin(), text.end())));
    settings::disableDecoderFeedback(own);
    QByteArray expected = text;
    expected.replace("Disable feedback = 0", "Disable feedback = 1");
    const std::vector<unsigned char> after = readBytes(own);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(after.data()), qsizetype(after.size())),
             expected);
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(own).constData(), &before), 0);
    settings::disableDecoderFeedback(own);
    struct stat same {};
    QCOMPARE(::stat(QFile::encodeName(own).constData(), &same), 0);
    QCOMPARE(same.st_ino, before.st_ino);  // already 1: not written at all
    QCOMPARE(readBytes(own), after);
    // Without the value nothing is added.
    const QString other = dir_.filePath("Other.conf");
    {
        QSettings s(other, QSettings::IniFormat);
        s.setValue("Something else", 5);
    }
    settings::disableDecoderFeedback(other);
    QVERIFY(!QSettings(other, QSettings::IniFormat).contains("Disable feedback"));
}

void AppTest::unusableSettingsFileGivesDefaults() {
    // A folder where the file should be: nothing can be read or written, and nothing breaks.
    const QString file = dir_.filePath("blocked.conf");
    QVERIFY(QDir().mkpath(file));
    IniSettingsStore store(file);
    QCOMPARE(store.readInt(settings::kSettings, settings::kOutputWidth, 352), 352);
    QCOMPARE(store.readString(settings::kSettings, settings::kOutputName, "/d.wav"),
             QStringLiteral("/d.wav"));
    QVERIFY(!store.writeInt(settings::kSettings, settings::kOutputWidth, 640));
    QCOMPARE(settings::readOutputFormat(store, "/d.wav").outputWidth, 352);
}

void AppTest::twoInstancesWritingAtOnce() {
    const QString file = dir_.filePath("shared/Corvane.conf");
    QProcess a, b;
    a.start(QStringLiteral(CORVANE_SETTINGS_WRITER), {file, "first", "60"});
    b.start(QStringLiteral(CORVANE_SETTINGS_WRITER), {file, "second", "60"});
    QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    // Both instances' last values are there, in a file that still parses.
    QSettings check(file, QSettings::IniFormat);
    QCOMPARE(check.status(), QSettings::NoError);
    QCOMPARE(check.value("Setup/first").toInt(), 59);
    QCOMPARE(check.value("Setup/second").toInt(), 59);
    QCOMPARE(check.value("Option/second").toString(), QStringLiteral("/folder/second/59/"));
}

namespace {

// By the name's bytes, which need not be UTF-8.
bool writeText(const QString& path, const QByteArray& text) {
    const int fd = ::open(media::qstringToPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::write(fd, text.constData(), text.size()) == text.size();
    if (fd >= 0) ::close(fd);
    return ok;
}

}  // namespace

void AppTest::playlistsExpandInOrder() {
    // Files need only exist here: measuring them is Add's work.
    const QDir top(dir_.filePath("lists"));
    QVERIFY(top.mkpath("sub/deeper"));
    for (const char* name : {"a.mp3", "b c.flac", "sub/s.ogg", "sub/deeper/d.wav", "#hash.wav"})
        QVERIFY(writeText(top.filePath(name), "x"));
    const QString abs = top.filePath("sub/s.ogg");
    // Comments, #EXTINF, a BOM, Windows line ends, a relative, an absolute and a file URL,
    // a missing file and a web address.
    QVERIFY(writeText(top.filePath("sub/inner.m3u8"),
                      "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:12,Deeper\r\ndeeper/d.wav\r\n\r\n../gone.mp3\r\n"));
    QVERIFY(writeText(top.filePath("outer.m3u"),
                      "#EXTM3U\n#EXTINF:3,Artist - A\na.mp3\n# a comment\n  \nfile://" +
                          QUrl::toPercentEncoding(top.filePath("b c.flac"), "/") + "\n" +
                          abs.toUtf8() + "\nsub/inner.m3u8\nhttp://radio.example/stream\n./#hash.wav\n"));
    // .pls: by the number of each FileN, whatever the order of the lines.
    QVERIFY(writeText(top.filePath("list.pls"),
                      "[playlist]\nFile2=sub/s.ogg\nTitle2=S\nfile1=a.mp3\nNumberOfEntries=2\nVersion=2\n"));
    QVERIFY(writeText(top.filePath("empty.m3u"), "#EXTM3U\n# nothing\n"));

    const Playlist::Expansion e = Playlist::expand(
        {top.filePath("outer.m3u"), top.filePath("b c.flac"), top.filePath("list.pls"),
         top.filePath("empty.m3u"), top.filePath("none.pls")});
    QCOMPARE(e.files, (QStringList{top.filePath("a.mp3"), top.filePath("b c.flac"), abs,
                                   top.filePath("sub/deeper/d.wav"), top.filePath("#hash.wav"),
                                   top.filePath("b c.flac"), top.filePath("a.mp3"),
                                   top.filePath("sub/s.ogg")}));
    QCOMPARE(e.messages.size(), qsizetype(4));
    // Each message names the playlist and what was left out; the nested list's comes first.
    QVERIFY(e.messages[0].contains(top.filePath("sub/inner.m3u8")));
    QVERIFY(e.messages[0].endsWith(top.filePath("sub/") + "../gone.mp3"));
    QVERIFY(e.messages[1].contains(top.filePath("outer.m3u")));
    QVERIFY(e.messages[1].endsWith("http://radio.example/stream"));
    QCOMPARE(e.messages[2], QStringLiteral("The playlist %1 lists no files.").arg(top.filePath("empty.m3u")));
    QVERIFY(e.messages[3].startsWith("Cannot read the playlist " + top.filePath("none.pls")));

    // Through a linked folder ".." goes where the link points: the path is not tidied into
    // another file of the same name.
    QVERIFY(QFile::link(top.filePath("sub/deeper"), top.filePath("link")));
    QVERIFY(writeText(top.filePath("s.ogg"), "another"));
    QVERIFY(writeText(top.filePath("linked.m3u"), "link/../s.ogg\nsub/deeper/../s.ogg\n"));
    QCOMPARE(Playlist::expand({top.filePath("linked.m3u")}).files,
             (QStringList{top.filePath("link/../s.ogg"), abs}));
}

void AppTest::playlistsThatListThemselvesEnd() {
    const QDir top(dir_.filePath("loops"));
    QVERIFY(top.mkpath("."));
    QVERIFY(writeText(top.filePath("one.wav"), "x"));
    // a lists b and itself, b lists a: each is read once, the repeats named.
    QVERIFY(writeText(top.filePath("a.m3u"), "one.wav\nb.m3u\na.m3u\n"));
    QVERIFY(writeText(top.filePath("b.m3u"), "./a.m3u\none.wav\n"));
    Playlist::Expansion e = Playlist::expand({top.filePath("a.m3u")});
    QCOMPARE(e.files, (QStringList{top.filePath("one.wav"), top.filePath("one.wav")}));
    QCOMPARE(e.messages.size(), qsizetype(2));
    for (const QString& m : e.messages) QVERIFY(m.contains("lists itself"));

    // A playlist listing another twice, ten levels deep, stops at the limit it is given.
    for (int level = 0; level < 10; ++level)
        QVERIFY(writeText(top.filePath(QStringLiteral("l%1.m3u").arg(level)),
                          level == 9 ? "one.wav\n"
                                     : QStringLiteral("l%1.m3u\nl%1.m3u\n").arg(level + 1).toUtf8()));
    e = Playlist::expand({top.filePath("l0.m3u")}, 100);
    QCOMPARE(e.files.size(), qsizetype(100));
    QCOMPARE(e.messages, QStringList{"The playlists list more than 100 files; only the first 100 were taken."});
}

void AppTest::savedPlaylistReadsBack() {
    const QDir top(dir_.filePath("saved"));
    QVERIFY(top.mkpath("music"));
    ItemList l;
    const QString inside = top.filePath("music/01 Intro.mp3");
    const QString hash = top.filePath("#2.wav");
    const QString outside = dir_.filePath("one.wav");
    const QString raw = media::pathToQString((top.filePath("caf").toUtf8() + "\xe9.wav").toStdString());
    const QString broken = top.filePath("two\nlines.wav");
    for (const QString& p : {inside, hash, raw, broken})
        QVERIFY(writeText(p, "x"));
    l.append(inside, 25'000'000, "Intro", "Band");
    l.append(hash, 14'999'999);
    l.append(outside, 10'000'000, "Line\nbreak");
    l.append(raw, 0);
    l.append(broken, 0);
    const QString list = top.filePath("list.m3u8");
    QString error;
    QVERIFY(Playlist::save(l, list, &error));
    QFile saved(list);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    QVERIFY(text.startsWith("#EXTM3U\n#EXTINF:3,Band - Intro\nmusic/01 Intro.mp3\n#EXTINF:1,#2\n./#2.wav\n"
                            "#EXTINF:1,Line break\n" + outside.toUtf8() + "\n"));
    QCOMPARE(Playlist::expand({list}).files, (QStringList{inside, hash, outside, raw, broken}));
    QVERIFY(!Playlist::save(l, dir_.filePath("no/such/folder/x.m3u8"), &error));
    QVERIFY(!error.isEmpty());
    ::unlink(media::qstringToPath(raw).c_str());  // QTemporaryDir removes UTF-8 names only
}

AppTest appTest;
CORVANE_TEST_MAIN(QCoreApplication, &appTest)
#include "AppTest.moc"
