// Known values and edge cases of the conversions, for every kernel set the
// CPU can run.
#include <gtest/gtest.h>

#include <vector>

#include "pixel_test_support.h"
#include "pixel/pixel_convert.h"
#include "pixel/pixel_rows.h"

namespace vd {
namespace {

using vdtest::GuardedPlane;

std::vector<const PixelKernels*> UsableKernels() {
    std::vector<const PixelKernels*> sets;
    for (PixelIsa isa : kAllPixelIsas) {
        if (PixelIsaAvailable(isa)) sets.push_back(&PixelKernelsFor(isa));
    }
    return sets;
}

// Widths that use only the tail code, whole SIMD steps, and both.
const int kWidths[] = {2, 16, 32, 70};

struct RgbCase {
    const char* name;
    std::uint8_t r, g, b;
    std::uint8_t y, u, v;
};

TEST(PixelValues, UniformRgbBlocksGiveTheWorkedYuv) {
    const RgbCase cases[] = {
        {"white", 255, 255, 255, 235, 128, 128},
        {"black", 0, 0, 0, 16, 128, 128},
        {"red", 255, 0, 0, 81, 90, 239},
        {"blue", 0, 0, 255, 40, 239, 110},
    };
    for (const PixelKernels* k : UsableKernels()) {
        for (const RgbCase& c : cases) {
            for (int width : kWidths) {
                SCOPED_TRACE(std::string(k->name) + " " + c.name + " width " + std::to_string(width));
                const int height = 2;
                std::vector<std::uint8_t> rgb(4 * width * height);
                for (int i = 0; i < width * height; ++i) {
                    rgb[4 * i] = c.b;
                    rgb[4 * i + 1] = c.g;
                    rgb[4 * i + 2] = c.r;
                    rgb[4 * i + 3] = static_cast<std::uint8_t>(37 * i);  // never used
                }
                std::vector<std::uint8_t> y(width * height), u(width / 2), v(width / 2);
                ConvertRgb32ToYuv420With(*k, rgb.data(), 4 * width, y.data(), u.data(), v.data(), width, width / 2,
                                         width, height, 1);
                EXPECT_EQ(y, std::vector<std::uint8_t>(y.size(), c.y));
                EXPECT_EQ(u, std::vector<std::uint8_t>(u.size(), c.u));
                EXPECT_EQ(v, std::vector<std::uint8_t>(v.size(), c.v));
            }
        }
    }
}

TEST(PixelValues, OneRedPixelInABlackBlockGivesTruncatedMeans) {
    for (const PixelKernels* k : UsableKernels()) {
        for (int width : kWidths) {
            for (int corner = 0; corner < 4; ++corner) {
                SCOPED_TRACE(std::string(k->name) + " width " + std::to_string(width) + " corner " +
                             std::to_string(corner));
                std::vector<std::uint8_t> rgb(4 * width * 2, 0);
                // The red pixel sits in the last block of the row.
                const int x = width - 2 + corner % 2;
                const int row = corner / 2;
                rgb[row * 4 * width + 4 * x + 2] = 255;
                std::vector<std::uint8_t> y(width * 2), u(width / 2), v(width / 2);
                ConvertRgb32ToYuv420With(*k, rgb.data(), 4 * width, y.data(), u.data(), v.data(), width, width / 2,
                                         width, 2, 0);
                EXPECT_EQ(u.back(), 118);
                EXPECT_EQ(v.back(), 155);
                EXPECT_EQ(y[row * width + x], 81);
                if (width > 2) {
                    EXPECT_EQ(u.front(), 128);
                    EXPECT_EQ(v.front(), 128);
                }
            }
        }
    }
}

TEST(PixelValues, FlipTakesTheLastSourceRowFirst) {
    for (const PixelKernels* k : UsableKernels()) {
        for (int width : kWidths) {
            SCOPED_TRACE(std::string(k->name) + " width " + std::to_string(width));
            const int height = 5;
            // Memory row m is the grey 40 * m: Y = ((220 * 40m) >> 8) + 16.
            std::vector<std::uint8_t> rgb(4 * width * height);
            for (int m = 0; m < height; ++m) {
                std::fill(rgb.begin() + 4 * width * m, rgb.begin() + 4 * width * (m + 1),
                          static_cast<std::uint8_t>(40 * m));
            }
            for (int flip = 0; flip < 2; ++flip) {
                std::vector<std::uint8_t> y(width * height), u(width / 2 * 2), v(width / 2 * 2);
                ConvertRgb32ToYuv420With(*k, rgb.data(), 4 * width, y.data(), u.data(), v.data(), width, width / 2,
                                         width, height, flip);
                for (int r = 0; r < height; ++r) {
                    const int m = flip ? height - 1 - r : r;
                    EXPECT_EQ(y[r * width], ((220 * 40 * m) >> 8) + 16) << "row " << r << " flip " << flip;
                    EXPECT_EQ(y[r * width + width - 1], ((220 * 40 * m) >> 8) + 16);
                }
            }
            // And back: Y row r lands in memory row height - 1 - r.
            std::vector<std::uint8_t> yPlane(width * height), chroma(width / 2 * 2, 128);
            for (int r = 0; r < height; ++r) {
                std::fill(yPlane.begin() + width * r, yPlane.begin() + width * (r + 1),
                          static_cast<std::uint8_t>(16 + 50 * r));
            }
            std::vector<std::uint8_t> out(4 * width * height, 0xEE);
            ConvertYuv420ToRgb32With(*k, out.data(), 4 * width, yPlane.data(), chroma.data(), chroma.data(), width,
                                     width / 2, width, height, 1);
            for (int r = 0; r < height; ++r) {
                const int m = height - 1 - r;
                EXPECT_EQ(out[4 * width * m], vdtest::Clamp255((74 * 50 * r) >> 6)) << "row " << r;
                EXPECT_EQ(out[4 * width * m + 4 * (width - 1) + 2], vdtest::Clamp255((74 * 50 * r) >> 6));
            }
        }
    }
}

struct YuvCase {
    std::uint8_t y, u, v;
    std::uint8_t blockRgb[3];  // red, green, blue
    std::uint8_t tableRgb[3];
};

const YuvCase kYuvCases[] = {
    {235, 128, 128, {253, 253, 253}, {254, 254, 254}},
    {16, 128, 128, {0, 0, 0}, {0, 0, 0}},
    {81, 90, 239, {252, 0, 0}, {252, 0, 0}},
    {255, 255, 255, {255, 123, 255}, {255, 125, 255}},
    // Corners of the saturating 16-bit arithmetic.
    {0, 0, 0, {0, 135, 0}, {0, 135, 0}},
    {255, 255, 0, {72, 255, 255}, {73, 255, 255}},
    {255, 0, 255, {255, 223, 18}, {255, 225, 20}},
};

TEST(PixelValues, UniformYuvGivesTheWorkedRgb32) {
    for (const PixelKernels* k : UsableKernels()) {
        for (const YuvCase& c : kYuvCases) {
            for (int width : kWidths) {
                SCOPED_TRACE(std::string(k->name) + " yuv " + std::to_string(c.y) + "," + std::to_string(c.u) + "," +
                             std::to_string(c.v) + " width " + std::to_string(width));
                const int height = 2;
                std::vector<std::uint8_t> y(width * height, c.y), u(width / 2, c.u), v(width / 2, c.v);
                std::vector<std::uint8_t> out(4 * width * height, 0xAA);
                ConvertYuv420ToRgb32With(*k, out.data(), 4 * width, y.data(), u.data(), v.data(), width, width / 2,
                                         width, height, 1);
                for (int i = 0; i < width * height; ++i) {
                    ASSERT_EQ(out[4 * i], c.blockRgb[2]) << "pixel " << i;
                    ASSERT_EQ(out[4 * i + 1], c.blockRgb[1]) << "pixel " << i;
                    ASSERT_EQ(out[4 * i + 2], c.blockRgb[0]) << "pixel " << i;
                    ASSERT_EQ(out[4 * i + 3], 0) << "pixel " << i;
                }
            }
        }
    }
}

TEST(PixelValues, TableConversionGivesTheWorkedRgb24) {
    std::vector<std::int32_t> table(kYuvTableSize);
    BuildYuvTable(table.data());
    for (const YuvCase& c : kYuvCases) {
        SCOPED_TRACE(std::to_string(c.y) + "," + std::to_string(c.u) + "," + std::to_string(c.v));
        const int width = 4, height = 2;
        std::vector<std::uint8_t> y(width * height, c.y), u(width / 2, c.u), v(width / 2, c.v);
        std::vector<std::uint8_t> out(3 * width * height, 0xAA);
        ConvertYuv420WithTable(out.data(), width, table.data(), y.data(), u.data(), v.data(), height, width, width / 2);
        for (int i = 0; i < width * height; ++i) {
            EXPECT_EQ(out[3 * i], c.tableRgb[2]) << "pixel " << i;
            EXPECT_EQ(out[3 * i + 1], c.tableRgb[1]) << "pixel " << i;
            EXPECT_EQ(out[3 * i + 2], c.tableRgb[0]) << "pixel " << i;
        }
    }
}

TEST(PixelValues, TableHoldsTheFiveScaledSections) {
    std::vector<std::int32_t> table(kYuvTableSize, 0x5A5A5A5A);
    BuildYuvTable(table.data());
    struct Entry {
        int index;
        std::int32_t value;
    };
    const Entry entries[] = {
        {kYuvTableY + 0, -16 * 305236},
        {kYuvTableY + 16, 0},
        {kYuvTableY + 255, 239 * 305236},
        {kYuvTableUB + 0, -128 * 528805},
        {kYuvTableUB + 128, 0},
        {kYuvTableUB + 255, 127 * 528805},
        {kYuvTableUG + 0, -128 * 102698},
        {kYuvTableUG + 200, 72 * 102698},
        {kYuvTableVG + 1, -127 * 213115},
        {kYuvTableVG + 255, 127 * 213115},
        {kYuvTableVR + 0, -128 * 418389},
        {kYuvTableVR + 129, 418389},
        {kYuvTableVR + 255, 127 * 418389},
    };
    for (const Entry& e : entries) EXPECT_EQ(table[e.index], e.value) << "index " << e.index;
    // Each section grows by its coefficient from one entry to the next.
    const std::int32_t steps[] = {305236, 528805, 102698, 213115, 418389};
    for (int s = 0; s < 5; ++s) {
        for (int i = 1; i < 256; ++i) {
            ASSERT_EQ(table[256 * s + i] - table[256 * s + i - 1], steps[s]) << "section " << s << " i " << i;
        }
    }
}

TEST(PixelValues, TableConversionLeavesOddRowAndColumnAlone) {
    std::vector<std::int32_t> table(kYuvTableSize);
    BuildYuvTable(table.data());
    const int width = 5, height = 3;
    GuardedPlane y(width * height), u(2), v(2), out(3 * width * height);
    std::fill(y.data(), y.data() + y.size(), 235);
    std::fill(u.data(), u.data() + 2, 128);
    std::fill(v.data(), v.data() + 2, 128);
    std::fill(out.data(), out.data() + out.size(), 0x11);
    ConvertYuv420WithTable(out.data(), width, table.data(), y.data(), u.data(), v.data(), height, width, width / 2);
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t expected = (x < 4 && r < 2) ? 254 : 0x11;
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(out.data()[3 * (r * width + x) + c], expected) << "x " << x << " row " << r;
            }
        }
    }
    EXPECT_TRUE(out.GuardsIntact());
}

