#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/TestMain.h"

#include "app/AppSettings.h"
#include "app/FileAdder.h"
#include "app/ItemList.h"
#include "app/SettingsStore.h"
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
    void addOneFileThatFails();
    void settingsReadDefaultsAndWrite();
    void corruptSettingsAreKeptAside();
    void outputFormatFromSettings();
    void defaultOutputPathIsUsable();
    void decoderFeedbackKeepsTypeAndRest();
    void unusableSettingsFileGivesDefaults();
    void twoInstancesWritingAtOnce();

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
    l.deleteSelected(sel);
    QCOMPARE(names(l), (QStringList{"A", "C", "E"}));
    QCOMPARE(l.musicCount(), 3);
    QCOMPARE(l.musicPath(1), QStringLiteral("C"));
    QCOMPARE(sel, std::vector<bool>(3, false));
}

void AppTest::moveUp() {
    ItemList l = letters("ABCDE");
    auto sel = select(5, {2, 3});
    l.moveUp(sel);
    QCOMPARE(names(l), (QStringList{"A", "C", "D", "B", "E"}));
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
    // The walk meets the moved item again at each next selected row.
    ItemList l = letters("ABCDE");
    auto sel = select(5, {1, 2, 3});
    l.moveDown(sel);
    QCOMPARE(names(l), (QStringList{"A", "C", "D", "E", "B"}));
    QCOMPARE(sel, select(5, {4}));
    // The items above the last are moved first, then the walk stops at the last.
    l = letters("ABCDE");
    sel = select(5, {1, 4});
    l.moveDown(sel);
    QCOMPARE(names(l), (QStringList{"A", "C", "B", "D", "E"}));
    QCOMPARE(sel, select(5, {2, 4}));
    QCOMPARE(l.musicPath(2), QStringLiteral("B"));
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
    const QString tooLong = QLatin1Char('/') + QString(5000, QLatin1Char('x')) + QStringLiteral(".wav");
    const QStringList paths{dir_.filePath("one.wav"), bad, dir_.filePath("half.wav"), tooLong};
    const auto outcome = FileAdder::apply(l, paths, FileAdder::probeAll(paths), true, boxes);
    QCOMPARE(outcome.added, 2);
    QCOMPARE(outcome.failed, 1);
    QCOMPARE(outcome.refused, 1);
    QCOMPARE(names(l), (QStringList{paths[0], paths[2]}));
    QCOMPARE(l.itemDuration(0), std::int64_t(10'000'000));
    QCOMPARE(l.itemDuration(1), std::int64_t(5'000'000));
    QCOMPARE(boxes.texts().mid(0, 2),
             (QStringList{kCannotOpenMessage.arg(bad), QStringLiteral("Can not get the duration of %1").arg(bad)}));
    for (const auto& s : boxes.shown) QCOMPARE(s.caption, QStringLiteral("Error"));
    QVERIFY(boxes.shown[2].text.contains(QStringLiteral("too long")));
}

void AppTest::addOneFileThatFails() {
    ItemList l;
    ScriptedMessageBoxes boxes;
    const QStringList paths{dir_.filePath("bad.mp3")};
    FileAdder::apply(l, paths, FileAdder::probeAll(paths), false, boxes);
    QCOMPARE(l.itemCount(), 0);
    QCOMPARE(boxes.texts(), (QStringList{kCannotOpenMessage.arg(paths[0]), "Can not get the duration of the clip!"}));
}

void AppTest::settingsReadDefaultsAndWrite() {
    IniSettingsStore store(dir_.filePath("cfg/Corvane.conf"));
    QCOMPARE(store.readInt(settings::kSettings, settings::kOutputWidth, 352), 352);
    QCOMPARE(store.readString(settings::kOption, settings::kLastPhotoFolder, QString()), QString());
    QVERIFY(store.writeInt(settings::kDexVideoCompress, settings::kCompressorNumber, -1));
    QVERIFY(store.writeString(settings::kSettings, settings::kOutputName, "/x/y.wav"));
    QCOMPARE(store.readInt(settings::kDexVideoCompress, settings::kCompressorNumber, 0), -1);
    QCOMPARE(store.readString(settings::kSettings, settings::kOutputName, QString()), QStringLiteral("/x/y.wav"));
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
    const QByteArray garbage("[Settings]\nOutputName=/keep/me.wav\n\x01\x02[[[broken\n=\n[Option\n");
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
    // An unreadable file gives the defaults, and nothing breaks.
    IniSettingsStore missing(dir_.filePath("no/such/dir/") + QString(300, QLatin1Char('n')));
    QCOMPARE(missing.readString(settings::kSettings, settings::kOutputName, "/d.wav"), QStringLiteral("/d.wav"));
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
}

void AppTest::defaultOutputPathIsUsable() {
    ScriptedMessageBoxes boxes;
    const QString path = settings::defaultOutputPath(boxes);
    QVERIFY(path.endsWith(QStringLiteral("/corvane.wav")));
    const QFileInfo folder(QFileInfo(path).path());
    QVERIFY(folder.isDir());
    QVERIFY(folder.isWritable());
    if (boxes.shown.isEmpty())
        QCOMPARE(QFileInfo(path).path(), QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    else
        QCOMPARE(boxes.texts(), QStringList{"Can not get My Music directory!"});
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
    QCOMPARE(store.readString(settings::kSettings, settings::kOutputName, "/d.wav"), QStringLiteral("/d.wav"));
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

CORVANE_TEST_MAIN(QCoreApplication, new AppTest)
#include "AppTest.moc"
