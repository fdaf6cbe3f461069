// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <optional>

#include "app/AppSettings.h"
#include "app/FileAdder.h"
#include "app/ItemList.h"
#include "app/Playlist.h"
#include "app/SettingsStore.h"
#include "cli/StopSignals.h"
#include "cli/TerminalFrontEnd.h"
#include "engine/CueSheet.h"
#include "engine/JoinJob.h"
#include "media/PathCodec.h"
#include "media/decoders/LoudnessSurvey.h"

namespace corvane::cli {

namespace {

const char* const kUsage =
    "Usage: corvane                      open the window\n"
    "       corvane FILE...              open the window with these files in the list\n"
    "       corvane join [-o OUT.wav] [-r RATE|same] [-c 2|1|same] [-b 16|8|24|32f|same] [-y]\n"
    "                    [--no-markers] [--cue FILE.cue] [--labels FILE.txt]\n"
    "                    [--gap SECONDS | --crossfade SECONDS [--crossfade-curve power|linear]]\n"
    "                    [--loudness LUFS | --album-loudness LUFS] [--true-peak DBTP] [-0] FILE...|-\n"
    "       corvane probe [--json] FILE...\n"
    "       corvane probe --loudness FILE...\n"
    "\n"
    "join   lays the files end to end into one PCM WAV file.\n"
    "       -o OUT.wav  output file (default: the window's output file setting)\n"
    "       -r RATE     samples per second: 8000, 11025, 22050, 44100 (default), 48000,\n"
    "                   88200, 96000, 192000, or same (the highest among the files)\n"
    "       -c N        channels: 2 stereo (default), 1 mono, or same (the most among the\n"
    "                   files, up to 8, with their speakers)\n"
    "       -b BITS     bits per sample: 16 (default), 8, 24, 32f (32-bit float), or same\n"
    "                   (the widest among the files); with same for all three, files of one\n"
    "                   format are copied sample for sample\n"
    "       -y          replace an existing output file without asking\n"
    "       --no-markers      no cue point and label per file in the WAV file\n"
    "       --cue FILE.cue    also write a cue sheet (- for standard output)\n"
    "       --labels FILE.txt also write a label track: start, end, title (- for standard output)\n"
    "       --gap SECONDS       silence between files, 0.1 to 30 seconds\n"
    "       --crossfade SECONDS crossfade between files, 0.1 to 30 seconds; one longer than half\n"
    "                           of the shorter of its two files is shortened to that\n"
    "       --crossfade-curve power|linear\n"
    "                           equal power (default, for unrelated pieces) or linear (equal\n"
    "                           gain, for pieces of one recording)\n"
    "       --loudness LUFS   the same loudness for every file: one fixed gain each (EBU R128)\n"
    "       --album-loudness LUFS  the whole join at the target: one gain for all files\n"
    "                   targets: -14, -16, -18, -19, -20, -23, -24; the report goes to stderr\n"
    "       --true-peak DBTP  no gain lets a true peak pass this ceiling (default -1)\n"
    "       -           read the files to join from standard input, one per line\n"
    "       -0          read them from standard input separated by NUL (find -print0)\n"
    "       Playlists (.m3u, .m3u8, .pls) among the files join the files they list.\n"
    "       The join writes OUT.wav.part beside OUT.wav and renames it to OUT.wav when it\n"
    "       ends; a killed join leaves what it wrote in OUT.wav.part.\n"
    "probe  prints name, whole seconds, exact duration (100 ns units) and marker title of each\n"
    "       file, tab-separated; names with control characters or bytes that are not UTF-8\n"
    "       are quoted as $'...', as ls does.\n"
    "       --loudness  integrated loudness (LUFS) and true peak (dBTP) of each file instead\n"
    "       --json      one JSON object per line and file instead: path, seconds, duration,\n"
    "                   samples, rate, channels, codec, title, artist (or path and error)\n"
    "       --          ends the options: what follows is a file, even if it starts with -\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad usage, 130 interrupted (SIGINT), 143 stopped by\n"
    "SIGTERM, 129 by SIGHUP; a stopped join keeps what was written.\n";

int usageError(const QString& why) {
    printLine(stderr, QStringLiteral("corvane: %1").arg(why));
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

QString argText(const char* arg) {
    return media::pathToQString(arg);
}

struct JoinArgs {
    QString output;
    int rateIndex = 0;
    int channelsIndex = 0;
    int bitsIndex = 0;
    bool yes = false;
    bool markers = true;
    QString cue;
    QString labels;
    media::Seam seam;
    bool curveGiven = false;
    QStringList files;
    bool nulSeparated = false;
    int loudnessMode = kLoudnessOff;
    double loudnessTarget = -16.0;
    double truePeak = -1.0;
};

std::optional<double> loudnessTarget(const char* value) {
    for (int t : loudnessTargets())
        if (QByteArray(value) == QByteArray::number(t) || QByteArray(value) == QByteArray::number(-t))
            return static_cast<double>(t);
    return std::nullopt;
}

std::optional<int> indexOf(const char* value, std::initializer_list<const char*> choices) {
    int i = 0;
    for (const char* c : choices) {
        if (std::strcmp(value, c) == 0) return i;
        ++i;
    }
    return std::nullopt;
}

// Returns an exit status on a usage error.
std::optional<int> parseJoin(int argc, char** argv, JoinArgs& a) {
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
            a.files << argText(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        if (std::strcmp(arg, "-y") == 0 || std::strcmp(arg, "--yes") == 0) {
            a.yes = true;
            continue;
        }
        if (std::strcmp(arg, "-0") == 0) {
            a.nulSeparated = true;
            continue;
        }
        if (std::strcmp(arg, "--no-markers") == 0) {
            a.markers = false;
            continue;
        }
        if (std::strcmp(arg, "--loudness") == 0 || std::strcmp(arg, "--album-loudness") == 0) {
            const std::optional<double> target = i + 1 < argc ? loudnessTarget(argv[i + 1]) : std::nullopt;
            if (!target)
                return usageError(QStringLiteral("%1 takes -14, -16, -18, -19, -20, -23 or -24").arg(argText(arg)));
            const int mode = arg[2] == 'a' ? kLoudnessWholeJoin : kLoudnessEachFile;
            if (a.loudnessMode != kLoudnessOff && a.loudnessMode != mode)
                return usageError(QStringLiteral("--loudness and --album-loudness exclude each other"));
            a.loudnessMode = mode;
            a.loudnessTarget = *target;
            ++i;
            continue;
        }
        if (std::strcmp(arg, "--true-peak") == 0) {
            bool ok = false;
            const double v = i + 1 < argc ? QByteArray(argv[i + 1]).toDouble(&ok) : 0.0;
            if (!ok || !(v >= -20.0 && v <= 0.0))
                return usageError(QStringLiteral("--true-peak takes a ceiling in dBTP from -20 to 0"));
            a.truePeak = v;
            ++i;
            continue;
        }
        if (std::strcmp(arg, "--cue") == 0 || std::strcmp(arg, "--labels") == 0) {
            if (i + 1 >= argc || !*argv[i + 1])
                return usageError(QStringLiteral("%1 needs a file name").arg(argText(arg)));
            (arg[2] == 'c' ? a.cue : a.labels) = argText(argv[++i]);
            continue;
        }
        if (std::strcmp(arg, "--gap") == 0 || std::strcmp(arg, "--crossfade") == 0) {
            const bool gap = arg[2] == 'g';
            if (i + 1 >= argc) return usageError(QStringLiteral("%1 needs a value").arg(argText(arg)));
            const QString value = argText(argv[++i]);
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || !(seconds >= media::Seam::kMinSeconds && seconds <= media::Seam::kMaxSeconds))
                return usageError(QStringLiteral("%1 takes seconds from 0.1 to 30, not %2").arg(argText(arg), value));
            if (a.seam.kind != media::Seam::Kind::Nothing)
                return usageError(QStringLiteral("give either --gap or --crossfade, once"));
            a.seam.kind = gap ? media::Seam::Kind::Silence : media::Seam::Kind::Crossfade;
            a.seam.seconds = seconds;
            continue;
        }
        if (std::strcmp(arg, "--crossfade-curve") == 0) {
            if (i + 1 >= argc) return usageError(QStringLiteral("--crossfade-curve needs a value"));
            const auto idx = indexOf(argv[++i], {"power", "linear"});
            if (!idx) return usageError(QStringLiteral("--crossfade-curve takes power or linear"));
            a.seam.curve = *idx == 0 ? media::Seam::Curve::EqualPower : media::Seam::Curve::Linear;
            a.curveGiven = true;
            continue;
        }
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        const bool takesValue = std::strcmp(arg, "-o") == 0 || std::strcmp(arg, "-r") == 0 ||
                                std::strcmp(arg, "-c") == 0 || std::strcmp(arg, "-b") == 0;
        if (!takesValue) return usageError(QStringLiteral("unknown option %1").arg(argText(arg)));
        if (i + 1 >= argc) return usageError(QStringLiteral("%1 needs a value").arg(argText(arg)));
        const char* value = argv[++i];
        std::optional<int> idx;
        switch (arg[1]) {
            case 'o':
                if (!*value) return usageError(QStringLiteral("-o needs a file name"));
                a.output = argText(value);
                break;
            // In the order of the window's lists, so the index is the list's.
            case 'r':
                if (!(idx = indexOf(value, {"44100", "22050", "11025", "8000", "48000", "88200",
                                            "96000", "192000", "same"})))
                    return usageError(QStringLiteral(
                        "-r takes 8000, 11025, 22050, 44100, 48000, 88200, 96000, 192000 or same"));
                a.rateIndex = *idx;
                break;
            case 'c':
                if (!(idx = indexOf(value, {"2", "1", "same"})))
                    return usageError(QStringLiteral("-c takes 1, 2 or same"));
                a.channelsIndex = *idx;
                break;
            case 'b':
                if (!(idx = indexOf(value, {"16", "8", "24", "32f", "same"})))
                    return usageError(QStringLiteral("-b takes 8, 16, 24, 32f or same"));
                a.bitsIndex = *idx;
                break;
        }
    }
    if (a.curveGiven && a.seam.kind != media::Seam::Kind::Crossfade)
        return usageError(QStringLiteral("--crossfade-curve needs --crossfade"));
    // -0 alone reads the list from standard input, as "-0 -" does.
    if (a.nulSeparated && !a.files.contains(QStringLiteral("-"))) a.files << QStringLiteral("-");
    if (a.files.count(QStringLiteral("-")) > 1)
        return usageError(QStringLiteral("- (standard input) may be given only once"));
    if (a.files.isEmpty()) return usageError(QStringLiteral("join needs at least one file"));
    return std::nullopt;
}

// The names on standard input, one per line (blank lines skipped) or NUL-separated.
QStringList filesFromStandardInput(bool nulSeparated) {
    QByteArray all;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        all.append(buffer, n);
    }
    QStringList files;
    for (QByteArray name : all.split(nulSeparated ? '\0' : '\n')) {
        if (!nulSeparated && name.endsWith('\r')) name.chop(1);
        if (!name.isEmpty()) files << media::pathToQString(name.toStdString());
    }
    return files;
}

// Standard input's list in the place of "-", playlists replaced by what they list; false
// (with the causes shown) when a file is missing or nothing is left.
bool expandFiles(JoinArgs& args, MessageBoxes& boxes) {
    const qsizetype stdinAt = args.files.indexOf(QStringLiteral("-"));
    if (stdinAt >= 0) {
        const QStringList listed = filesFromStandardInput(args.nulSeparated);
        if (listed.isEmpty()) {
            boxes.errorMessage(QStringLiteral("Standard input lists no files."));
            return false;
        }
        args.files = args.files.mid(0, stdinAt) + listed + args.files.mid(stdinAt + 1);
    }
    const Playlist::Expansion expanded = Playlist::expand(args.files);
    for (const QString& message : expanded.messages) boxes.errorMessage(message);
    args.files = expanded.files;
    return expanded.messages.isEmpty() && !args.files.isEmpty();
}

int runJoin(int argc, char** argv) {
    JoinArgs args;
    if (auto status = parseJoin(argc, argv, args)) return *status;
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
    QCoreApplication::setOrganizationName(QStringLiteral("Brontal"));

    TerminalMessageBoxes boxes(args.yes);
    OutputFormat format;
    if (args.output.isEmpty()) {
        IniSettingsStore store;
        format = settings::readOutputFormat(store, settings::defaultOutputPath(boxes));
    } else {
        format.outputPath = args.output;
    }
    format.sampleRateIndex = args.rateIndex;
    format.channelsIndex = args.channelsIndex;
    format.bitsIndex = args.bitsIndex;
    format.markers = args.markers;
    format.cueSheet = false;  // the window's setting; here only --cue asks for one
    format.cuePath = args.cue;
    format.labelsPath = args.labels;
    // Only what the command line asks for goes between files, whatever the window keeps.
    format.betweenFiles = args.seam.kind;
    format.crossfadeCurve = args.seam.curve;
    if (args.seam.kind == media::Seam::Kind::Silence) format.silenceSeconds = args.seam.seconds;
    if (args.seam.kind == media::Seam::Kind::Crossfade) format.crossfadeSeconds = args.seam.seconds;
    format.loudnessMode = args.loudnessMode;
    format.loudnessTarget = args.loudnessTarget;
    format.truePeakCeiling = args.truePeak;
    // Standard output may carry a cue sheet or labels: the closing line goes aside then.
    FILE* const doneStream =
        args.cue == QStringLiteral("-") || args.labels == QStringLiteral("-") ? stderr : stdout;

    // Every file is measured first, as Add does; one that cannot be measured stops the join.
    if (!expandFiles(args, boxes)) {
        printLine(stderr, QStringLiteral("corvane: nothing was joined."));
        return kExitFailed;
    }
    ItemList items;
    const auto results = FileAdder::probeAll(args.files);
    const FileAdder::Outcome added =
        FileAdder::apply(items, args.files, results, args.files.size() > 1, boxes);
    items.syncMusicList();
    if (added.failed > 0 || added.refused > 0) {
        printLine(stderr, QStringLiteral("corvane: nothing was joined."));
        return kExitFailed;
    }

    TerminalJoinView view;
    JoinJob job(items, format, boxes, view);
    view.attach(&job);
    int status = kExitFailed;
    // From here on a signal stops the join as Stop does, so the file stays whole.
    StopSignals stops;
    int stoppedBy = 0;  // only a signal that really stopped the join decides the status
    QObject::connect(&stops, &StopSignals::stopRequested, [&](int signal) {
        if (!job.joinRunning()) return;
        stoppedBy = signal;
        job.stopJoin();
    });
    QObject::connect(&job, &JoinJob::finished, [&](bool ok) {
        StopSignals::settle();
        view.endLine();
        if (ok && stoppedBy && job.nothingWritten()) {
            printLine(stderr, QStringLiteral("Interrupted while measuring loudness; nothing was written."));
            status = StopSignals::exitStatus(stoppedBy);
        } else if (ok && stoppedBy) {
            printLine(stderr,
                      QStringLiteral(
                          "Interrupted. %1 is a valid WAV file holding what was joined so far.")
                          .arg(job.writtenPath()));
            status = StopSignals::exitStatus(stoppedBy);
        } else if (ok) {
            printLine(doneStream, QStringLiteral("Done. Output File: %1").arg(job.writtenPath()));
            status = kExitOk;
        }
        QCoreApplication::exit(status);
    });

    job.onJoinCommand();
    if (!job.joinRunning()) return kExitFailed;
    QCoreApplication::exec();
    return status;
}

bool isLoneByte(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;  // a byte that is not UTF-8, as PathCodec carries it
}

bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

QString octal(unsigned byte) {
    return QStringLiteral("\\%1").arg(byte, 3, 8, QLatin1Char('0'));
}

// JSON string: lone bytes come out as \udcXX escapes, which Python's surrogateescape and our
// own path decoding turn back into the same bytes.
QString jsonString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'"' || c == u'\\') {
            out += QLatin1Char('\\') + qc;
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\t') {
            out += QStringLiteral("\\t");
        } else if (c < 0x20 || c == 0x7F || isLoneByte(c)) {
            out += QStringLiteral("\\u%1").arg(unsigned(c), 4, 16, QLatin1Char('0'));
        } else {
            out += qc;
        }
    }
    return out + QLatin1Char('"');
}

