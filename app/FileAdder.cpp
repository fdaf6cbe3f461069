// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FileAdder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QCollator>
#include <QSet>
#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <thread>

#include "media/PathCodec.h"
#include "media/graph/RenderPipeline.h"
#include "media/decoders/WorkerPool.h"

namespace corvane {

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString fileUrlOf(const QString& path) {
    const QByteArray bytes = QByteArray::fromStdString(media::qstringToPath(path));
    return QStringLiteral("file://") + QString::fromLatin1(bytes.toPercentEncoding("/"));
}

QString FileAdder::cannotOpenText(const QString& path, const QString& cause, bool fromDecoder) {
    QString text = fromDecoder
                       ? tr("Cannot open %1. You need to install appropriate decoders.\nOr the file is corrupt.").arg(path)
                       : tr("Cannot open %1.").arg(path);
    if (!cause.isEmpty()) text += QLatin1Char('\n') + cause.left(1).toUpper() + cause.mid(1);
    return text;
}

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Runs of digits compare by their value, the text between them by the collator. Done here
// rather than by the collator's numeric mode, which the "C" locale does not have.
int naturalCompare(QStringView a, QStringView b, const QCollator& collator) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digits = isDigit(a[i]);
        if (digits != isDigit(b[j])) break;
        qsizetype ei = i, ej = j;
        while (ei < a.size() && isDigit(a[ei]) == digits) ++ei;
        while (ej < b.size() && isDigit(b[ej]) == digits) ++ej;
        QStringView ra = a.sliced(i, ei - i), rb = b.sliced(j, ej - j);
        int c = 0;
        if (digits) {
            while (ra.size() > 1 && ra.front() == u'0') ra = ra.sliced(1);
            while (rb.size() > 1 && rb.front() == u'0') rb = rb.sliced(1);
            c = ra.size() != rb.size() ? (ra.size() < rb.size() ? -1 : 1) : ra.compare(rb);
        } else if (const qsizetype m = std::min(ra.size(), rb.size());
                   ra.size() != rb.size() && collator.compare(ra.first(m), rb.first(m)) == 0) {
            // One run is the start of the other ("track" and "track.wav"): what follows the
            // shorter one decides, a digit or the end against the rest of the longer.
            ei = i + m;
            ej = j + m;
        } else {
            c = collator.compare(ra, rb);
        }
        if (c != 0) return c;
        i = ei;
        j = ej;
    }
    return collator.compare(a.sliced(i), b.sliced(j));
}

}  // namespace

void FileAdder::sortNaturally(QStringList& paths) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(paths.begin(), paths.end(), [&collator](const QString& a, const QString& b) {
        const int byName =
            naturalCompare(ItemList::displayNameOf(a), ItemList::displayNameOf(b), collator);
        if (byName != 0) return byName < 0;
        return naturalCompare(a, b, collator) < 0;
    });
}

bool FileAdder::isSoundFileName(const QString& name) {
    static const QSet<QString> extensions = {
        QStringLiteral("wav"),  QStringLiteral("wave"), QStringLiteral("mp3"),
        QStringLiteral("mp2"),  QStringLiteral("flac"), QStringLiteral("ogg"),
        QStringLiteral("oga"),  QStringLiteral("opus"), QStringLiteral("m4a"),
        QStringLiteral("m4b"),  QStringLiteral("aac"),  QStringLiteral("mp4"),
        QStringLiteral("aif"),  QStringLiteral("aiff"), QStringLiteral("aifc"),
        QStringLiteral("wma"),  QStringLiteral("wv"),   QStringLiteral("ac3"),
        QStringLiteral("au"),   QStringLiteral("snd"),  QStringLiteral("mka"),
        QStringLiteral("webm"), QStringLiteral("mkv"),  QStringLiteral("caf"),
        QStringLiteral("amr"),  QStringLiteral("ape"),  QStringLiteral("mpc"),
        QStringLiteral("tta"),
    };
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) return false;
    return extensions.contains(name.mid(dot + 1).toLower());
}

