#include "media/wavfile/OutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "media/PathCodec.h"

namespace corvane::media {

namespace {

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + '/' + path;
}

std::string realPath(const std::string& path) {
    char* r = ::realpath(path.c_str(), nullptr);
    if (!r) return {};
    std::string s(r);
    std::free(r);
    return s;
}

bool underSystemFolder(const std::string& p) {
    for (const char* top : {"/dev", "/proc", "/sys"}) {
        const std::string t(top);
        if (p == t || p.compare(0, t.size() + 1, t + '/') == 0) return true;
    }
    return false;
}

QString show(const std::string& path) {
    return pathToQString(path);
}

}  // namespace

std::string OutputFile::target(const std::string& path) {
    const std::string abs = absolute(path);
    struct stat ls {};
    if (::lstat(abs.c_str(), &ls) == 0 && S_ISLNK(ls.st_mode)) {
        const std::string r = realPath(abs);
        return r.empty() ? abs : r;
    }
    const std::size_t slash = abs.rfind('/');
    const std::string base = abs.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") {
        const std::string r = realPath(abs);
        return r.empty() ? abs : r;
    }
    const std::string folder = realPath(slash == 0 ? std::string("/") : abs.substr(0, slash));
    if (folder.empty()) return abs;
    return (folder == "/" ? std::string() : folder) + '/' + base;
}

QString OutputFile::partRefusal(const std::string& part) {
    struct stat st {};
    if (::lstat(part.c_str(), &st) != 0) return {};
    const int fd = ::open(part.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        if (busy)
            return QStringLiteral(
                       "Another join is writing %1. Wait for it to end, or choose another output "
                       "file.")
                .arg(show(part));
    }
    return QStringLiteral(
               "%1 exists: an interrupted join left what it wrote there. Move or delete it, then "
               "join again.")
        .arg(show(part));
}

QString OutputFile::refusal(const QString& path) {
    if (path.isEmpty()) return QStringLiteral("No output file is set.");
    const std::string abs = absolute(qstringToPath(path));
    const std::string real = target(abs);
    if (underSystemFolder(abs) || underSystemFolder(real))
        return QStringLiteral("%1 is in /dev, /proc or /sys; choose a regular file as output.")
            .arg(path);
    struct stat ls {};
    struct stat st {};
    const bool exists = ::lstat(abs.c_str(), &ls) == 0;
    if (exists && S_ISLNK(ls.st_mode) && ::stat(abs.c_str(), &st) != 0)
        return QStringLiteral(
                   "%1 is a link that leads to no file; choose a regular file as output.")
            .arg(path);
    if (exists && ::stat(abs.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return QStringLiteral("%1 is a folder, not a file.").arg(path);
        if (!S_ISREG(st.st_mode)) return QStringLiteral("%1 is not a regular file.").arg(path);
        static const char* const kStreams[] = {"input", "output", "error output"};
        for (int fd = 0; fd <= 2; ++fd) {
            struct stat ss {};
            if (::fstat(fd, &ss) == 0 && ss.st_dev == st.st_dev && ss.st_ino == st.st_ino)
                return QStringLiteral(
                           "%1 is this program's standard %2; choose another output file.")
                    .arg(path, QLatin1String(kStreams[fd]));
        }
        // Read-only files are not replaced, whoever runs the join.
        if ((st.st_mode & 0222) == 0 || ::access(real.c_str(), W_OK) != 0)
            return QStringLiteral("%1 is write-protected; it is not replaced.").arg(path);
    }
    if (const QString why = folderRefusal(real); !why.isEmpty()) return why;
    return partRefusal(partOf(real));
}

QString OutputFile::folderRefusal(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash == 0 ? 1 : slash);
    struct stat st {};
    const bool found = ::stat(folder.c_str(), &st) == 0;
    if ((!found && (errno == ENOENT || errno == ENOTDIR)) || (found && !S_ISDIR(st.st_mode)))
        return QStringLiteral(
                   "Cannot write %1: the folder %2 does not exist. Choose another folder for "
                   "the output file.")
            .arg(show(target), show(folder));
    // The join writes its part file beside the output, so the folder itself must take new
    // files, even when the output file could be written.
    if (!found || ::access(folder.c_str(), W_OK | X_OK) != 0)
        return QStringLiteral(
                   "Cannot write %1: Corvane may not create files in the folder %2. Choose "
                   "another folder for the output file.")
            .arg(show(target), show(folder));
    return {};
}

}  // namespace corvane::media
