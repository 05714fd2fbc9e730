#include "common/test_pictures.h"

#include <cstdlib>

#include "pixel/pixel_convert.h"

namespace vdtest {

namespace {

int Y(int r, int g, int b) { return ((66 * r + 129 * g + 25 * b) >> 8) + 16; }
int U(int r, int g, int b) { return ((-38 * r - 74 * g + 112 * b) >> 8) + 128; }
int V(int r, int g, int b) { return ((112 * r - 94 * g - 18 * b) >> 8) + 128; }
int R(std::uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
int G(std::uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
int B(std::uint32_t c) { return static_cast<int>(c & 0xFF); }

std::vector<std::uint8_t> Rgb32BottomUp(const RgbPicture& p) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(p.width) * p.height * 4);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const std::uint32_t c = p.At(x, y);
            std::uint8_t* px = &bytes[(static_cast<std::size_t>(p.height - 1 - y) * p.width + x) * 4];
            px[0] = static_cast<std::uint8_t>(B(c));
            px[1] = static_cast<std::uint8_t>(G(c));
            px[2] = static_cast<std::uint8_t>(R(c));
            px[3] = 0;
        }
    }
    return bytes;
}

}  // namespace

const char* KindName(int kind) {
    switch (kind) {
        case kRgb32:
            return "RGB32";
        case kYv12:
            return "YV12";
        case kUyvy:
            return "UYVY";
        case kI420:
            return "I420";
        case kYuy2:
            return "YUY2";
        default:
            return "other";
    }
}

RgbPicture ColourBars(int width, int height, const std::vector<std::uint32_t>& colours) {
    RgbPicture p{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            p.pixels[static_cast<std::size_t>(y) * width + x] = colours[x * colours.size() / width];
        }
    }
    return p;
}

RgbPicture Flat(int width, int height, std::uint32_t colour) { return ColourBars(width, height, {colour}); }

std::vector<std::uint8_t> Encode(const RgbPicture& p, int kind) {
    const std::vector<std::uint8_t> rgb = Rgb32BottomUp(p);
    if (kind == kRgb32) return rgb;
    const int w = p.width;
    const int h = p.height;
    if (kind == kYv12 || kind == kI420) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h + 2 * (static_cast<std::size_t>(w) * h / 4));
        std::uint8_t* y = bytes.data();
        std::uint8_t* second = y + static_cast<std::size_t>(w) * h;
        std::uint8_t* third = second + static_cast<std::size_t>(w) * h / 4;
        std::uint8_t* u = kind == kYv12 ? third : second;
        std::uint8_t* v = kind == kYv12 ? second : third;
        vd::ConvertRgb32ToYuv420(rgb.data(), 4 * w, y, u, v, w, w / 2, w, h, 1);
        return bytes;
    }
    // Packed 4:2:2: Y0 U Y1 V (YUY2) or U Y0 V Y1 (UYVY), chroma from the pair's mean.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h * 2);
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x + 1 < w; x += 2) {
            const std::uint32_t a = p.At(x, row);
            const std::uint32_t b = p.At(x + 1, row);
            const int r = (R(a) + R(b)) / 2, g = (G(a) + G(b)) / 2, bl = (B(a) + B(b)) / 2;
            std::uint8_t* out = &bytes[(static_cast<std::size_t>(row) * w + x) * 2];
            const std::uint8_t y0 = static_cast<std::uint8_t>(Y(R(a), G(a), B(a)));
            const std::uint8_t y1 = static_cast<std::uint8_t>(Y(R(b), G(b), B(b)));
            const std::uint8_t uu = static_cast<std::uint8_t>(U(r, g, bl));
            const std::uint8_t vv = static_cast<std::uint8_t>(V(r, g, bl));
            if (kind == kYuy2) {
                out[0] = y0, out[1] = uu, out[2] = y1, out[3] = vv;
            } else {
                out[0] = uu, out[1] = y0, out[2] = vv, out[3] = y1;
            }
        }
    }
    return bytes;
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance) {
    return std::abs(R(a) - R(b)) <= tolerance && std::abs(G(a) - G(b)) <= tolerance &&
           std::abs(B(a) - B(b)) <= tolerance;
}

}  // namespace vdtest