QStringList FileAdder::soundFilesIn(const QString& folder) {
    QStringList files;
    std::string dir = media::qstringToPath(folder);
    if (dir.empty()) return files;
    if (dir.back() != '/') dir += '/';
    const std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.c_str()), &::closedir);
    if (!stream) return files;
    while (const dirent* entry = ::readdir(stream.get())) {
        const std::string path = dir + entry->d_name;
        const QString name = media::pathToQString(entry->d_name);
        if (name.startsWith(QLatin1Char('.')) || !isSoundFileName(name)) continue;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files << media::pathToQString(path);
    }
    sortNaturally(files);
    return files;
}

bool FileAdder::pathTooLong(const QString& path) {
    return media::qstringToPath(path).size() >= PATH_MAX;
}

std::vector<media::ProbeResult> FileAdder::probeAll(const QStringList& paths,
                                                    const std::function<void(int, int)>& progress,
                                                    const std::atomic<bool>* cancel) {
    const int total = static_cast<int>(paths.size());
    std::vector<media::ProbeResult> results(static_cast<std::size_t>(total));
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::mutex progressMutex;
    // Files go to the workers in batches: one round trip each, not one per file, spread so
    // that every worker measures at once.
    const int kBatch = media::WorkerPool::batchSize(total);
    auto work = [&] {
        for (;;) {
            const int first = next.fetch_add(kBatch);
            if (first >= total) return;
            const int last = std::min(total, first + kBatch);
            std::vector<std::string> batch;
            std::vector<int> where;
            for (int i = first; i < last; ++i) {
                media::ProbeResult& r = results[static_cast<std::size_t>(i)];
                if (cancel && cancel->load()) {
                    r.hr = media::E_ABORT;
                    r.detail = QStringLiteral("cancelled");
                } else if (pathTooLong(paths[i])) {
                    r.hr = media::E_INVALIDARG;
                    r.detail = tr("the path is too long");
                } else {
                    batch.push_back(media::qstringToPath(paths[i]));
                    where.push_back(i);
                }
            }
            std::vector<media::ProbeResult> got = media::WorkerPool::probeMany(batch, cancel);
            for (std::size_t k = 0; k < got.size(); ++k)
                results[static_cast<std::size_t>(where[k])] = std::move(got[k]);
            const int d = done.fetch_add(last - first) + (last - first);
            if (progress) {
                std::lock_guard lock(progressMutex);
                progress(d, total);
            }
        }
    };
    const int threads = std::min(media::WorkerPool::capacity(), std::max(1, total));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    return results;
}

FileAdder::Outcome FileAdder::apply(ItemList& list, const QStringList& paths,
                                    const std::vector<media::ProbeResult>& results, bool severalChosen,
                                    MessageBoxes& boxes) {
    Outcome out;
    int notStored = 0;
    for (int i = 0; i < static_cast<int>(paths.size()); ++i) {
        const media::ProbeResult& r = results[static_cast<std::size_t>(i)];
        const QString& path = paths[i];
        if (r.hr == media::E_ABORT) {
            ++out.refused;
            continue;
        }
        if (pathTooLong(path)) {
            boxes.errorMessage(tr("The path of %1 is too long. The file was not added.").arg(path));
            ++out.refused;
            if (!severalChosen) return out;
            continue;
        }
        if (media::FAILED(r.hr)) {
            boxes.errorMessage(cannotOpenText(path, r.detail, r.fromDecoder));
            ++out.failed;
            if (!severalChosen) {
                boxes.errorMessage(tr("Can not get the duration of the clip!"));
                return out;
            }
            boxes.errorMessage(tr("Can not get the duration of %1").arg(path));
            continue;
        }
        if (!list.append(path, r.duration, r.title, r.artist, r.format)) {
            ++notStored;
            ++out.refused;
            continue;
        }
        ++out.added;
    }
    if (notStored > 0)
        boxes.errorMessage(tr("The list is full: it holds at most %1 files. %2 file(s) "
                                          "were not added.")
                               .arg(kMaxItems)
                               .arg(notStored));
    return out;
}

}  // namespace corvane
