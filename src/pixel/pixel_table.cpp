// The table-driven conversion of planar 4:2:0 into RGB24: the five products of
// each block are looked up instead of multiplied.
#include "pixel/pixel_convert.h"

#include <cstddef>

namespace vd {
namespace {

// Fills 256 values of `section`, i = 0..255: (i - offset) * coefficient, by
// adding the coefficient to a running value.
void FillSection(std::int32_t* section, int offset, std::int32_t coefficient) {
    std::int32_t value = -offset * coefficient;
    for (int i = 0; i < 256; ++i) {
        section[i] = value;
        value += coefficient;
    }
}

inline std::uint8_t ClampShifted(std::int32_t value) {
    value >>= 18;
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

}  // namespace

void BuildYuvTable(std::int32_t* table) {
    FillSection(table + kYuvTableY, 16, 305236);
    FillSection(table + kYuvTableUB, 128, 528805);
    FillSection(table + kYuvTableUG, 128, 102698);
    FillSection(table + kYuvTableVG, 128, 213115);
    FillSection(table + kYuvTableVR, 128, 418389);
}

void ConvertYuv420WithTable(std::uint8_t* destination, int width, const std::int32_t* table, const std::uint8_t* yPlane,
                            const std::uint8_t* uPlane, const std::uint8_t* vPlane, int height, int yStride,
                            int chromaStride) {
    if (width <= 0 || height <= 0) return;
    const std::int32_t* tY = table + kYuvTableY;
    const std::int32_t* tUB = table + kYuvTableUB;
    const std::int32_t* tUG = table + kYuvTableUG;
    const std::int32_t* tVG = table + kYuvTableVG;
    const std::int32_t* tVR = table + kYuvTableVR;
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(3) * width;
    for (int r = 0; r + 1 < height; r += 2) {
        const std::uint8_t* ya = yPlane + static_cast<std::ptrdiff_t>(r) * yStride;
        const std::uint8_t* yb = ya + yStride;
        const std::uint8_t* u = uPlane + static_cast<std::ptrdiff_t>(r / 2) * chromaStride;
        const std::uint8_t* v = vPlane + static_cast<std::ptrdiff_t>(r / 2) * chromaStride;
        std::uint8_t* da = destination + static_cast<std::ptrdiff_t>(r) * rowBytes;
        std::uint8_t* db = da + rowBytes;
        for (int x = 0; x + 1 < width; x += 2) {
            const std::int32_t b = tUB[u[x / 2]];
            const std::int32_t g = tUG[u[x / 2]] + tVG[v[x / 2]];
            const std::int32_t red = tVR[v[x / 2]];
            const std::uint8_t* ys[4] = {ya + x, ya + x + 1, yb + x, yb + x + 1};
            std::uint8_t* ds[4] = {da + 3 * x, da + 3 * x + 3, db + 3 * x, db + 3 * x + 3};
            for (int i = 0; i < 4; ++i) {
                const std::int32_t y = tY[*ys[i]];
                ds[i][0] = ClampShifted(y + b);
                ds[i][1] = ClampShifted(y - g);
                ds[i][2] = ClampShifted(y + red);
            }
        }
    }
}

}  // namespace vd