QString jsonText(const QString& text) {
    return text.isEmpty() ? QStringLiteral("null") : jsonString(text);
}

QString shellQuoted(const QString& name) {
    bool plain = true;
    for (const QChar qc : name)
        if (isControl(qc.unicode()) || isLoneByte(qc.unicode())) plain = false;
    if (plain) return name;
    // As ls shows such names: one $'…' word with C escapes, the bytes that are not UTF-8 in
    // octal; a terminal sees no control character and a record no line break.
    QString out = QStringLiteral("$'");
    for (const QChar qc : name) {
        const char16_t c = qc.unicode();
        switch (c) {
            case u'\a': out += QStringLiteral("\\a"); break;
            case u'\b': out += QStringLiteral("\\b"); break;
            case u'\t': out += QStringLiteral("\\t"); break;
            case u'\n': out += QStringLiteral("\\n"); break;
            case u'\v': out += QStringLiteral("\\v"); break;
            case u'\f': out += QStringLiteral("\\f"); break;
            case u'\r': out += QStringLiteral("\\r"); break;
            case u'\'': out += QStringLiteral("\\'"); break;
            case u'\\': out += QStringLiteral("\\\\"); break;
            default:
                if (isLoneByte(c)) {
                    out += octal(c - 0xDC00u);
                } else if (isControl(c)) {
                    // C1 controls are two bytes in UTF-8: both in octal, as ls writes them.
                    for (const char b : QString(qc).toUtf8()) out += octal(static_cast<unsigned char>(b));
                } else {
                    out += qc;
                }
        }
    }
    return out + QLatin1Char('\'');
}

