// The AVI writer's output as a file on disk (64-bit offsets).
#ifndef VD_SAMPLE_FILE_SINK_H
#define VD_SAMPLE_FILE_SINK_H

#include <cstdio>
#include <string>

#include "core/byte_io.h"

namespace vdsample {

class FileSink : public demoplay::ByteSink {
public:
    FileSink() = default;
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool Open(const std::string& path);
    // Flushes and closes; false when anything could not be written.
    bool Close();

    bool Append(const void* data, size_t length) override;
    bool Patch(uint64_t offset, const void* data, size_t length) override;
    uint64_t Position() const override { return position_; }

private:
    bool SeekTo(uint64_t offset);
    std::FILE* file_ = nullptr;
    uint64_t position_ = 0;
    bool failed_ = false;
};

}  // namespace vdsample

#endif  // VD_SAMPLE_FILE_SINK_H
