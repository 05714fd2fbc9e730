// Portable row kernels: the arithmetic of the conversions, written plainly.
#include "pixel/pixel_rows.h"

namespace vd {
namespace {

inline std::uint8_t LumaOf(const std::uint8_t* bgr) {
    return static_cast<std::uint8_t>(((25 * bgr[0] + 129 * bgr[1] + 66 * bgr[2]) >> 8) + 16);
}

inline std::uint8_t Clamp255(int value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

}  // namespace

void Rgb32ToYRow_C(const std::uint8_t* rgb, std::uint8_t* y, int width) {
    for (int x = 0; x < width; ++x) y[x] = LumaOf(rgb + 4 * x);
}

void Rgb32ToYuvRowPair_C(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                         std::uint8_t* u, std::uint8_t* v, int width) {
    for (int x = 0; x + 1 < width; x += 2) {
        const std::uint8_t* a = rgb0 + 4 * x;
        const std::uint8_t* b = rgb1 + 4 * x;
        y0[x] = LumaOf(a);
        y0[x + 1] = LumaOf(a + 4);
        y1[x] = LumaOf(b);
        y1[x + 1] = LumaOf(b + 4);
        const int sumB = a[0] + a[4] + b[0] + b[4];
        const int sumG = a[1] + a[5] + b[1] + b[5];
        const int sumR = a[2] + a[6] + b[2] + b[6];
        // The shifted values lie in -112..111, so the low byte of the sum
        // with 128 is the sample.
        u[x / 2] = static_cast<std::uint8_t>(((112 * sumB - 74 * sumG - 38 * sumR) >> 10) + 128);
        v[x / 2] = static_cast<std::uint8_t>(((-18 * sumB - 94 * sumG + 112 * sumR) >> 10) + 128);
    }
}

void Yuv420ToRgb32Pixel_C(std::uint8_t y, std::uint8_t u, std::uint8_t v, std::uint8_t* rgb) {
    const int c = 74 * (y - 16);
    const int du = u - 128;
    const int dv = v - 128;
    rgb[0] = Clamp255((c + 129 * du) >> 6);
    rgb[1] = Clamp255((c - (25 * du + 52 * dv)) >> 6);
    rgb[2] = Clamp255((c + 102 * dv) >> 6);
    rgb[3] = 0;
}

void Yuv420ToRgb32RowPair_C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                            const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width) {
    for (int x = 0; x + 1 < width; x += 2) {
        const std::uint8_t cu = u[x / 2];
        const std::uint8_t cv = v[x / 2];
        Yuv420ToRgb32Pixel_C(y0[x], cu, cv, rgb0 + 4 * x);
        Yuv420ToRgb32Pixel_C(y0[x + 1], cu, cv, rgb0 + 4 * x + 4);
        Yuv420ToRgb32Pixel_C(y1[x], cu, cv, rgb1 + 4 * x);
        Yuv420ToRgb32Pixel_C(y1[x + 1], cu, cv, rgb1 + 4 * x + 4);
    }
}

}  // namespace vd
