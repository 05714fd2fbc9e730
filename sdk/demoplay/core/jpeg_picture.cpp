#include "core/jpeg_picture.h"

#include <algorithm>
#include <climits>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace demoplay {
namespace {

// The decoder builds each Huffman table in arrays of 256 symbols without
// checking that the table's code counts add up to no more; a hostile picture
// would make it write past them. Every place that could be taken for a
// table definition (FF C4) is checked before the decoder sees the data.
bool HuffmanTablesFit(const uint8_t* data, size_t size) {
    for (size_t p = 0; p + 1 < size; ++p) {
        if (data[p] != 0xFF || data[p + 1] != 0xC4) continue;
        if (p + 4 > size) return true;  // the decoder reads zeros past the end
        size_t length = (size_t(data[p + 2]) << 8) | data[p + 3];
        size_t q = p + 4;
        size_t end = std::min(size, p + 2 + length);
        while (q < end) {
            size_t n = 0;
            for (size_t i = 0; i < 16 && q + 1 + i < size; ++i) n += data[q + 1 + i];
            if (n > 256) return false;
            q += 17 + n;
        }
    }
    return true;
}

// The standard Huffman tables (luminance and chrominance, DC and AC), which
// Motion-JPEG pictures from many cameras leave out and expect the decoder to
// assume.
const uint8_t kDefaultHuffmanTables[] = {
    0xFF, 0xC4, 0x01, 0xA2, 0x00, 0,    1,    5,    1,    1,    1,    1,    1,    1,    0,    0,    0,    0,    0,
    0,    0,    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   0x10, 0,    2,    1,    3,
    3,    2,    4,    3,    5,    5,    4,    4,    0,    0,    1,    0x7d, 0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05,
    0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42,
    0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74,
    0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7,
    0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8,
    0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7,
    0xf8, 0xf9, 0xfa, 0x01, 0,    3,    1,    1,    1,    1,    1,    1,    1,    1,    1,    0,    0,    0,    0,
    0,    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   0x11, 0,    2,    1,    2,    4,
    4,    3,    4,    7,    5,    4,    4,    0,    1,    2,    0x77, 0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21,
    0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1,
    0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19,
    0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74,
    0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95,
    0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7,
    0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
    0xf9, 0xfa,
};
static_assert(sizeof kDefaultHuffmanTables == 2 + 0x01A2, "table segment length");

// Where the standard tables must go: the start of the first scan of a
// picture that defines no tables before it; 0 when the picture has its own
// (or is not a JPEG at all, which the decoder then reports).
size_t MissingTablesAt(const uint8_t* data, size_t size) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 0;
    size_t p = 2;
    while (p + 4 <= size) {
        if (data[p] != 0xFF) return 0;
        uint8_t marker = data[p + 1];
        if (marker == 0xFF) {  // fill byte
            ++p;
            continue;
        }
        if (marker == 0xC4) return 0;
        if (marker == 0xDA) return p;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            p += 2;
            continue;
        }
        p += 2 + ((size_t(data[p + 2]) << 8) | data[p + 3]);
    }
    return 0;
}

}  // namespace

bool DecodeJpegPicture(const uint8_t* data, size_t size, int maxWidth, int maxHeight, std::vector<uint8_t>* out,
                       int* width, int* height) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return false;
    if (!HuffmanTablesFit(data, size)) return false;
    std::vector<uint8_t> completed;
    if (size_t at = MissingTablesAt(data, size)) {
        completed.reserve(size + sizeof kDefaultHuffmanTables);
        completed.assign(data, data + at);
        completed.insert(completed.end(), kDefaultHuffmanTables, kDefaultHuffmanTables + sizeof kDefaultHuffmanTables);
        completed.insert(completed.end(), data + at, data + size);
        data = completed.data();
        size = completed.size();
        if (size > size_t(INT_MAX)) return false;
    }
    int w = 0, h = 0, comp = 0;
    if (!stbi_info_from_memory(data, int(size), &w, &h, &comp)) return false;
    if (w <= 0 || h <= 0 || w > maxWidth || h > maxHeight) return false;
    int dw = 0, dh = 0;
    unsigned char* rgb = stbi_load_from_memory(data, int(size), &dw, &dh, &comp, 3);
    if (!rgb) return false;
    if (dw != w || dh != h) {
        stbi_image_free(rgb);
        return false;
    }
    out->resize(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y) {
        const unsigned char* src = rgb + size_t(y) * size_t(w) * 3;
        uint8_t* dst = out->data() + size_t(h - 1 - y) * size_t(w) * 4;
        for (int x = 0; x < w; ++x) {
            dst[4 * x + 0] = src[3 * x + 2];
            dst[4 * x + 1] = src[3 * x + 1];
            dst[4 * x + 2] = src[3 * x + 0];
            dst[4 * x + 3] = 0;
        }
    }
    stbi_image_free(rgb);
    *width = w;
    *height = h;
    return true;
}

