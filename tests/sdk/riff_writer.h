// Little-endian byte writing with RIFF lists whose sizes are filled in when
// they close; shared by the sample files of the tests and the fuzzers' file
// builder.
#ifndef VD_TESTS_DEMOPLAY_RIFF_WRITER_H
#define VD_TESTS_DEMOPLAY_RIFF_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace demoplay_test {

inline uint32_t Fcc(const char* s) {
    return uint32_t(uint8_t(s[0])) | (uint32_t(uint8_t(s[1])) << 8) | (uint32_t(uint8_t(s[2])) << 16) |
           (uint32_t(uint8_t(s[3])) << 24);
}

class Writer {
public:
    std::vector<uint8_t> b;
    size_t pos() const { return b.size(); }
    void u8(uint8_t v) { b.push_back(v); }
    void u16(uint16_t v) { put(v, 2); }
    void u32(uint32_t v) { put(v, 4); }
    void u64(uint64_t v) { put(v, 8); }
    void fcc(const char* s) { u32(Fcc(s)); }
    void bytes(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
    void zeros(size_t n) { b.insert(b.end(), n, 0); }
    void fill(size_t n, uint8_t v) { b.insert(b.end(), n, v); }
    void set32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    }
    void set64(size_t at, uint64_t v) {
        set32(at, uint32_t(v));
        set32(at + 4, uint32_t(v >> 32));
    }
    // Starts a RIFF or LIST; returns where its size goes.
    size_t open(const char* id, const char* type) {
        fcc(id);
        size_t at = pos();
        u32(0);
        fcc(type);
        return at;
    }
    // Fills in the size of what `open` started and pads it to an even length.
    void close(size_t at) {
        set32(at, uint32_t(pos() - at - 4));
        if (pos() & 1) u8(0);
    }

private:
    // The low n bytes of v, least significant first, in one step (files of
    // megabytes are written field by field).
    void put(uint64_t v, int n) {
        const size_t at = b.size();
        b.resize(at + size_t(n));
        for (int i = 0; i < n; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
};

}  // namespace demoplay_test

#endif  // VD_TESTS_DEMOPLAY_RIFF_WRITER_H
