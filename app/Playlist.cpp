// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Playlist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

#include "app/FileAdder.h"
#include "media/PathCodec.h"

namespace corvane {

namespace {

// Far more than any real playlist; a bigger file is not one.
constexpr qint64 kMaxPlaylistBytes = 16 << 20;
// Playlists read for one expansion: bounds a playlist that lists another many times over.
constexpr int kMaxPlaylistReads = 1000;
// Names listed in one message; the rest are counted.
constexpr int kNamesShown = 10;

enum class Kind { Missing, File, Folder };

// Without "." and "..", where that still names the same file: through a linked folder,
// ".." goes elsewhere than the text says, and the path is kept as written.
QString cleanedIfSame(const QString& path) {
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned == path) return path;
    struct stat a {}, b {};
    if (::stat(media::qstringToPath(path).c_str(), &a) != 0 ||
        ::stat(media::qstringToPath(cleaned).c_str(), &b) != 0 || a.st_dev != b.st_dev ||
        a.st_ino != b.st_ino)
        return path;
    return cleaned;
}

Kind kindOf(const QString& path) {
    struct stat st {};
    if (::stat(media::qstringToPath(path).c_str(), &st) != 0) return Kind::Missing;
    return S_ISDIR(st.st_mode) ? Kind::Folder : Kind::File;
}

// The whole file, or an error text.
bool readWhole(const QString& path, QByteArray* bytes, QString* error) {
    const int fd = ::open(media::qstringToPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        *error = QString::fromLocal8Bit(std::strerror(EISDIR));
        ok = false;
    }
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            ok = false;
        } else if (n == 0) {
            break;
        } else if (bytes->size() + n > kMaxPlaylistBytes) {
            *error = Playlist::tr("it is too large to be a playlist");
            ok = false;
        } else {
            bytes->append(buffer, n);
        }
    }
    ::close(fd);
    return ok;
}

QString absoluteOf(const QString& path) {
    if (path.startsWith(QLatin1Char('/'))) return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return path;
    return media::pathToQString(cwd) + QLatin1Char('/') + path;
}

QString realPathOf(const QString& path) {
    char resolved[PATH_MAX];
    if (!::realpath(media::qstringToPath(path).c_str(), resolved)) return path;
    return media::pathToQString(resolved);
}

QString namesList(const QStringList& names) {
    QStringList shown = names.mid(0, kNamesShown);
    if (names.size() > kNamesShown)
        shown << Playlist::tr("... and %1 more").arg(names.size() - kNamesShown);
    return shown.join(QLatin1Char('\n'));
}

bool hasUrlScheme(const QString& entry) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(entry).hasMatch();
}

// A file: URL's path with its own bytes (names need not be UTF-8); "" when not local.
QString localPathOfUrl(const QString& entry) {
    if (!entry.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) return {};
    const QUrl url(entry);
    if (!url.isLocalFile() || (!url.host().isEmpty() && url.host() != QLatin1String("localhost")))
        return {};
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return media::pathToQString(bytes.toStdString());
}

struct Expander {
    Playlist::Expansion out;
    int limit = 0;
    int readsLeft = kMaxPlaylistReads;
    bool stopped = false;
    QStringList chain;  // real paths of the playlists being read, outermost first

    bool take(const QString& file) {
        if (out.files.size() >= limit) {
            if (!stopped)
                out.messages << Playlist::tr("The playlists list more than %1 files; only the first "
                                               "%1 were taken.")
                                    .arg(limit);
            stopped = true;
            return false;
        }
        out.files << file;
        return true;
    }

    // The file an entry names, trying what playlists from elsewhere write: surrounding
    // blanks, Windows separators, Latin-1 names. "" when none exists.
    static QString locate(const QString& folder, const QString& entry, const QByteArray& raw) {
        QStringList candidates{entry, entry.trimmed()};
        if (entry.contains(QLatin1Char('\\')))
            candidates << QString(entry.trimmed()).replace(QLatin1Char('\\'), QLatin1Char('/'));
        // Bytes that are not UTF-8 come as U+DC80..U+DCFF (see PathCodec).
        if (std::any_of(entry.begin(), entry.end(),
                        [](QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }))
            candidates << QString::fromLatin1(raw).trimmed();
        for (const QString& c : candidates) {
            if (c.isEmpty()) continue;
            const QString path = c.startsWith(QLatin1Char('/')) ? c : folder + c;
            if (kindOf(path) != Kind::Missing) return cleanedIfSame(path);
        }
        return {};
    }

    void addPath(const QString& path) {
        if (stopped) return;
        if (Playlist::isPlaylistName(path) && kindOf(path) != Kind::Folder)
            readPlaylist(path);
        else
            take(path);
    }

