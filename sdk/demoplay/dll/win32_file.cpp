#include "dll/win32_file.h"

namespace demoplay {

Win32FileSource::~Win32FileSource() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool Win32FileSource::Open(const char* path) {
    file_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_, &size)) return false;
    size_ = uint64_t(size.QuadPart);
    return true;
}

// Positioned reads (the offset travels with the call), so the decoding
// thread and the client's thread may read at once.
bool Win32FileSource::Read(uint64_t offset, void* out, size_t length) {
    if (offset > size_ || length > size_ - offset) return false;
    uint8_t* p = static_cast<uint8_t*>(out);
    while (length > 0) {
        OVERLAPPED at = {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD want = DWORD(length > (1u << 30) ? (1u << 30) : length);
        DWORD got = 0;
        if (!ReadFile(file_, p, want, &got, &at) || got == 0) return false;
        p += got;
        offset += got;
        length -= got;
    }
    return true;
}

Win32FileSink::~Win32FileSink() { Close(); }

bool Win32FileSink::Create(const std::string& path) {
    // Others may read a recording while it is written.
    file_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    position_ = 0;
    return file_ != INVALID_HANDLE_VALUE;
}

void Win32FileSink::Close() {
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

bool Win32FileSink::WriteAt(uint64_t offset, const void* data, size_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        OVERLAPPED at = {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD want = DWORD(length > (1u << 30) ? (1u << 30) : length);
        DWORD put = 0;
        if (!WriteFile(file_, p, want, &put, &at) || put == 0) return false;
        p += put;
        offset += put;
        length -= put;
    }
    return true;
}

bool Win32FileSink::Append(const void* data, size_t length) {
    if (file_ == INVALID_HANDLE_VALUE || !WriteAt(position_, data, length)) return false;
    position_ += length;
    return true;
}

bool Win32FileSink::Patch(uint64_t offset, const void* data, size_t length) {
    return file_ != INVALID_HANDLE_VALUE && offset + length <= position_ && WriteAt(offset, data, length);
}

}  // namespace demoplay
