// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/wavfile/FileWriterFilter.h"
#include "media/Cause.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "media/ErrorText.h"
#include "media/decoders/Fault.h"
#include "media/wavfile/OutputFile.h"
#include "media/PathCodec.h"

namespace corvane::media {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::size_t kDirectWrite = 128 << 10;
// File systems without holes in files, from statfs(2).
constexpr long kFatMagic = 0x4d44;
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kHfsPlusMagic = 0x482b;
}  // namespace

HRESULT FileWriterFilter::Create(std::unique_ptr<FileWriterFilter>& out) {
    if (HRESULT hr = Fault::check("FileWriter::Create"); FAILED(hr)) return hr;
    out = std::make_unique<FileWriterFilter>();
    return S_OK;
}

FileWriterFilter::FileWriterFilter() {
    addPin(PINDIR_INPUT, "in");
}

FileWriterFilter::~FileWriterFilter() {
    if (fd_ >= 0) ::close(fd_);
}

HRESULT FileWriterFilter::SetFileName(const std::u16string& name, const MediaType*) {
    if (HRESULT hr = Fault::check("FileWriter::SetFileName"); FAILED(hr)) return hr;
    if (name.empty() || name.find(u'\0') != std::u16string::npos) return E_INVALIDARG;
    fileName_ = name;
    return S_OK;
}

HRESULT FileWriterFilter::GetCurFile(std::u16string& name) const {
    name = fileName_;
    return fileName_.empty() ? E_FAIL : S_OK;
}

HRESULT FileWriterFilter::SetMode(int mode) {
    if (mode != AM_FILE_APPEND && mode != AM_FILE_OVERWRITE) return E_INVALIDARG;
    mode_ = mode;
    return S_OK;
}

bool FileWriterFilter::acceptsType(const Pin*, const MediaType& type) const {
    return type.majortype == MajorType::Stream;
}

HRESULT FileWriterFilter::failWith(int err, const QString& text) {
    detail_ = text.arg(fromU16(fileName_), QString::fromLocal8Bit(std::strerror(err)));
    return fromErrno(err);
}

HRESULT FileWriterFilter::openPart() {
    if (const QString why = OutputFile::refusal(fromU16(fileName_)); !why.isEmpty()) {
        detail_ = why;
        return E_ACCESSDENIED;
    }
    target_ = OutputFile::target(encodePath(fileName_));
    part_ = OutputFile::partOf(target_);
    // O_EXCL: a part file that exists belongs to another join, or holds what a killed one wrote.
    // Read and write: audio placed ahead may have to move within the file.
    fd_ = ::open(part_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                 0666);
    if (fd_ < 0) {
        if (errno != EEXIST) {
            // The folder went away or closed since the join was checked: say so plainly.
            const int err = errno;
            if (QString why = OutputFile::folderRefusal(target_); !why.isEmpty()) {
                detail_ = why;
                return fromErrno(err);
            }
            return failWith(err, Cause::tr("Cannot create %1: %2"));
        }
        detail_ = OutputFile::partRefusal(part_);
        return E_ACCESSDENIED;
    }
    // FAT and exFAT (memory cards, car stereos' sticks) write zeros into every gap left before
    // a later write; audio placed ahead would cost its length twice there.
    struct statfs fs {};
    sparse_ = ::fstatfs(fd_, &fs) != 0 ||
              (fs.f_type != kFatMagic && fs.f_type != kExfatMagic && fs.f_type != kHfsPlusMagic);
    // Held until the part file is renamed and closed: a second join sees it busy. Blocking,
    // since another join only holds it for a moment to look.
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
    // The replaced file keeps its owner, group and permissions (owner only where we may give
    // it away, as root; the group where we belong to it). The mode comes last: a change of
    // owner clears set-id bits.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (::fchown(fd_, old.st_uid, old.st_gid) != 0)
            (void)!::fchown(fd_, static_cast<uid_t>(-1), old.st_gid);
        ::fchmod(fd_, old.st_mode & 07777);
    }
    return S_OK;
}