// Each file as it is: integrated loudness and true peak, tab-separated.
int probeLoudness(const QStringList& files, TerminalMessageBoxes& boxes) {
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(media::qstringToPath(f));
    const auto results = media::LoudnessSurvey::measureAll(paths, {});
    int status = kExitOk;
    for (int i = 0; i < files.size(); ++i) {
        const media::LoudnessResult& r = results[static_cast<std::size_t>(i)];
        if (media::FAILED(r.hr)) {
            boxes.errorMessage(FileAdder::cannotOpenText(files[i], r.detail, r.fromDecoder));
            status = kExitFailed;
            continue;
        }
        QString line = QStringLiteral("%1\t%2 LUFS\t%3 dBTP")
                           .arg(shellQuoted(ItemList::displayNameOf(files[i])), loudnessText(r.integrated),
                                loudnessText(r.truePeak));
        if (!r.measurable()) line += QStringLiteral("\ttoo short or too quiet to measure");
        printLine(stdout, line);
    }
    return status;
}

int runProbe(int argc, char** argv) {
    QStringList files;
    bool optionsEnded = false;
    bool json = false;
    bool loudness = false;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
            files << argText(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--json") == 0) {
            json = true;
        } else if (std::strcmp(arg, "--loudness") == 0) {
            loudness = true;
        } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else {
            return usageError(QStringLiteral("unknown option %1").arg(argText(arg)));
        }
    }
    if (files.isEmpty()) return usageError(QStringLiteral("probe needs at least one file"));
    TerminalMessageBoxes boxes;
    if (loudness) return probeLoudness(files, boxes);
    const auto results = FileAdder::probeAll(files);
    int status = kExitOk;
    for (int i = 0; i < files.size(); ++i) {
        const media::ProbeResult& r = results[static_cast<std::size_t>(i)];
        if (media::FAILED(r.hr)) {
            boxes.errorMessage(FileAdder::cannotOpenText(files[i], r.detail, r.fromDecoder));
            boxes.errorMessage(QStringLiteral("Can not get the duration of %1").arg(files[i]));
            status = kExitFailed;
            if (json)
                printLine(stdout, QStringLiteral("{\"path\":%1,\"error\":%2}")
                                      .arg(jsonString(files[i]), jsonString(r.detail)));
            continue;
        }
        if (json) {
            printLine(stdout,
                      QStringLiteral("{\"path\":%1,\"seconds\":%2,\"duration\":%3,\"samples\":%4,"
                                     "\"rate\":%5,\"channels\":%6,\"codec\":%7,\"title\":%8,"
                                     "\"artist\":%9}")
                          .arg(jsonString(files[i]), ItemList::durationText(r.duration),
                               QString::number(r.duration), QString::number(r.samples),
                               QString::number(r.sampleRate), QString::number(r.channels),
                               jsonText(r.codec), jsonText(r.title), jsonText(r.artist)));
            continue;
        }
        // One arg() for all four: a name holding "%1" must come out as it is.
        printLine(stdout,
                  QStringLiteral("%1\t%2\t%3\t%4")
                      .arg(shellQuoted(ItemList::displayNameOf(files[i])),
                           ItemList::durationText(r.duration), QString::number(r.duration),
                           shellQuoted(markerTitle(files[i], r.title))));
    }
    return status;
}

}  // namespace

void prepareProcess() {
    // A closed standard stream would be the next file opened: the output itself could become
    // "stderr" and take the progress text.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    // A reader that went away (stderr into head) only ends the text written to it.
    std::signal(SIGPIPE, SIG_IGN);
}

bool isCommand(int argc, char** argv) {
    if (argc < 2) return false;
    for (const char* c : {"join", "probe", "--help", "-h", "--version"})
        if (std::strcmp(argv[1], c) == 0) return true;
    return false;
}

int run(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // It took the locale from the environment; the system's own error texts stay English
    // here too, as every line the terminal prints does.
    std::setlocale(LC_MESSAGES, "C");
    if (std::strcmp(argv[1], "join") == 0) return runJoin(argc, argv);
    if (std::strcmp(argv[1], "probe") == 0) return runProbe(argc, argv);
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("corvane %s\n", CORVANE_VERSION);
        return kExitOk;
    }
    std::fputs(kUsage, stdout);
    return kExitOk;
}

}  // namespace corvane::cli
