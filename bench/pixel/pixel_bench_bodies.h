// The work the pixel benchmarks time, shared by the Google Benchmark program
// (host) and the plain timing program (32-bit Windows build).
#ifndef VD_BENCH_PIXEL_BODIES_H
#define VD_BENCH_PIXEL_BODIES_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixel/pixel_rows.h"

namespace vdtest {

struct FrameSize {
    const char* name;  // used in the ratio names
    int width;
    int height;
};

inline const std::vector<FrameSize>& FrameSizes() {
    static const std::vector<FrameSize> sizes = {{"1080p", 1920, 1080}, {"cif", 352, 288}};
    return sizes;
}

// One picture in both representations, tightly packed, 64-byte aligned, with
// random content. The conversions in either direction and the copy all work
// on these same buffers.
class Frame {
public:
    Frame(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t RgbBytes() const { return static_cast<std::size_t>(4) * width_ * height_; }

    std::uint8_t* rgb() { return rgb_.get(); }
    std::uint8_t* rgbCopy() { return rgbCopy_.get(); }
    std::uint8_t* y() { return y_.get(); }
    std::uint8_t* u() { return u_.get(); }
    std::uint8_t* v() { return v_.get(); }

private:
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    using Buffer = std::unique_ptr<std::uint8_t, Free>;
    static Buffer Allocate(std::size_t bytes);

    int width_, height_;
    Buffer rgb_, rgbCopy_, y_, u_, v_;
};

// Our conversions with a given kernel set (flip 0: both peers then walk
// memory the same way).
void RgbToYuv(const vd::PixelKernels& kernels, Frame& f);
void YuvToRgb(const vd::PixelKernels& kernels, Frame& f);
// The bandwidth reference: a copy of the RGB32 picture.
void CopyRgb(Frame& f);

}  // namespace vdtest

#endif  // VD_BENCH_PIXEL_BODIES_H
