#include "pixel/pixel_bench_bodies.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

namespace vdtest {

void Frame::Free::operator()(std::uint8_t* p) const {
#ifdef _WIN32
    _aligned_free(p);
#else
    std::free(p);
#endif
}

Frame::Buffer Frame::Allocate(std::size_t bytes) {
    const std::size_t rounded = (bytes + 63) / 64 * 64;
#ifdef _WIN32
    void* p = _aligned_malloc(rounded, 64);
#else
    void* p = std::aligned_alloc(64, rounded);
#endif
    if (!p) throw std::bad_alloc();
    return Buffer(static_cast<std::uint8_t*>(p));
}

Frame::Frame(int width, int height)
    : width_(width),
      height_(height),
      rgb_(Allocate(RgbBytes())),
      rgbCopy_(Allocate(RgbBytes())),
      y_(Allocate(static_cast<std::size_t>(width) * height)),
      u_(Allocate(static_cast<std::size_t>(width / 2) * (height / 2))),
      v_(Allocate(static_cast<std::size_t>(width / 2) * (height / 2))) {
    std::mt19937 rng(static_cast<unsigned>(width * 31 + height));
    auto fill = [&](std::uint8_t* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(rng());
    };
    fill(rgb(), RgbBytes());
    std::memset(rgbCopy(), 0, RgbBytes());
    fill(y(), static_cast<std::size_t>(width) * height);
    fill(u(), static_cast<std::size_t>(width / 2) * (height / 2));
    fill(v(), static_cast<std::size_t>(width / 2) * (height / 2));
}

void RgbToYuv(const vd::PixelKernels& kernels, Frame& f) {
    ConvertRgb32ToYuv420With(kernels, f.rgb(), 4 * f.width(), f.y(), f.u(), f.v(), f.width(), f.width() / 2, f.width(),
                             f.height(), 0);
}

void YuvToRgb(const vd::PixelKernels& kernels, Frame& f) {
    ConvertYuv420ToRgb32With(kernels, f.rgb(), 4 * f.width(), f.y(), f.u(), f.v(), f.width(), f.width() / 2, f.width(),
                             f.height(), 0);
}

void CopyRgb(Frame& f) { std::memcpy(f.rgbCopy(), f.rgb(), f.RgbBytes()); }

}  // namespace vdtest