HRESULT FileWriterFilter::start() {
    detail_.clear();
    abandoned_ = writeFailed_ = keptOld_ = headerWritten_ = false;
    if (fileName_.empty()) return E_INVALIDARG;
    if (HRESULT hr = Fault::check("FileWriter::open"); FAILED(hr)) {
        detail_ = Cause::tr("Cannot create %1: %2").arg(fromU16(fileName_), errorText(hr));
        return hr;
    }
    if (HRESULT hr = openPart(); FAILED(hr)) {
        if (fd_ >= 0) {
            ::unlink(part_.c_str());
            ::close(fd_);
        }
        fd_ = -1;
        return hr;
    }
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    end_ = 0;
    placedEnd_ = 0;
    flushed_ = 0;
    return S_OK;
}

HRESULT FileWriterFilter::writeAll(const std::uint8_t* data, std::size_t size,
                                   std::int64_t offset) {
    while (size > 0) {
        if (HRESULT hr = Fault::check("FileWriter::write"); FAILED(hr)) {
            writeFailed_ = true;
            detail_ = Cause::tr("Cannot write %1: %2").arg(fromU16(fileName_), errorText(hr));
            return hr;
        }
        // Appends go to their own position, so rewriting the header never moves them.
        const std::int64_t at = offset >= 0 ? offset : flushed_;
        const ssize_t n = ::pwrite(fd_, data, size, at);
        if (n < 0) {
            if (errno == EINTR) continue;
            writeFailed_ = true;
            return failWith(errno, Cause::tr("Cannot write %1: %2"));
        }
        if (n == 0) {
            writeFailed_ = true;
            return failWith(ENOSPC, Cause::tr("Cannot write %1: %2"));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        if (offset >= 0)
            offset += n;
        else
            flushed_ += n;
    }
    return S_OK;
}

HRESULT FileWriterFilter::flush() {
    if (buffer_.empty()) return S_OK;
    const HRESULT hr = writeAll(buffer_.data(), buffer_.size(), -1);
    buffer_.clear();
    return hr;
}

HRESULT FileWriterFilter::moveBytes(std::int64_t from, std::int64_t to, std::int64_t size) {
    if (from == to || size <= 0) return S_OK;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(size, kBufferSize)));
    // Like memmove: from the far end first when moving later, so nothing is overwritten unread.
    const bool backwards = to > from;
    std::int64_t done = 0;
    while (done < size) {
        const std::int64_t n = std::min<std::int64_t>(size - done, static_cast<std::int64_t>(chunk.size()));
        const std::int64_t at = backwards ? size - done - n : done;
        std::int64_t got = 0;
        while (got < n) {
            const ssize_t r = ::pread(fd_, chunk.data() + got, static_cast<std::size_t>(n - got), from + at + got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                writeFailed_ = true;
                return failWith(r < 0 ? errno : EIO, Cause::tr("Cannot write %1: %2"));
            }
            got += r;
        }
        if (HRESULT hr = writeAll(chunk.data(), static_cast<std::size_t>(n), to + at); FAILED(hr)) return hr;
        done += n;
    }
    return S_OK;
}

HRESULT FileWriterFilter::receive(Pin*, const MediaSample& sample) {
    if (fd_ < 0) return VFW_E_NOT_CONNECTED;
    switch (sample.kind) {
        case MediaSample::Kind::Ahead:
            if (!sparse_) return S_FALSE;
            // Past everything appended so far, and never where the appends will go before
            // passing it: nothing buffered needs to go first.
            placedEnd_ = std::max(placedEnd_, sample.offset + static_cast<std::int64_t>(sample.size));
            return writeAll(sample.data, sample.size, sample.offset);
        case MediaSample::Kind::Moved:
            if (HRESULT hr = flush(); FAILED(hr)) return hr;
            placedEnd_ = std::max(placedEnd_, sample.to + static_cast<std::int64_t>(sample.size));
            return moveBytes(sample.offset, sample.to, static_cast<std::int64_t>(sample.size));
        case MediaSample::Kind::Passed:
            if (HRESULT hr = flush(); FAILED(hr)) return hr;
            end_ += static_cast<std::int64_t>(sample.size);
            flushed_ += static_cast<std::int64_t>(sample.size);
            return S_OK;
        case MediaSample::Kind::Bytes:
            break;
    }
    if (sample.offset >= 0 && sample.size == 0) {
        // The file ends here: what lies beyond was never made whole.
        if (HRESULT hr = flush(); FAILED(hr)) return hr;
        if (::ftruncate(fd_, sample.offset) != 0) return failWith(errno, Cause::tr("Cannot write %1: %2"));
        end_ = flushed_ = sample.offset;
        return S_OK;
    }
    if (sample.offset >= 0) {
        if (HRESULT hr = flush(); FAILED(hr)) return hr;
        return writeAll(sample.data, sample.size, sample.offset);
    }
    end_ += static_cast<std::int64_t>(sample.size);
    // The first block (the header) goes out at once: a render killed early leaves a WAV.
    if (flushed_ == 0 && buffer_.empty()) {
        const HRESULT hr = writeAll(sample.data, sample.size, -1);
        headerWritten_ = SUCCEEDED(hr);
        return hr;
    }
    if (buffer_.size() + sample.size > kBufferSize || sample.size >= kDirectWrite) {
        if (HRESULT hr = flush(); FAILED(hr)) return hr;
    }
    // Large blocks go straight to the file; small ones gather into large writes.
    if (sample.size >= kDirectWrite) return writeAll(sample.data, sample.size, -1);
    buffer_.insert(buffer_.end(), sample.data, sample.data + sample.size);
    return S_OK;
}

