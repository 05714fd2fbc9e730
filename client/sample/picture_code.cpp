#include "sample/picture_code.h"

#include <algorithm>
#include <cstdlib>

#include "sample/test_pattern.h"
#include "sample/yuv420.h"

namespace vdsample {

PictureCodeLayout PictureCodeLayoutFor(int width, int height) {
    PictureCodeLayout layout;
    if (width < 160 || height < 96) return layout;
    layout.cell = std::max(4, width / 44);
    layout.left = width - kPictureCodeBits * layout.cell - layout.cell / 2;
    layout.top = height - 2 * layout.cell;
    layout.fits = true;
    return layout;
}

int ReadPictureCode(const SampleGrid& g) {
    if (!g.first || g.imageWidth <= 0 || g.imageHeight <= 0) return -1;
    const PictureCodeLayout layout = PictureCodeLayoutFor(g.pictureWidth, g.pictureHeight);
    if (!layout.fits) return -1;
    // A cell's centre, in the image's own coordinates.
    bool outside = false;
    auto sample = [&](int bit, int row) {
        const int px = layout.left + bit * layout.cell + layout.cell / 2;
        const int py = layout.top + row * layout.cell + layout.cell / 2;
        const int x = std::min(g.imageWidth - 1, int(int64_t(px) * g.imageWidth / g.pictureWidth));
        const int y = std::min(g.imageHeight - 1, int(int64_t(py) * g.imageHeight / g.pictureHeight));
        if (y < g.firstRow) {
            outside = true;
            return false;
        }
        return g.first[ptrdiff_t(y - g.firstRow) * g.rowStride + ptrdiff_t(x) * g.pixelStep] >= 128;
    };
    int number = 0;
    for (int bit = 0; bit < kPictureCodeBits; ++bit) {
        const bool one = sample(bit, 0);
        if (one == sample(bit, 1)) return -1;
        number = (number << 1) | (one ? 1 : 0);
    }
    return outside ? -1 : number;
}

int WorstBlockDifference(const uint8_t* luma, ptrdiff_t rowStride, int width, int height, int index, int fps) {
    if (!luma || width <= 0 || height <= 0) return 255;
    const Image expected = RenderPicture(width, height, index, fps);
    constexpr int kBlock = 16;
    int worst = 0;
    for (int by = 0; by < height; by += kBlock) {
        for (int bx = 0; bx < width; bx += kBlock) {
            int64_t sum = 0;
            int count = 0;
            for (int y = by; y < std::min(height, by + kBlock); ++y) {
                const uint8_t* row = luma + y * rowStride;
                for (int x = bx; x < std::min(width, bx + kBlock); ++x) {
                    uint8_t ey, eu, ev;
                    RgbToYuv(expected.At(x, y), &ey, &eu, &ev);
                    sum += std::abs(int(row[x]) - int(ey));
                    ++count;
                }
            }
            worst = std::max(worst, int(sum / std::max(count, 1)));
        }
    }
    return worst;
}

}  // namespace vdsample
