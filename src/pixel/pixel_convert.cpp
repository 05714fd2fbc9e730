// Plane functions of the block conversions: they walk the picture in row
// pairs with the kernels of a set and convert the pixels outside whole 2 x 2
// blocks (odd last column, odd last row) separately, so that no kernel ever
// touches memory beyond the picture.
#include "pixel/pixel_convert.h"

#include <cstddef>

#include "pixel/pixel_rows.h"

namespace vd {

namespace {

std::uint8_t Clamp18(std::int32_t value) {
    value >>= 18;
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

}  // namespace

void ConvertRgb32ToYuv420With(const PixelKernels& kernels, const std::uint8_t* source, int sourceStride,
                              std::uint8_t* yPlane, std::uint8_t* uPlane, std::uint8_t* vPlane, int yStride,
                              int chromaStride, int width, int height, int flip) {
    if (width <= 0 || height <= 0) return;
    std::ptrdiff_t srcStep = sourceStride;
    if (flip) {
        source += static_cast<std::ptrdiff_t>(height - 1) * srcStep;
        srcStep = -srcStep;
    }
    const int evenWidth = width & ~1;
    const int last = width - 1;
    for (int r = 0; r + 1 < height; r += 2) {
        const std::uint8_t* s0 = source + static_cast<std::ptrdiff_t>(r) * srcStep;
        const std::uint8_t* s1 = s0 + srcStep;
        std::uint8_t* y0 = yPlane + static_cast<std::ptrdiff_t>(r) * yStride;
        std::uint8_t* y1 = y0 + yStride;
        const std::ptrdiff_t c = static_cast<std::ptrdiff_t>(r / 2) * chromaStride;
        if (evenWidth > 0) {
            kernels.rgb32ToYuvRowPair(s0, s1, y0, y1, uPlane + c, vPlane + c, evenWidth);
        }
        if (width & 1) {
            Rgb32ToYRow_C(s0 + 4 * last, y0 + last, 1);
            Rgb32ToYRow_C(s1 + 4 * last, y1 + last, 1);
        }
    }
    if (height & 1) {
        const std::ptrdiff_t r = height - 1;
        kernels.rgb32ToYRow(source + r * srcStep, yPlane + r * yStride, width);
    }
}

void ConvertYuv420ToRgb32With(const PixelKernels& kernels, std::uint8_t* destination, int destinationStride,
                              const std::uint8_t* yPlane, const std::uint8_t* uPlane, const std::uint8_t* vPlane,
                              int yStride, int chromaStride, int width, int height, int flip) {
    if (width <= 0 || height <= 0) return;
    std::ptrdiff_t dstStep = destinationStride;
    if (flip) {
        destination += static_cast<std::ptrdiff_t>(height - 1) * dstStep;
        dstStep = -dstStep;
    }
    const int evenWidth = width & ~1;
    const int last = width - 1;
    const int chromaRows = height / 2;
    const int chromaColumns = width / 2;

    // Converts rows r0 and r1 (possibly the same row) with chroma row cr.
    auto convertRows = [&](int r0, int r1, int cr) {
        const std::uint8_t* ya = yPlane + static_cast<std::ptrdiff_t>(r0) * yStride;
        const std::uint8_t* yb = yPlane + static_cast<std::ptrdiff_t>(r1) * yStride;
        std::uint8_t* da = destination + static_cast<std::ptrdiff_t>(r0) * dstStep;
        std::uint8_t* db = destination + static_cast<std::ptrdiff_t>(r1) * dstStep;
        const std::ptrdiff_t c = static_cast<std::ptrdiff_t>(cr) * chromaStride;
        if (evenWidth > 0) {
            kernels.yuv420ToRgb32RowPair(ya, yb, uPlane + c, vPlane + c, da, db, evenWidth);
        }
        if (width & 1) {
            // The odd column shares the chroma of the block beside it, or has
            // neutral chroma in a picture one pixel wide.
            std::uint8_t cu = 128, cv = 128;
            if (chromaColumns > 0) {
                cu = uPlane[c + chromaColumns - 1];
                cv = vPlane[c + chromaColumns - 1];
            }
            Yuv420ToRgb32Pixel_C(ya[last], cu, cv, da + 4 * last);
            Yuv420ToRgb32Pixel_C(yb[last], cu, cv, db + 4 * last);
        }
    };

    for (int r = 0; r + 1 < height; r += 2) convertRows(r, r + 1, r / 2);
    if (height & 1) {
        const int r = height - 1;
        if (chromaRows > 0) {
            // The odd last row shares the chroma row of the row pair above it.
            convertRows(r, r, chromaRows - 1);
        } else {
            // One row high: there is no chroma at all.
            const std::uint8_t* y = yPlane;
            std::uint8_t* d = destination;
            for (int x = 0; x < width; ++x) Yuv420ToRgb32Pixel_C(y[x], 128, 128, d + 4 * x);
        }
    }
}

void ConvertRgb32ToYuv420(const std::uint8_t* source, int sourceStride, std::uint8_t* yPlane, std::uint8_t* uPlane,
                          std::uint8_t* vPlane, int yStride, int chromaStride, int width, int height, int flip) {
    ConvertRgb32ToYuv420With(ActivePixelKernels(), source, sourceStride, yPlane, uPlane, vPlane, yStride, chromaStride,
                             width, height, flip);
}

void ConvertYuv420ToRgb32(std::uint8_t* destination, int destinationStride, const std::uint8_t* yPlane,
                          const std::uint8_t* uPlane, const std::uint8_t* vPlane, int yStride, int chromaStride,
                          int width, int height, int flip) {
    ConvertYuv420ToRgb32With(ActivePixelKernels(), destination, destinationStride, yPlane, uPlane, vPlane, yStride,
                             chromaStride, width, height, flip);
}

void ConvertPacked422WithTable(std::uint8_t* destination, int width, int height, const std::int32_t* table,
                               const std::uint8_t* source, bool uyvy) {
    const int yFirst = uyvy ? 1 : 0;
    const int uAt = uyvy ? 0 : 1;
    const int vAt = uyvy ? 2 : 3;
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* row = source + static_cast<std::ptrdiff_t>(r) * 2 * width;
        std::uint8_t* out = destination + static_cast<std::ptrdiff_t>(r) * 3 * width;
        for (int x = 0; x + 1 < width; x += 2) {
            const std::uint8_t* pair = row + 2 * x;
            const std::int32_t b = table[kYuvTableUB + pair[uAt]];
            const std::int32_t g = table[kYuvTableUG + pair[uAt]] + table[kYuvTableVG + pair[vAt]];
            const std::int32_t red = table[kYuvTableVR + pair[vAt]];
            for (int i = 0; i < 2; ++i) {
                const std::int32_t y = table[kYuvTableY + pair[yFirst + 2 * i]];
                std::uint8_t* pixel = out + 3 * (x + i);
                pixel[0] = Clamp18(y + b);
                pixel[1] = Clamp18(y - g);
                pixel[2] = Clamp18(y + red);
            }
        }
    }
}

}  // namespace vd
