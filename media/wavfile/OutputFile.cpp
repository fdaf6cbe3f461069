// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/wavfile/OutputFile.h"
#include "media/Cause.h"

#include <fcntl.h>
#include <sys/file.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
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

// The place of a path on the machine, by what is mounted there rather than by its name: the
// kernel's own filesystems and the one holding the device nodes are no place for a WAV file,
// while a tmpfs (/dev/shm, /run/user/…) or a disk mounted anywhere is.
bool onSystemFilesystem(const std::string& p) {
    struct statfs fs {};
    if (::statfs(p.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case PSTOREFS_MAGIC:
        case BPF_FS_MAGIC:
        case EFIVARFS_MAGIC:
        case BINFMTFS_MAGIC:
        case SELINUX_MAGIC:
        case SMACK_MAGIC:
        case NSFS_MAGIC:
        case 0x62656570UL:  // configfs
        case 0x19800202UL:  // mqueue
        case 0x65735543UL:  // fusectl
            return true;
        default:
            break;
    }
    // The device nodes' own filesystem, when it is a mount of its own (it usually is).
    struct stat here {}, dev {}, root {};
    return ::stat(p.c_str(), &here) == 0 && ::stat("/dev", &dev) == 0 &&
           ::stat("/", &root) == 0 && dev.st_dev != root.st_dev && here.st_dev == dev.st_dev;
}

std::string folderOf(const std::string& abs) {
    const std::size_t slash = abs.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : abs.substr(0, slash);
}

bool inSystemPlace(const std::string& abs, const std::string& real) {
    struct stat st {};
    return onSystemFilesystem(folderOf(abs)) || onSystemFilesystem(folderOf(real)) ||
           (::stat(real.c_str(), &st) == 0 && onSystemFilesystem(real));
}

// True while another join holds the file: a part file being written.
bool lockedByAnotherJoin(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    const bool busy = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return busy;
}

QString anotherJoinText(const QString& path) {
    return Cause::tr(
               "Another join is writing %1. Wait for it to end, or choose another output file.")
        .arg(path);
}

// 64-bit FNV-1a: a short, stable tag for a name that had to be shortened.
std::uint64_t nameHash(const std::string& s) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
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

std::string OutputFile::partOf(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : folderOf(target);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const long max = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t nameMax = max > 0 ? static_cast<std::size_t>(max) : 255;
    const std::string suffix(kPartSuffix);
    if (base.size() + suffix.size() <= nameMax) return target + suffix;
    // A name as long as the folder allows leaves no room for the suffix: cut it (never inside
    // a UTF-8 character) and tag it with a hash of the whole name, so each output keeps one
    // part file of its own that every join finds again.
    char tag[18];
    std::snprintf(tag, sizeof tag, "~%016llx",
                  static_cast<unsigned long long>(nameHash(base)));
    std::size_t keep = nameMax > suffix.size() + 17 ? nameMax - suffix.size() - 17 : 0;
    while (keep > 0 && keep < base.size() && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
        --keep;
    return target.substr(0, slash + 1) + base.substr(0, keep) + tag + suffix;
}

QString OutputFile::partRefusal(const std::string& part) {
    struct stat st {};
    if (::lstat(part.c_str(), &st) != 0) return {};
    if (lockedByAnotherJoin(part)) return anotherJoinText(show(part));
    return Cause::tr(
               "%1 exists: an interrupted join left what it wrote there. Move or delete it, then "
               "join again.")
        .arg(show(part));
}

QString OutputFile::refusal(const QString& path) {
    if (path.isEmpty()) return Cause::tr("No output file is set.");
    const std::string abs = absolute(qstringToPath(path));
    const std::string real = target(abs);
    if (inSystemPlace(abs, real))
        return Cause::tr("%1 is in /dev, /proc or /sys; choose a regular file as output.")
            .arg(path);
    struct stat ls {};
    struct stat st {};
    const bool exists = ::lstat(abs.c_str(), &ls) == 0;
    if (exists && S_ISLNK(ls.st_mode) && ::stat(abs.c_str(), &st) != 0)
        return Cause::tr(
                   "%1 is a link that leads to no file; choose a regular file as output.")
            .arg(path);
    if (exists && ::stat(abs.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Cause::tr("%1 is a folder, not a file.").arg(path);
        if (!S_ISREG(st.st_mode)) return Cause::tr("%1 is not a regular file.").arg(path);
        static const char* const kStreams[] = {QT_TRANSLATE_NOOP("Cause", "input"),
                                               QT_TRANSLATE_NOOP("Cause", "output"),
                                               QT_TRANSLATE_NOOP("Cause", "error output")};
        for (int fd = 0; fd <= 2; ++fd) {
            struct stat ss {};
            if (::fstat(fd, &ss) == 0 && ss.st_dev == st.st_dev && ss.st_ino == st.st_ino)
                return Cause::tr(
                           "%1 is this program's standard %2; choose another output file.")
                    .arg(path, Cause::tr(kStreams[fd]));
        }
        // Another join's part file: replacing it would take that join's audio away.
        if (lockedByAnotherJoin(real)) return anotherJoinText(path);
        // Read-only files are not replaced, whoever runs the join.
        if ((st.st_mode & 0222) == 0 || ::access(real.c_str(), W_OK) != 0)
            return Cause::tr("%1 is write-protected; it is not replaced.").arg(path);
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
        return Cause::tr(
                   "Cannot write %1: the folder %2 does not exist. Choose another folder for "
                   "the output file.")
            .arg(show(target), show(folder));
    // The join writes its part file beside the output, so the folder itself must take new
    // files, even when the output file could be written.
    if (!found || ::access(folder.c_str(), W_OK | X_OK) != 0)
        return Cause::tr(
                   "Cannot write %1: Corvane may not create files in the folder %2. Choose "
                   "another folder for the output file.")
            .arg(show(target), show(folder));
    return {};
}

}  // namespace corvane::media
