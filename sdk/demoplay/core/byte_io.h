// Little-endian field access and the random-access byte sources the AVI
// parser reads from (a file on Windows, a memory buffer in tests and fuzzing).
#ifndef DEMOPLAY_CORE_BYTE_IO_H
#define DEMOPLAY_CORE_BYTE_IO_H

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

namespace demoplay {

inline uint16_t ReadLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t ReadLe64(const uint8_t* p) { return uint64_t(ReadLe32(p)) | (uint64_t(ReadLe32(p + 4)) << 32); }

inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void PutLe64(uint8_t* p, uint64_t v) {
    PutLe32(p, uint32_t(v));
    PutLe32(p + 4, uint32_t(v >> 32));
}

constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
           (uint32_t(uint8_t(d)) << 24);
}

// Random-access input. Read fails (returns false) when any byte of the range
// lies beyond the end; the parser treats that as a truncated file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    virtual bool Read(uint64_t offset, void* out, size_t length) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void* out, size_t length) override {
        if (offset > size_ || length > size_ - offset) return false;
        if (length) std::memcpy(out, data_ + offset, length);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

// Keeps one block of another source, so that walking many small chunk
// headers costs one read of the underlying source per block, not per header.
class BufferedSource : public ByteSource {
public:
    explicit BufferedSource(ByteSource& inner, size_t blockSize = 64 * 1024) : inner_(inner), blockSize_(blockSize) {}
    uint64_t Size() const override { return inner_.Size(); }
    bool Read(uint64_t offset, void* out, size_t length) override {
        const uint64_t size = inner_.Size();
        if (offset > size || length > size - offset) return false;
        if (length > blockSize_) return inner_.Read(offset, out, length);
        if (offset < blockStart_ || offset + length > blockStart_ + block_.size()) {
            size_t n = size_t(std::min<uint64_t>(blockSize_, size - offset));
            block_.resize(n);
            if (!inner_.Read(offset, block_.data(), n)) {
                block_.clear();
                return false;
            }
            blockStart_ = offset;
        }
        if (length) std::memcpy(out, block_.data() + (offset - blockStart_), length);
        return true;
    }

private:
    ByteSource& inner_;
    size_t blockSize_;
    std::vector<uint8_t> block_;
    uint64_t blockStart_ = 0;
};

// Sequential output with patching of earlier bytes, for the AVI writer.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Append(const void* data, size_t length) = 0;
    virtual bool Patch(uint64_t offset, const void* data, size_t length) = 0;
    virtual uint64_t Position() const = 0;
};

class MemorySink : public ByteSink {
public:
    bool Append(const void* data, size_t length) override {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + length);
        return true;
    }
    bool Patch(uint64_t offset, const void* data, size_t length) override {
        if (offset > bytes.size() || length > bytes.size() - offset) return false;
        std::memcpy(bytes.data() + offset, data, length);
        return true;
    }
    uint64_t Position() const override { return bytes.size(); }
    std::vector<uint8_t> bytes;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_BYTE_IO_H
