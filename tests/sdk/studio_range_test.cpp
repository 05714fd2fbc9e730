// Decoded Motion-JPEG planes into YV12 and YUY2: every full-range value
// maps as ffmpeg's scaler maps it (its two steps, as it does them), whatever
// kernel the CPU gets and whatever the width leaves over for its tail.
#include "core/studio_range.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int FfmpegLuma(int y) { return ((((y << 7) * 14071 + 33561947) >> 14) + 64) >> 7; }
int FfmpegChroma(int c) { return ((((c << 7) * 1799 + 4081085) >> 11) + 64) >> 7; }

struct RangeCase {
    int width;
    int kind;  // 3: YV12 from 4:2:0, 6: YUY2 from 4:2:2, 7: YUY2 from 4:4:4
};

class StudioRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(StudioRange, EveryValueMapsAsFfmpegsScalerMapsIt) {
    const RangeCase& c = GetParam();
    const int w = c.width, h = 2, cw = c.kind == 7 ? w : w / 2, ch = c.kind == 3 ? 1 : 2;
    // Luma, Cb and Cr run through every value, each from a different start.
    std::vector<uint8_t> y(size_t(w * h)), u(size_t(cw * ch)), v(size_t(cw * ch));
    for (size_t i = 0; i < y.size(); ++i) y[i] = uint8_t(i * 7);
    for (size_t i = 0; i < u.size(); ++i) u[i] = uint8_t(i * 5 + 1), v[i] = uint8_t(i * 3 + 2);
    demoplay::DecodedPlanes p;
    p.plane[0] = y.data(), p.plane[1] = u.data(), p.plane[2] = v.data();
    p.stride[0] = w, p.stride[1] = p.stride[2] = cw;
    p.width = w, p.height = h;
    if (c.kind == 3) {
        std::vector<uint8_t> out(size_t(w * h * 3 / 2));
        demoplay::PlanesToYv12(p, out.data());
        for (int i = 0; i < w * h; ++i) ASSERT_EQ(out[size_t(i)], FfmpegLuma(y[size_t(i)])) << "luma " << i;
        for (int i = 0; i < cw; ++i) {
            ASSERT_EQ(out[size_t(w * h + i)], FfmpegChroma(v[size_t(i)])) << "V " << i;  // V comes first
            ASSERT_EQ(out[size_t(w * h + cw + i)], FfmpegChroma(u[size_t(i)])) << "U " << i;
        }
        return;
    }
    std::vector<uint8_t> out(size_t(w * h * 2));
    demoplay::PlanesToYuy2(p, c.kind == 7, out.data());
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w / 2; ++x) {
            const uint8_t* q = &out[size_t((row * w / 2 + x) * 4)];
            const size_t at = size_t(row * cw + (c.kind == 7 ? 2 * x : x));
            const int cb = c.kind == 7 ? (u[at] + u[at + 1] + 1) / 2 : u[at];
            const int cr = c.kind == 7 ? (v[at] + v[at + 1] + 1) / 2 : v[at];
            ASSERT_EQ(q[0], FfmpegLuma(y[size_t(row * w + 2 * x)])) << row << " " << x;
            ASSERT_EQ(q[1], FfmpegChroma(cb)) << row << " " << x;
            ASSERT_EQ(q[2], FfmpegLuma(y[size_t(row * w + 2 * x + 1)])) << row << " " << x;
            ASSERT_EQ(q[3], FfmpegChroma(cr)) << row << " " << x;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, StudioRange,
                         ::testing::Values(RangeCase{256, 3}, RangeCase{518, 3}, RangeCase{30, 3}, RangeCase{2, 3},
                                           RangeCase{512, 6}, RangeCase{2102, 6}, RangeCase{6, 6}, RangeCase{514, 7},
                                           RangeCase{34, 7}));

}  // namespace
