#include "sample/file_sink.h"

namespace vdsample {

FileSink::~FileSink() { Close(); }

bool FileSink::Open(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    position_ = 0;
    failed_ = file_ == nullptr;
    return file_ != nullptr;
}

bool FileSink::Close() {
    if (!file_) return !failed_;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

bool FileSink::SeekTo(uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file_, int64_t(offset), SEEK_SET) == 0;
#else
    return fseeko(file_, off_t(offset), SEEK_SET) == 0;
#endif
}

bool FileSink::Append(const void* data, size_t length) {
    if (!file_ || failed_) return false;
    if (length && std::fwrite(data, 1, length, file_) != length) failed_ = true;
    position_ += length;
    return !failed_;
}

bool FileSink::Patch(uint64_t offset, const void* data, size_t length) {
    if (!file_ || failed_ || offset > position_ || length > position_ - offset) return false;
    if (!SeekTo(offset) || std::fwrite(data, 1, length, file_) != length || !SeekTo(position_)) failed_ = true;
    return !failed_;
}

}  // namespace vdsample
