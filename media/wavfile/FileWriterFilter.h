// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "media/graph/Filter.h"

namespace corvane::media {

// "Writer": writes the byte stream it receives to a file, in large blocks. Positioned
// writes (header updates) first flush what is buffered, so the file never claims data
// it does not hold. It writes into the locked part file beside the output (OutputFile) and
// renames it over the output when the render ends; the first block reaches the disk at once.
class FileWriterFilter : public Filter, public FileSinkFilter2 {
  public:
    static HRESULT Create(std::unique_ptr<FileWriterFilter>& out);
    FileWriterFilter();
    ~FileWriterFilter() override;

    FileSinkFilter* queryFileSink() override { return this; }
    FileSinkFilter2* queryFileSink2() override { return this; }

    HRESULT SetFileName(const std::u16string& name, const MediaType* type) override;
    HRESULT GetCurFile(std::u16string& name) const override;
    HRESULT SetMode(int mode) override;

    bool acceptsType(const Pin* input, const MediaType& type) const override;
    HRESULT start() override;
    HRESULT receive(Pin* input, const MediaSample& sample) override;
    HRESULT endOfStream(Pin* input) override;
    HRESULT stop() override;
    std::int64_t committedBytes() const override { return flushed_; }

    // The cause of the last failure, naming the file.
    const QString& detail() const { return detail_; }
    // The render failed: an existing output is kept as it was and the part file removed.
    void abandon() { abandoned_ = true; }
    // The render ended with the old output kept (after abandon() or a failure of its own).
    bool keptOldFile() const { return keptOld_; }

  private:
    HRESULT flush();
    HRESULT writeAll(const std::uint8_t* data, std::size_t size, std::int64_t offset);
    HRESULT moveBytes(std::int64_t from, std::int64_t to, std::int64_t size);
    HRESULT openPart();
    HRESULT closeFile();
    HRESULT finishPart(bool failed);
    HRESULT failWith(int err, const QString& text);

    std::u16string fileName_;
    int mode_ = AM_FILE_APPEND;
    int fd_ = -1;
    std::string target_;  // the file replaced at the end
    std::string part_;    // the file written meanwhile
    bool abandoned_ = false;
    bool writeFailed_ = false;
    bool keptOld_ = false;
    bool headerWritten_ = false;  // the first block reached the file whole
    std::vector<std::uint8_t> buffer_;
    std::int64_t end_ = 0;      // bytes appended so far, buffered ones included
    std::int64_t flushed_ = 0;  // bytes appended and written to the file
    std::int64_t placedEnd_ = 0;  // the end of the furthest audio placed ahead
    bool sparse_ = true;          // gaps in the file cost nothing until written
    QString detail_;
};

}  // namespace corvane::media
