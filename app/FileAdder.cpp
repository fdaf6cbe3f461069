#include "app/FileAdder.h"

#include <climits>
#include <mutex>
#include <thread>

#include "media/PathCodec.h"
#include "media/RenderPipeline.h"
#include "media/WorkerPool.h"

namespace corvane {

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
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
    auto work = [&] {
        for (;;) {
            const int i = next.fetch_add(1);
            if (i >= total) return;
            media::ProbeResult& r = results[static_cast<std::size_t>(i)];
            if (cancel && cancel->load()) {
                r.hr = media::E_ABORT;
                r.detail = QStringLiteral("cancelled");
            } else if (pathTooLong(paths[i])) {
                r.hr = media::E_INVALIDARG;
                r.detail = QStringLiteral("the path is too long");
            } else {
                r = media::WorkerPool::probe(media::qstringToPath(paths[i]), cancel);
            }
            const int d = done.fetch_add(1) + 1;
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
            boxes.errorMessage(QStringLiteral("The path of %1 is too long. The file was not added.").arg(path));
            ++out.refused;
            if (!severalChosen) return out;
            continue;
        }
        if (media::FAILED(r.hr)) {
            boxes.errorMessage(kCannotOpenMessage.arg(path));
            ++out.failed;
            if (!severalChosen) {
                boxes.errorMessage(QStringLiteral("Can not get the duration of the clip!"));
                return out;
            }
            boxes.errorMessage(QStringLiteral("Can not get the duration of %1").arg(path));
            continue;
        }
        if (!list.append(path, r.duration)) {
            ++notStored;
            ++out.refused;
            continue;
        }
        ++out.added;
    }
    if (notStored > 0)
        boxes.errorMessage(QStringLiteral("The list is full: it holds at most %1 files. %2 file(s) "
                                          "were not added.")
                               .arg(kMaxItems)
                               .arg(notStored));
    return out;
}

}  // namespace corvane