    void readPlaylist(const QString& path) {
        const QString real = realPathOf(path);
        if (chain.contains(real)) {
            out.messages << Playlist::tr("The playlist %1 lists itself, directly or through "
                                           "another playlist; it was not read again.")
                                .arg(path);
            return;
        }
        if (--readsLeft < 0) {
            if (readsLeft == -1)
                out.messages << Playlist::tr("Too many playlists inside playlists; %1 and "
                                               "those after it were not read.")
                                    .arg(path);
            return;
        }
        QByteArray text;
        QString error;
        if (!readWhole(path, &text, &error)) {
            out.messages << Playlist::tr("Cannot read the playlist %1: %2").arg(path, error);
            return;
        }
        const bool pls = path.endsWith(QLatin1String(".pls"), Qt::CaseInsensitive);
        const QStringList entries = Playlist::entriesOf(text, pls);
        if (entries.isEmpty()) {
            out.messages << Playlist::tr("The playlist %1 lists no files.").arg(path);
            return;
        }
        const QString folder = folderOf(absoluteOf(path));
        QStringList missing, remote;
        chain << real;
        for (const QString& entry : entries) {
            if (stopped) break;
            QString file;
            if (hasUrlScheme(entry)) {
                file = localPathOfUrl(entry);
                if (file.isEmpty()) {
                    remote << entry;
                    continue;
                }
                if (kindOf(file) == Kind::Missing) {
                    missing << file;
                    continue;
                }
            } else {
                file = locate(folder, entry, QByteArray::fromStdString(media::qstringToPath(entry)));
                if (file.isEmpty()) {
                    missing << (entry.startsWith(QLatin1Char('/')) ? entry : folder + entry);
                    continue;
                }
            }
            if (kindOf(file) == Kind::Folder) {
                for (const QString& f : FileAdder::soundFilesIn(file))
                    if (!take(f)) break;
            } else {
                addPath(file);
            }
        }
        chain.removeLast();
        if (!missing.isEmpty())
            out.messages << Playlist::tr("These files listed in %1 cannot be found and were not "
                                           "added:\n%2")
                                .arg(path, namesList(missing));
        if (!remote.isEmpty())
            out.messages << Playlist::tr("These entries of %1 are not files on this computer and "
                                           "were not added:\n%2")
                                .arg(path, namesList(remote));
    }
};

}  // namespace

bool Playlist::isPlaylistName(const QString& path) {
    return path.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".pls"), Qt::CaseInsensitive);
}

QStringList Playlist::entriesOf(const QByteArray& text, bool pls) {
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);
    QStringList entries;
    std::multimap<long long, QString> numbered;  // .pls: FileN by N, stable among equals
    for (QByteArray line : body.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty()) continue;
        if (!pls) {
            if (!line.trimmed().startsWith('#')) entries << media::pathToQString(line.toStdString());
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = line.left(eq).trimmed().toLower();
        if (!key.startsWith("file")) continue;
        bool ok = false;
        const long long n = key.mid(4).toLongLong(&ok);
        if (!ok) continue;
        const QByteArray value = line.mid(eq + 1);
        if (!value.trimmed().isEmpty()) numbered.emplace(n, media::pathToQString(value.toStdString()));
    }
    for (const auto& [n, entry] : numbered) entries << entry;
    return entries;
}

QByteArray Playlist::toM3u8(const ItemList& list, const QString& playlistPath) {
    const QString folder = folderOf(playlistPath);
    QByteArray text("#EXTM3U\n");
    for (int i = 0; i < list.itemCount(); ++i) {
        const MediaItem& item = list.item(i);
        QString title = item.title;
        if (title.isEmpty()) {
            title = ItemList::displayNameOf(item.path);
            const qsizetype dot = title.lastIndexOf(QLatin1Char('.'));
            if (dot > 0) title.truncate(dot);
        } else if (!item.artist.isEmpty()) {
            title = item.artist + QStringLiteral(" - ") + title;
        }
        title.replace(QRegularExpression(QStringLiteral("[\\r\\n]+")), QStringLiteral(" "));
        const qint64 seconds = (item.duration + 5000000) / 10000000;
        text += "#EXTINF:" + QByteArray::number(seconds) + ',' + title.toUtf8() + '\n';

        QString entry = item.path;
        if (!folder.isEmpty() && entry.startsWith(folder) && entry.size() > folder.size()) {
            entry = entry.mid(folder.size());
            // A name starting with '#' would read back as a comment.
            if (entry.startsWith(QLatin1Char('#')) || entry.front().isSpace())
                entry.prepend(QStringLiteral("./"));
        }
        // A line break cannot stand in a line: such a name goes as a file URL.
        if (entry.contains(QLatin1Char('\n')) || entry.contains(QLatin1Char('\r')))
            entry = fileUrlOf(item.path);
        text += QByteArray::fromStdString(media::qstringToPath(entry)) + '\n';
    }
    return text;
}

bool Playlist::save(const ItemList& list, const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(toM3u8(list, path)) < 0 || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

Playlist::Expansion Playlist::expand(const QStringList& paths, int limit) {
    Expander e;
    e.limit = limit;
    for (const QString& path : paths) e.addPath(path);
    return std::move(e.out);
}

}  // namespace corvane
