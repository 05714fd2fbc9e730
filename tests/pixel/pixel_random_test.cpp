// Randomized comparisons: every kernel set against per-pixel oracles over many
// picture sizes and strides, every SIMD row kernel against the portable one,
// all with guarded planes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pixel_test_support.h"
#include "pixel/pixel_convert.h"
#include "pixel/pixel_rows.h"

namespace vd {
namespace {

using vdtest::ExpectedRgb;
using vdtest::ExpectedYuv;
using vdtest::FirstDifference;
using vdtest::GuardedPlane;
using vdtest::Layout;
using vdtest::RandomBytes;

std::vector<const PixelKernels*> UsableKernels() {
    std::vector<const PixelKernels*> sets;
    for (PixelIsa isa : kAllPixelIsas) {
        if (PixelIsaAvailable(isa)) sets.push_back(&PixelKernelsFor(isa));
    }
    return sets;
}

std::vector<const PixelKernels*> SimdKernels() {
    std::vector<const PixelKernels*> sets = UsableKernels();
    sets.erase(sets.begin());
    return sets;
}

// Sizes worth a look, then random ones; strides are the row size plus a
// random gap (not a multiple of 4 either), flip at random.
std::vector<Layout> PictureLayouts(std::mt19937& rng) {
    std::vector<std::pair<int, int>> sizes = {
        {1, 1},  {1, 2},  {2, 1},  {2, 2},  {3, 3},   {15, 1}, {16, 2},    {17, 3},      {31, 5},      {32, 2},
        {33, 7}, {47, 4}, {63, 9}, {64, 4}, {65, 65}, {97, 3}, {352, 288}, {1920, 1080}, {1999, 1099}, {2000, 1100}};
    std::uniform_int_distribution<int> smallW(1, 300), smallH(1, 40), bigW(300, 2000), bigH(40, 1100);
    for (int i = 0; i < 40; ++i) sizes.push_back({smallW(rng), smallH(rng)});
    for (int i = 0; i < 4; ++i) sizes.push_back({bigW(rng), bigH(rng)});
    std::uniform_int_distribution<int> gap(0, 37), coin(0, 1);
    std::vector<Layout> layouts;
    for (auto [w, h] : sizes) {
        const bool tight = coin(rng) == 0;
        layouts.push_back({w, h, 4 * w + (tight ? 0 : gap(rng)), w + (tight ? 0 : gap(rng)),
                           w / 2 + (tight ? 0 : gap(rng)), coin(rng)});
    }
    return layouts;
}

TEST(PixelRandom, Rgb32ToYuv420MatchesTheEquationsForEverySize) {
    std::mt19937 rng(20261207);
    for (const Layout& l : PictureLayouts(rng)) {
        const std::vector<std::uint8_t> rgb = RandomBytes(rng, l.RgbBytes());
        const std::vector<std::uint8_t> y0 = RandomBytes(rng, l.YBytes());
        const std::vector<std::uint8_t> u0 = RandomBytes(rng, l.ChromaBytes());
        const std::vector<std::uint8_t> v0 = RandomBytes(rng, l.ChromaBytes());
        std::vector<std::uint8_t> y = y0, u = u0, v = v0;
        ExpectedYuv(l, rgb, y, u, v);
        for (const PixelKernels* k : UsableKernels()) {
            SCOPED_TRACE(std::string(k->name) + " " + l.Describe());
            GuardedPlane src(rgb.size()), yp(y0.size()), up(u0.size()), vp(v0.size());
            src.Assign(rgb);
            yp.Assign(y0);
            up.Assign(u0);
            vp.Assign(v0);
            ConvertRgb32ToYuv420With(*k, src.data(), l.rgbStride, yp.data(), up.data(), vp.data(), l.yStride,
                                     l.chromaStride, l.width, l.height, l.flip);
            EXPECT_EQ(FirstDifference(yp.Contents(), y), -1) << "Y plane";
            EXPECT_EQ(FirstDifference(up.Contents(), u), -1) << "U plane";
            EXPECT_EQ(FirstDifference(vp.Contents(), v), -1) << "V plane";
            EXPECT_EQ(FirstDifference(src.Contents(), rgb), -1) << "source changed";
            EXPECT_TRUE(src.GuardsIntact() && yp.GuardsIntact() && up.GuardsIntact() && vp.GuardsIntact());
        }
    }
}

TEST(PixelRandom, Yuv420ToRgb32MatchesTheEquationsForEverySize) {
    std::mt19937 rng(7122026);
    for (const Layout& l : PictureLayouts(rng)) {
        const std::vector<std::uint8_t> y = RandomBytes(rng, l.YBytes());
        const std::vector<std::uint8_t> u = RandomBytes(rng, l.ChromaBytes());
        const std::vector<std::uint8_t> v = RandomBytes(rng, l.ChromaBytes());
        const std::vector<std::uint8_t> rgb0 = RandomBytes(rng, l.RgbBytes());
        std::vector<std::uint8_t> rgb = rgb0;
        ExpectedRgb(l, y, u, v, rgb);
        for (const PixelKernels* k : UsableKernels()) {
            SCOPED_TRACE(std::string(k->name) + " " + l.Describe());
            GuardedPlane yp(y.size()), up(u.size()), vp(v.size()), dst(rgb0.size());
            yp.Assign(y);
            up.Assign(u);
            vp.Assign(v);
            dst.Assign(rgb0);
            ConvertYuv420ToRgb32With(*k, dst.data(), l.rgbStride, yp.data(), up.data(), vp.data(), l.yStride,
                                     l.chromaStride, l.width, l.height, l.flip);
            EXPECT_EQ(FirstDifference(dst.Contents(), rgb), -1);
            EXPECT_TRUE(yp.GuardsIntact() && up.GuardsIntact() && vp.GuardsIntact() && dst.GuardsIntact());
        }
    }
}

TEST(PixelRandom, PublicRoutinesUseTheActiveKernels) {
    std::mt19937 rng(99);
    const Layout l{37, 11, 4 * 37 + 3, 40, 19, 1};
    const std::vector<std::uint8_t> rgb = RandomBytes(rng, l.RgbBytes());
    std::vector<std::uint8_t> y(l.YBytes()), u(l.ChromaBytes()), v(l.ChromaBytes());
    std::vector<std::uint8_t> ey = y, eu = u, ev = v;
    ExpectedYuv(l, rgb, ey, eu, ev);
    ConvertRgb32ToYuv420(rgb.data(), l.rgbStride, y.data(), u.data(), v.data(), l.yStride, l.chromaStride, l.width,
                         l.height, l.flip);
    EXPECT_EQ(y, ey);
    EXPECT_EQ(u, eu);
    EXPECT_EQ(v, ev);
    std::vector<std::uint8_t> out(l.RgbBytes()), expected = out;
    ExpectedRgb(l, y, u, v, expected);
    ConvertYuv420ToRgb32(out.data(), l.rgbStride, y.data(), u.data(), v.data(), l.yStride, l.chromaStride, l.width,
                         l.height, l.flip);
    EXPECT_EQ(out, expected);
}

// Row widths: every width up to 160 (all tails of every step size), then
// random ones up to 4100.
std::vector<int> RowWidths(std::mt19937& rng) {
    std::vector<int> widths;
    for (int w = 0; w <= 160; ++w) widths.push_back(w);
    std::uniform_int_distribution<int> wide(161, 4100);
    for (int i = 0; i < 40; ++i) widths.push_back(wide(rng));
    return widths;
}

// Row inputs: random bytes, or only the extremes 0 and 255 (where the
// clamping and the centred arithmetic have their corners).
std::vector<std::uint8_t> RowBytes(std::mt19937& rng, std::size_t n, bool extremes) {
    std::vector<std::uint8_t> bytes = RandomBytes(rng, n);
    if (extremes) {
        for (auto& b : bytes) b = (b & 1) ? 255 : 0;
    }
    return bytes;
}

TEST(PixelRandom, SimdRgbRowKernelsMatchThePortableOnes) {
    std::mt19937 rng(4242);
    for (const PixelKernels* k : SimdKernels()) {
        for (int w : RowWidths(rng)) {
            for (bool extremes : {false, true}) {
                SCOPED_TRACE(std::string(k->name) + " width " + std::to_string(w) + (extremes ? " extremes" : ""));
                const int even = w & ~1;
                const std::vector<std::uint8_t> a = RowBytes(rng, 4 * w, extremes);
                const std::vector<std::uint8_t> b = RowBytes(rng, 4 * w, extremes);
                GuardedPlane ga(a.size()), gb(b.size()), y0(w), y1(w), u(even / 2), v(even / 2);
                ga.Assign(a);
                gb.Assign(b);

                std::vector<std::uint8_t> ey(w);
                Rgb32ToYRow_C(a.data(), ey.data(), w);
                k->rgb32ToYRow(ga.data(), y0.data(), w);
                EXPECT_EQ(FirstDifference(y0.Contents(), ey), -1) << "Y row";

                std::vector<std::uint8_t> ey0(w, 0), ey1(w, 0), eu(even / 2), ev(even / 2);
                std::fill(y0.data(), y0.data() + w, 0);
                std::fill(y1.data(), y1.data() + w, 0);
                Rgb32ToYuvRowPair_C(a.data(), b.data(), ey0.data(), ey1.data(), eu.data(), ev.data(), even);
                k->rgb32ToYuvRowPair(ga.data(), gb.data(), y0.data(), y1.data(), u.data(), v.data(), even);
                EXPECT_EQ(FirstDifference(y0.Contents(), ey0), -1) << "row pair Y0";
                EXPECT_EQ(FirstDifference(y1.Contents(), ey1), -1) << "row pair Y1";
                EXPECT_EQ(FirstDifference(u.Contents(), eu), -1) << "row pair U";
                EXPECT_EQ(FirstDifference(v.Contents(), ev), -1) << "row pair V";
                EXPECT_TRUE(ga.GuardsIntact() && gb.GuardsIntact() && y0.GuardsIntact() && y1.GuardsIntact() &&
                            u.GuardsIntact() && v.GuardsIntact());
            }
        }
    }
}

TEST(PixelRandom, SimdYuvRowKernelsMatchThePortableOnes) {
    std::mt19937 rng(2424);
    for (const PixelKernels* k : SimdKernels()) {
        for (int w : RowWidths(rng)) {
            for (bool extremes : {false, true}) {
                SCOPED_TRACE(std::string(k->name) + " width " + std::to_string(w) + (extremes ? " extremes" : ""));
                const int even = w & ~1;
                const std::vector<std::uint8_t> ya = RowBytes(rng, even, extremes);
                const std::vector<std::uint8_t> yb = RowBytes(rng, even, extremes);
                const std::vector<std::uint8_t> cu = RowBytes(rng, even / 2, extremes);
                const std::vector<std::uint8_t> cv = RowBytes(rng, even / 2, extremes);
                GuardedPlane gya(even), gyb(even), gu(even / 2), gv(even / 2), d0(4 * even), d1(4 * even);
                gya.Assign(ya);
                gyb.Assign(yb);
                gu.Assign(cu);
                gv.Assign(cv);
                std::vector<std::uint8_t> e0(4 * even), e1(4 * even);
                Yuv420ToRgb32RowPair_C(ya.data(), yb.data(), cu.data(), cv.data(), e0.data(), e1.data(), even);
                k->yuv420ToRgb32RowPair(gya.data(), gyb.data(), gu.data(), gv.data(), d0.data(), d1.data(), even);
                EXPECT_EQ(FirstDifference(d0.Contents(), e0), -1) << "row 0";
                EXPECT_EQ(FirstDifference(d1.Contents(), e1), -1) << "row 1";
                EXPECT_TRUE(gya.GuardsIntact() && gyb.GuardsIntact() && gu.GuardsIntact() && gv.GuardsIntact() &&
                            d0.GuardsIntact() && d1.GuardsIntact());
            }
        }
    }
}

// Every (Y, U, V) combination through every SIMD kernel: rows of 512 pixels
// whose 256 chroma samples run through all V for one U, and 64 row pairs
// whose four pixels per block run through all Y.
TEST(PixelRandom, SimdYuvKernelsMatchForEveryYuvTriple) {
    const int width = 512;
    std::vector<std::uint8_t> ya(width), yb(width), cu(width / 2), cv(width / 2);
    std::vector<std::uint8_t> e0(4 * width), e1(4 * width), d0(4 * width), d1(4 * width);
    for (int j = 0; j < width / 2; ++j) cv[j] = static_cast<std::uint8_t>(j);
    for (const PixelKernels* k : SimdKernels()) {
        SCOPED_TRACE(k->name);
        int mismatches = 0;
        for (int u = 0; u < 256 && mismatches == 0; ++u) {
            std::fill(cu.begin(), cu.end(), static_cast<std::uint8_t>(u));
            for (int t = 0; t < 64; ++t) {
                for (int j = 0; j < width / 2; ++j) {
                    ya[2 * j] = static_cast<std::uint8_t>(4 * t);
                    ya[2 * j + 1] = static_cast<std::uint8_t>(4 * t + 1);
                    yb[2 * j] = static_cast<std::uint8_t>(4 * t + 2);
                    yb[2 * j + 1] = static_cast<std::uint8_t>(4 * t + 3);
                }
                Yuv420ToRgb32RowPair_C(ya.data(), yb.data(), cu.data(), cv.data(), e0.data(), e1.data(), width);
                k->yuv420ToRgb32RowPair(ya.data(), yb.data(), cu.data(), cv.data(), d0.data(), d1.data(), width);
                if (d0 != e0 || d1 != e1) {
                    ++mismatches;
                    ADD_FAILURE() << "U " << u << " Y from " << 4 * t;
                }
            }
        }
    }
}

// Every pair of block sums of blue and green, for red sums at the ends and
// the middle of their range, through every SIMD row pair kernel: the chroma
// of a block depends only on its three component sums, and the pixels of a
// block share each sum out unevenly so that the pairing of pixels counts.
TEST(PixelRandom, SimdChromaKernelsMatchForEveryBlockSum) {
    const int blocks = 1021;  // sums 0..1020
    const int width = 2 * blocks;
    std::vector<std::uint8_t> a(4 * width), b(4 * width);
    std::vector<std::uint8_t> ey0(width), ey1(width), eu(blocks), ev(blocks);
    std::vector<std::uint8_t> y0(width), y1(width), u(blocks), v(blocks);
    // Pixel p (0..3: top left, top right, bottom left, bottom right) of a
    // block whose component sums to s.
    auto share = [](int s, int p) { return static_cast<std::uint8_t>(s / 4 + (p < s % 4 ? 1 : 0)); };
    auto setBlock = [&](int block, int c, int s) {
        a[8 * block + c] = share(s, 0);
        a[8 * block + 4 + c] = share(s, 3);
        b[8 * block + c] = share(s, 1);
        b[8 * block + 4 + c] = share(s, 2);
    };
    for (const PixelKernels* k : SimdKernels()) {
        SCOPED_TRACE(k->name);
        int mismatches = 0;
        for (int sumR : {0, 1, 3, 255, 509, 510, 511, 1017, 1020}) {
            for (int sumB = 0; sumB <= 1020 && mismatches < 3; ++sumB) {
                for (int j = 0; j < blocks; ++j) {
                    setBlock(j, 0, sumB);
                    setBlock(j, 1, j);
                    setBlock(j, 2, sumR);
                    setBlock(j, 3, (j * 37 + sumB) & 1020);
                }
                Rgb32ToYuvRowPair_C(a.data(), b.data(), ey0.data(), ey1.data(), eu.data(), ev.data(), width);
                k->rgb32ToYuvRowPair(a.data(), b.data(), y0.data(), y1.data(), u.data(), v.data(), width);
                if (u != eu || v != ev || y0 != ey0 || y1 != ey1) {
                    ++mismatches;
                    ADD_FAILURE() << "red sum " << sumR << " blue sum " << sumB << " U at " << FirstDifference(u, eu)
                                  << " V at " << FirstDifference(v, ev);
                }
            }
        }
    }
}

// Every RGB colour through every SIMD luma kernel.
TEST(PixelRandom, SimdLumaKernelsMatchForEveryColour) {
    const int width = 65536;
    std::vector<std::uint8_t> rgb(4 * width), expected(width), actual(width);
    for (const PixelKernels* k : SimdKernels()) {
        SCOPED_TRACE(k->name);
        for (int r = 0; r < 256; ++r) {
            for (int i = 0; i < width; ++i) {
                rgb[4 * i] = static_cast<std::uint8_t>(i & 255);
                rgb[4 * i + 1] = static_cast<std::uint8_t>(i >> 8);
                rgb[4 * i + 2] = static_cast<std::uint8_t>(r);
                rgb[4 * i + 3] = static_cast<std::uint8_t>(i * 7);
            }
            Rgb32ToYRow_C(rgb.data(), expected.data(), width);
            k->rgb32ToYRow(rgb.data(), actual.data(), width);
            ASSERT_EQ(FirstDifference(actual, expected), -1) << "red " << r;
        }
    }
}

TEST(PixelRandom, TableConversionMatchesTheEquationsForEverySize) {
    std::vector<std::int32_t> table(kYuvTableSize);
    BuildYuvTable(table.data());
    std::mt19937 rng(31337);
    for (const Layout& l : PictureLayouts(rng)) {
        SCOPED_TRACE(l.Describe());
        const std::vector<std::uint8_t> y = RandomBytes(rng, l.YBytes());
        const std::vector<std::uint8_t> u = RandomBytes(rng, l.ChromaBytes());
        const std::vector<std::uint8_t> v = RandomBytes(rng, l.ChromaBytes());
        const std::vector<std::uint8_t> before = RandomBytes(rng, static_cast<std::size_t>(3) * l.width * l.height);
        std::vector<std::uint8_t> expected = before;
        auto clampShift = [](long long value) {
            return static_cast<std::uint8_t>(vdtest::Clamp255(static_cast<int>(value >> 18)));
        };
        for (int r = 0; r < l.ChromaHeight() * 2; ++r) {
            for (int x = 0; x < l.ChromaWidth() * 2; ++x) {
                const long long du = u[static_cast<std::size_t>(r / 2) * l.chromaStride + x / 2] - 128;
                const long long dv = v[static_cast<std::size_t>(r / 2) * l.chromaStride + x / 2] - 128;
                const long long ty = (y[static_cast<std::size_t>(r) * l.yStride + x] - 16) * 305236LL;
                std::uint8_t* out = &expected[(static_cast<std::size_t>(r) * l.width + x) * 3];
                out[0] = clampShift(ty + du * 528805);
                out[1] = clampShift(ty - (du * 102698 + dv * 213115));
                out[2] = clampShift(ty + dv * 418389);
            }
        }
        GuardedPlane yp(y.size()), up(u.size()), vp(v.size()), dst(before.size());
        yp.Assign(y);
        up.Assign(u);
        vp.Assign(v);
        dst.Assign(before);
        ConvertYuv420WithTable(dst.data(), l.width, table.data(), yp.data(), up.data(), vp.data(), l.height, l.yStride,
                               l.chromaStride);
        EXPECT_EQ(FirstDifference(dst.Contents(), expected), -1);
        EXPECT_TRUE(yp.GuardsIntact() && up.GuardsIntact() && vp.GuardsIntact() && dst.GuardsIntact());
    }
}

}  // namespace
}  // namespace vd
