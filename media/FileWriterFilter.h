#pragma once

#include <QString>
#include <vector>

#include "media/Filter.h"

namespace corvane::media {

// "Writer": writes the byte stream it receives to a file, in large blocks. Positioned
// writes (header updates) first flush what is buffered, so the file never claims data
// it does not hold.
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

private:
    HRESULT flush();
    HRESULT writeAll(const std::uint8_t* data, std::size_t size, std::int64_t offset);
    HRESULT closeFile();
    HRESULT failWith(int err, const char* what);

    std::u16string fileName_;
    int mode_ = AM_FILE_APPEND;
    int fd_ = -1;
    std::vector<std::uint8_t> buffer_;
    std::int64_t end_ = 0;      // bytes appended so far, buffered ones included
    std::int64_t flushed_ = 0;  // bytes appended and written to the file
    QString detail_;
};

}  // namespace corvane::media
