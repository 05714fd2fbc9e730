// Files through the Win32 API, with 64-bit offsets (OpenDML files pass 4 GiB).
#ifndef DEMOPLAY_DLL_WIN32_FILE_H
#define DEMOPLAY_DLL_WIN32_FILE_H

#include <windows.h>

#include <string>

#include "core/byte_io.h"

namespace demoplay {

class Win32FileSource : public ByteSource {
public:
    ~Win32FileSource() override;
    bool Open(const char* path);
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void* out, size_t length) override;

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint64_t size_ = 0;
};

class Win32FileSink : public ByteSink {
public:
    ~Win32FileSink() override;
    bool Create(const std::string& path);
    void Close();
    bool Append(const void* data, size_t length) override;
    bool Patch(uint64_t offset, const void* data, size_t length) override;
    uint64_t Position() const override { return position_; }

private:
    bool WriteAt(uint64_t offset, const void* data, size_t length);
    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint64_t position_ = 0;
};

}  // namespace demoplay

#endif  // DEMOPLAY_DLL_WIN32_FILE_H