size_t SecondFieldAt(const uint8_t* data, size_t size) {
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 0;
    size_t p = 2;
    while (p + 2 <= size) {
        if (data[p] != 0xFF) return 0;
        const uint8_t marker = data[p + 1];
        if (marker == 0xFF) {  // fill byte
            ++p;
            continue;
        }
        if (marker == 0xD9) {
            // The end of the first picture; the second starts at the next SOI.
            for (size_t q = p + 2; q + 3 <= size; ++q) {
                if (data[q] == 0xFF && data[q + 1] == 0xD8 && data[q + 2] == 0xFF) return q;
            }
            return 0;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            p += 2;
            continue;
        }
        if (p + 4 > size) return 0;
        p += 2 + ((size_t(data[p + 2]) << 8) | data[p + 3]);
        if (marker != 0xDA) continue;
        // Entropy-coded data: 0xFF is followed by 0 (a data byte), a restart
        // marker or fill, and otherwise starts the next marker.
        while (p + 1 < size) {
            if (data[p] == 0xFF && data[p + 1] != 0 && data[p + 1] != 0xFF &&
                !(data[p + 1] >= 0xD0 && data[p + 1] <= 0xD7))
                break;
            ++p;
        }
    }
    return 0;
}

namespace {

// Each line of a bottom-up picture twice.
void DoubleLines(const std::vector<uint8_t>& field, int w, int h, std::vector<uint8_t>* out) {
    const size_t stride = size_t(w) * 4;
    out->resize(stride * size_t(h) * 2);
    for (int y = 0; y < h; ++y) {
        std::memcpy(out->data() + size_t(2 * y) * stride, field.data() + size_t(y) * stride, stride);
        std::memcpy(out->data() + size_t(2 * y + 1) * stride, field.data() + size_t(y) * stride, stride);
    }
}

}  // namespace

bool DecodeMotionJpeg(const uint8_t* data, size_t size, int streamWidth, int streamHeight, std::vector<uint8_t>* out,
                      int* width, int* height) {
    const size_t second = SecondFieldAt(data, size);
    std::vector<uint8_t> top, bottom;
    int w = 0, h = 0, w2 = 0, h2 = 0;
    if (second != 0 && streamHeight >= 2 &&
        DecodeJpegPicture(data, second, streamWidth, streamHeight / 2, &top, &w, &h)) {
        *width = w;
        *height = 2 * h;
        if (!DecodeJpegPicture(data + second, size - second, streamWidth, streamHeight / 2, &bottom, &w2, &h2) ||
            w2 != w || h2 != h) {
            DoubleLines(top, w, h, out);  // the second field is unusable
            return true;
        }
        // Rows are stored bottom-up: visual row y of the woven picture is row
        // y / 2 of the top (even y) or bottom (odd y) field.
        const size_t stride = size_t(w) * 4;
        const int full = 2 * h;
        out->resize(stride * size_t(full));
        for (int y = 0; y < full; ++y) {
            const std::vector<uint8_t>& field = (y & 1) ? bottom : top;
            std::memcpy(out->data() + size_t(full - 1 - y) * stride, field.data() + size_t(h - 1 - y / 2) * stride,
                        stride);
        }
        return true;
    }
    if (!DecodeJpegPicture(data, size, streamWidth, streamHeight, out, &w, &h)) return false;
    *width = w;
    *height = h;
    if (h * 2 == streamHeight) {
        // One field of the two (the other lost): each of its lines twice.
        top.swap(*out);
        DoubleLines(top, w, h, out);
        *height = 2 * h;
    }
    return true;
}

}  // namespace demoplay
