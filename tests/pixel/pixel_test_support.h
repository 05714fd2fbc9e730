// Helpers of the pixel-conversion tests: guarded planes, random pictures and
// per-pixel oracles written straight from the conversion equations.
#ifndef VD_TESTS_PIXEL_TEST_SUPPORT_H
#define VD_TESTS_PIXEL_TEST_SUPPORT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define VD_PIXEL_TEST_ASAN 1
#endif
#endif

namespace vdtest {

// A plane of exactly `size` bytes between two guard zones. Under
// AddressSanitizer the guards are poisoned, so any access to them stops the
// test at the faulting instruction; elsewhere GuardsIntact catches writes.
class GuardedPlane {
public:
    static constexpr std::size_t kGuard = 64;
    static constexpr std::uint8_t kGuardByte = 0xA5;

    explicit GuardedPlane(std::size_t size) : size_(size), storage_(2 * kGuard + size, kGuardByte) { Poison(true); }
    ~GuardedPlane() { Poison(false); }
    GuardedPlane(const GuardedPlane&) = delete;
    GuardedPlane& operator=(const GuardedPlane&) = delete;

    std::uint8_t* data() { return storage_.data() + kGuard; }
    const std::uint8_t* data() const { return storage_.data() + kGuard; }
    std::size_t size() const { return size_; }
    std::vector<std::uint8_t> Contents() const { return {data(), data() + size_}; }
    void Assign(const std::vector<std::uint8_t>& bytes) { std::copy(bytes.begin(), bytes.end(), data()); }

    bool GuardsIntact() {
        Poison(false);
        bool intact = true;
        for (std::size_t i = 0; i < kGuard; ++i) {
            intact = intact && storage_[i] == kGuardByte && storage_[kGuard + size_ + i] == kGuardByte;
        }
        Poison(true);
        return intact;
    }

private:
    void Poison(bool on) {
#ifdef VD_PIXEL_TEST_ASAN
        std::uint8_t* base = storage_.data();
        if (on) {
            ASAN_POISON_MEMORY_REGION(base, kGuard);
            ASAN_POISON_MEMORY_REGION(base + kGuard + size_, kGuard);
        } else {
            ASAN_UNPOISON_MEMORY_REGION(base, storage_.size());
        }
#else
        (void)on;
#endif
    }

    std::size_t size_;
    std::vector<std::uint8_t> storage_;
};

// Bytes of a plane of `rows` rows of `rowBytes` bytes, `stride` apart; the
// last row ends the plane.
inline std::size_t PlaneBytes(int rows, int rowBytes, int stride) {
    if (rows <= 0 || rowBytes <= 0) return 0;
    return static_cast<std::size_t>(rows - 1) * stride + rowBytes;
}

inline std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(rng));
    return bytes;
}

// A picture's geometry: RGB32 side and the planar 4:2:0 side.
struct Layout {
    int width;
    int height;
    int rgbStride;
    int yStride;
    int chromaStride;
    int flip;

    int ChromaWidth() const { return width / 2; }
    int ChromaHeight() const { return height / 2; }
    std::size_t RgbBytes() const { return PlaneBytes(height, 4 * width, rgbStride); }
    std::size_t YBytes() const { return PlaneBytes(height, width, yStride); }
    std::size_t ChromaBytes() const { return PlaneBytes(ChromaHeight(), ChromaWidth(), chromaStride); }
    // Memory row of image row r on the RGB side.
    int RgbRow(int r) const { return flip ? height - 1 - r : r; }
    std::string Describe() const {
        return std::to_string(width) + "x" + std::to_string(height) + " rgbStride " + std::to_string(rgbStride) +
               " yStride " + std::to_string(yStride) + " chromaStride " + std::to_string(chromaStride) + " flip " +
               std::to_string(flip);
    }
};

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// RGB32 to 4:2:0 in place over copies of the destination planes: Y for every
// pixel, chroma for every whole 2 x 2 block, nothing else changed.
inline void ExpectedYuv(const Layout& l, const std::vector<std::uint8_t>& rgb, std::vector<std::uint8_t>& y,
                        std::vector<std::uint8_t>& u, std::vector<std::uint8_t>& v) {
    auto px = [&](int x, int r, int c) {
        return static_cast<int>(rgb[static_cast<std::size_t>(l.RgbRow(r)) * l.rgbStride + 4 * x + c]);
    };
    for (int r = 0; r < l.height; ++r) {
        for (int x = 0; x < l.width; ++x) {
            y[static_cast<std::size_t>(r) * l.yStride + x] =
                static_cast<std::uint8_t>(((25 * px(x, r, 0) + 129 * px(x, r, 1) + 66 * px(x, r, 2)) >> 8) + 16);
        }
    }
    for (int br = 0; br < l.ChromaHeight(); ++br) {
        for (int bx = 0; bx < l.ChromaWidth(); ++bx) {
            int sum[3] = {0, 0, 0};
            for (int c = 0; c < 3; ++c) {
                sum[c] = px(2 * bx, 2 * br, c) + px(2 * bx + 1, 2 * br, c) + px(2 * bx, 2 * br + 1, c) +
                         px(2 * bx + 1, 2 * br + 1, c);
            }
            const std::size_t at = static_cast<std::size_t>(br) * l.chromaStride + bx;
            u[at] = static_cast<std::uint8_t>(((112 * sum[0] - 74 * sum[1] - 38 * sum[2]) >> 10) + 128);
            v[at] = static_cast<std::uint8_t>(((-18 * sum[0] - 94 * sum[1] + 112 * sum[2]) >> 10) + 128);
        }
    }
}

// 4:2:0 to RGB32 over a copy of the destination: every pixel written; pixels
// beyond the whole blocks take the nearest block's chroma, or 128 when there
// is none.
inline void ExpectedRgb(const Layout& l, const std::vector<std::uint8_t>& y, const std::vector<std::uint8_t>& u,
                        const std::vector<std::uint8_t>& v, std::vector<std::uint8_t>& rgb) {
    for (int r = 0; r < l.height; ++r) {
        for (int x = 0; x < l.width; ++x) {
            int cu = 128, cv = 128;
            if (l.ChromaWidth() > 0 && l.ChromaHeight() > 0) {
                const int bx = std::min(x / 2, l.ChromaWidth() - 1);
                const int br = std::min(r / 2, l.ChromaHeight() - 1);
                cu = u[static_cast<std::size_t>(br) * l.chromaStride + bx];
                cv = v[static_cast<std::size_t>(br) * l.chromaStride + bx];
            }
            const int c = 74 * (y[static_cast<std::size_t>(r) * l.yStride + x] - 16);
            std::uint8_t* out = &rgb[static_cast<std::size_t>(l.RgbRow(r)) * l.rgbStride + 4 * x];
            out[0] = static_cast<std::uint8_t>(Clamp255((c + 129 * (cu - 128)) >> 6));
            out[1] = static_cast<std::uint8_t>(Clamp255((c - (25 * (cu - 128) + 52 * (cv - 128))) >> 6));
            out[2] = static_cast<std::uint8_t>(Clamp255((c + 102 * (cv - 128)) >> 6));
            out[3] = 0;
        }
    }
}

// Index of the first differing byte, or -1.
inline long FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace vdtest

#endif  // VD_TESTS_PIXEL_TEST_SUPPORT_H
