#include "sample/test_pattern.h"

#include <algorithm>
#include <cstdio>

#include "sample/font5x7.h"
#include "sample/picture_code.h"

namespace vdsample {
namespace {

constexpr uint8_t kLevel = 191;  // 75 %
constexpr uint32_t kSweepMs = 2000;

int BarsBottom(int height) { return height * 3 / 5; }

}  // namespace

Rgb Image::At(int x, int y) const {
    const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    return Rgb{p[0], p[1], p[2]};
}

void Image::Fill(const Rect& r, Rgb c) {
    const int x0 = std::max(r.left, 0), x1 = std::min(r.right, width);
    const int y0 = std::max(r.top, 0), y1 = std::min(r.bottom, height);
    for (int y = y0; y < y1; ++y) {
        uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x0)) * 3];
        for (int x = x0; x < x1; ++x, p += 3) {
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
}

void Image::Text(int x, int y, int scale, const std::string& text, Rgb c) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* rows = Glyph(text[i]);
        const int gx = x + int(i) * (kGlyphWidth + 1) * scale;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col)
                if (rows[row] & (0x10 >> col))
                    Fill(Rect{gx + col * scale, y + row * scale, gx + (col + 1) * scale, y + (row + 1) * scale}, c);
    }
}

Rgb BarColour(int index) {
    static const Rgb bars[kBarCount] = {
        {kLevel, kLevel, kLevel}, {kLevel, kLevel, 0}, {0, kLevel, kLevel}, {0, kLevel, 0},
        {kLevel, 0, kLevel},      {kLevel, 0, 0},      {0, 0, kLevel},      {0, 0, 0}};
    return bars[std::clamp(index, 0, kBarCount - 1)];
}

Rect BarRect(int width, int height, int index) {
    return Rect{width * index / kBarCount, 0, width * (index + 1) / kBarCount, BarsBottom(height)};
}

Rect SquareRect(int width, int height, uint32_t ms) {
    const int bandTop = BarsBottom(height);
    const int side = std::max(2, (height - bandTop) / 3);
    const int travel = std::max(0, width - side);
    const uint32_t phase = ms % (2 * kSweepMs);
    const uint32_t along = phase < kSweepMs ? phase : 2 * kSweepMs - phase;
    const int left = int(uint64_t(travel) * along / kSweepMs);
    const int top = bandTop + side / 3;
    return Rect{left, top, left + side, top + side};
}

std::string ClockText(uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", ms / 3600000u, ms / 60000u % 60u, ms / 1000u % 60u,
                  ms % 1000u);
    return text;
}

uint32_t PictureStampMs(int index, int fps) { return fps > 0 ? uint32_t(uint64_t(index) * 1000u / uint64_t(fps)) : 0; }

Image RenderPicture(int width, int height, int index, int fps) {
    Image image(width, height);
    for (int i = 0; i < kBarCount; ++i) image.Fill(BarRect(width, height, i), BarColour(i));
    const int bandTop = BarsBottom(height);
    image.Fill(Rect{0, bandTop, width, height}, Rgb{40, 40, 40});
    const uint32_t ms = PictureStampMs(index, fps);
    image.Fill(SquareRect(width, height, ms), Rgb{235, 235, 235});

    // The clock and the picture number along the bottom, on black so that they
    // stay readable when the square passes behind them.
    const int scale = std::max(1, height / 160);
    const std::string caption = ClockText(ms) + "  #" + std::to_string(index);
    const int textHeight = (kGlyphHeight + 2) * scale;
    const int textTop = height - textHeight - scale;
    if (textTop > bandTop) {
        const int textWidth = int(caption.size()) * (kGlyphWidth + 1) * scale + scale;
        image.Fill(Rect{0, textTop - scale, textWidth + scale, height}, Rgb{0, 0, 0});
        image.Text(scale, textTop, scale, caption, Rgb{255, 255, 255});
    }
    const PictureCodeLayout code = PictureCodeLayoutFor(width, height);
    if (code.fits) {
        const int c = code.cell;
        image.Fill(Rect{code.left, code.top, code.left + kPictureCodeBits * c, height}, Rgb{0, 0, 0});
        for (int bit = 0; bit < kPictureCodeBits; ++bit) {
            const bool one = (unsigned(index) >> (kPictureCodeBits - 1 - bit)) & 1u;
            const int x = code.left + bit * c;
            image.Fill(Rect{x, code.top + (one ? 0 : c), x + c, code.top + (one ? c : 2 * c)}, Rgb{235, 235, 235});
        }
    }
    return image;
}

}  // namespace vdsample