TEST(PixelValues, PicturesWithoutChromaUseNeutralChroma) {
    // One pixel wide or high: the chroma planes are empty and never touched.
    struct Size {
        int width, height;
    };
    const Size sizes[] = {{1, 1}, {1, 4}, {5, 1}, {40, 1}};
    for (const PixelKernels* k : UsableKernels()) {
        for (const Size& s : sizes) {
            SCOPED_TRACE(std::string(k->name) + " " + std::to_string(s.width) + "x" + std::to_string(s.height));
            GuardedPlane y(s.width * s.height), chroma(0), out(4 * s.width * s.height);
            std::fill(y.data(), y.data() + y.size(), 128);
            ConvertYuv420ToRgb32With(*k, out.data(), 4 * s.width, y.data(), chroma.data(), chroma.data(), s.width, 0,
                                     s.width, s.height, 0);
            const std::uint8_t grey = static_cast<std::uint8_t>((74 * 112) >> 6);
            for (int i = 0; i < s.width * s.height; ++i) {
                EXPECT_EQ(out.data()[4 * i], grey);
                EXPECT_EQ(out.data()[4 * i + 1], grey);
                EXPECT_EQ(out.data()[4 * i + 2], grey);
                EXPECT_EQ(out.data()[4 * i + 3], 0);
            }
            std::fill(out.data(), out.data() + out.size(), 255);
            ConvertRgb32ToYuv420With(*k, out.data(), 4 * s.width, y.data(), chroma.data(), chroma.data(), s.width, 0,
                                     s.width, s.height, 1);
            EXPECT_EQ(y.Contents(), std::vector<std::uint8_t>(y.size(), 235));
            EXPECT_TRUE(chroma.GuardsIntact());
            EXPECT_TRUE(out.GuardsIntact());
            EXPECT_TRUE(y.GuardsIntact());
        }
    }
}

TEST(PixelValues, ZeroOrNegativeSizesDoNothing) {
    GuardedPlane none(0);
    for (int w : {0, -3, 4}) {
        for (int h : {0, -1, 2}) {
            if (w > 0 && h > 0) continue;
            ConvertRgb32ToYuv420(none.data(), 16, none.data(), none.data(), none.data(), 4, 2, w, h, 1);
            ConvertYuv420ToRgb32(none.data(), 16, none.data(), none.data(), none.data(), 4, 2, w, h, 1);
            ConvertYuv420WithTable(none.data(), w, nullptr, none.data(), none.data(), none.data(), h, 4, 2);
        }
    }
    EXPECT_TRUE(none.GuardsIntact());
}

TEST(PixelValues, DispatchPicksTheWidestUsableSet) {
    const PixelKernels& active = ActivePixelKernels();
    const PixelKernels* widest = UsableKernels().back();
    EXPECT_STREQ(active.name, widest->name);
}

}  // namespace
}  // namespace vd
