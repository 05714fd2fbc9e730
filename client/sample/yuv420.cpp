#include "sample/yuv420.h"

#include <algorithm>

namespace vdsample {
namespace {

uint8_t Clamp(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// Fixed-point BT.601 with 8 fractional bits, rounded.
int LumaOf(int r, int g, int b) { return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16; }
int BlueDifferenceOf(int r, int g, int b) { return ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128; }
int RedDifferenceOf(int r, int g, int b) { return ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128; }

}  // namespace

void RgbToYuv(Rgb c, uint8_t* y, uint8_t* u, uint8_t* v) {
    *y = Clamp(LumaOf(c.r, c.g, c.b));
    *u = Clamp(BlueDifferenceOf(c.r, c.g, c.b));
    *v = Clamp(RedDifferenceOf(c.r, c.g, c.b));
}

std::vector<uint8_t> ToYuv420(const Image& image, bool yv12) {
    const int w = image.width, h = image.height;
    const size_t lumaBytes = size_t(w) * size_t(h);
    const size_t chromaBytes = size_t(w / 2) * size_t(h / 2);
    std::vector<uint8_t> out(lumaBytes + 2 * chromaBytes);
    uint8_t* luma = out.data();
    uint8_t* first = luma + lumaBytes;  // V for YV12, U for I420
    uint8_t* second = first + chromaBytes;
    uint8_t* uPlane = yv12 ? second : first;
    uint8_t* vPlane = yv12 ? first : second;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb c = image.At(x, y);
            luma[size_t(y) * w + x] = Clamp(LumaOf(c.r, c.g, c.b));
        }
    for (int y = 0; y + 1 < h; y += 2)
        for (int x = 0; x + 1 < w; x += 2) {
            int r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    Rgb c = image.At(x + dx, y + dy);
                    r += c.r;
                    g += c.g;
                    b += c.b;
                }
            r = (r + 2) / 4;
            g = (g + 2) / 4;
            b = (b + 2) / 4;
            const size_t at = size_t(y / 2) * size_t(w / 2) + size_t(x / 2);
            uPlane[at] = Clamp(BlueDifferenceOf(r, g, b));
            vPlane[at] = Clamp(RedDifferenceOf(r, g, b));
        }
    return out;
}

}  // namespace vdsample