HRESULT FileWriterFilter::closeFile() {
    if (fd_ < 0) return S_OK;
    HRESULT hr = flush();
    // Removed (or its folder removed) while written: everything went into a file nobody can
    // reach any more, which must not pass for done.
    struct stat st {};
    if (SUCCEEDED(hr) && ::fstat(fd_, &st) == 0 && st.st_nlink == 0) {
        detail_ =
            Cause::tr("%1 was deleted while it was being written.").arg(pathToQString(part_));
        hr = E_FILE_NOT_FOUND;
    }
    // Audio placed ahead and then moved back may have left bytes past the end.
    if (SUCCEEDED(hr) && (mode_ == AM_FILE_APPEND || placedEnd_ > end_) && ::ftruncate(fd_, end_) != 0)
        hr = failWith(errno, Cause::tr("Cannot write %1: %2"));
    if (FAILED(Fault::check("FileWriter::close")) && SUCCEEDED(hr)) {
        detail_ =
            Cause::tr("Cannot write %1: %2").arg(fromU16(fileName_), errorText(E_WRITE_FAULT));
        hr = E_WRITE_FAULT;
    }
    // On the disk before it replaces the old file; a late write error shows here.
    if (SUCCEEDED(hr) && !abandoned_ && !writeFailed_ && ::fdatasync(fd_) != 0)
        hr = failWith(errno, Cause::tr("Cannot write %1: %2"));
    if (const HRESULT r = finishPart(FAILED(hr) || abandoned_ || writeFailed_); SUCCEEDED(hr))
        hr = r;
    // Closed after the rename: the lock covers the part file until it is the output.
    if (::close(fd_) != 0 && SUCCEEDED(hr)) hr = failWith(errno, Cause::tr("Cannot write %1: %2"));
    fd_ = -1;
    return hr;
}

HRESULT FileWriterFilter::finishPart(bool failed) {
    // A failed render keeps an existing output as it was; with none to keep, what was
    // written takes its place, as a stopped render's does.
    struct stat old {};
    // Nor does a file whose header never reached the disk (a disk full from the start): no
    // empty output is left behind.
    if (failed && (::stat(target_.c_str(), &old) == 0 || !headerWritten_)) {
        ::unlink(part_.c_str());
        keptOld_ = true;
        return S_OK;
    }
    if (::rename(part_.c_str(), target_.c_str()) != 0 && !failed) {
        const int err = errno;
        // The audio is whole in the part file; say where, as it stays there.
        detail_ = Cause::tr("Cannot replace %1 with %2: %3. The joined audio is in %2.")
                      .arg(fromU16(fileName_), pathToQString(part_),
                           QString::fromLocal8Bit(std::strerror(err)));
        keptOld_ = true;
        return fromErrno(err);
    }
    return S_OK;
}

HRESULT FileWriterFilter::endOfStream(Pin*) {
    return closeFile();
}

HRESULT FileWriterFilter::stop() {
    return closeFile();
}

}  // namespace corvane::media
