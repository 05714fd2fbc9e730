// The sample recording as the SDK's parser and JPEG decoder read it back:
// headers, picture and sound counts, the colour bars, the tone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "core/avi_parser.h"
#include "core/jpeg_picture.h"
#include "sample/pcm_tone.h"
#include "sample/picture_code.h"
#include "sample/sample_recording.h"
#include "sample/test_pattern.h"
#include "sample/yuv420.h"

namespace {

using vdsample::PictureFormat;

struct Written {
    std::vector<uint8_t> bytes;
    demoplay::AviFileInfo info;
    demoplay::AviStatus status = demoplay::AviStatus::kCorrupt;
};

Written Write(const vdsample::RecordingPlan& plan) {
    Written w;
    demoplay::MemorySink sink;
    EXPECT_TRUE(vdsample::WriteAvi(&sink, plan));
    w.bytes = std::move(sink.bytes);
    demoplay::MemorySource source(w.bytes.data(), w.bytes.size());
    w.status = demoplay::ParseAviFile(source, &w.info);
    return w;
}

std::vector<uint8_t> Chunk(const Written& w, const demoplay::ChunkRef& c) {
    return std::vector<uint8_t>(w.bytes.begin() + long(c.offset), w.bytes.begin() + long(c.offset + c.size));
}

struct FormatCase {
    PictureFormat format;
    int width, height, fps;
    double seconds;
    bool sound;
};

class SampleFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SampleFormats, ParsesBackWithEveryPictureAndTheWholeTone) {
    const FormatCase& c = GetParam();
    vdsample::RecordingPlan plan;
    plan.format = c.format;
    plan.width = c.width;
    plan.height = c.height;
    plan.fps = c.fps;
    plan.seconds = c.seconds;
    plan.sound = c.sound;
    ASSERT_EQ(vdsample::CheckPlan(plan), "");
    Written w = Write(plan);
    ASSERT_EQ(w.status, demoplay::AviStatus::kOk);
    const demoplay::AviHeaders& h = w.info.headers;
    EXPECT_EQ(h.video.width, c.width);
    EXPECT_EQ(h.video.height, c.height);
    EXPECT_EQ(h.FramesPerSecond(), c.fps);
    EXPECT_EQ(h.video.length, uint32_t(vdsample::PictureCount(plan)));
    ASSERT_EQ(w.info.videoChunks.size(), size_t(vdsample::PictureCount(plan)));
    EXPECT_EQ(h.hasAudio, c.sound);
    if (c.sound) {
        EXPECT_TRUE(h.audio.pcm);
        EXPECT_EQ(h.audio.samplesPerSec, 16000u);
        EXPECT_EQ(h.audio.channels, 1);
        uint64_t bytes = 0;
        for (const demoplay::ChunkRef& a : w.info.audioChunks) bytes += a.size;
        EXPECT_EQ(bytes, uint64_t(vdsample::SamplesBefore(plan.tone, vdsample::PictureCount(plan), c.fps)) * 2);
    }
    if (c.format != PictureFormat::kMjpeg) {
        for (const demoplay::ChunkRef& v : w.info.videoChunks) ASSERT_EQ(v.size, uint32_t(c.width * c.height * 3 / 2));
    }
}

INSTANTIATE_TEST_SUITE_P(All, SampleFormats,
                         ::testing::Values(FormatCase{PictureFormat::kYv12, 64, 48, 25, 1.0, true},
                                           FormatCase{PictureFormat::kI420, 32, 16, 30, 0.5, false},
                                           FormatCase{PictureFormat::kMjpeg, 128, 96, 10, 2.0, true},
                                           FormatCase{PictureFormat::kMjpeg, 1920, 1080, 25, 0.08, false}));

// Each bar's centre holds the bar's colour in every stored picture.
TEST(SamplePictures, BarsSurviveEveryFormat) {
    for (PictureFormat format : {PictureFormat::kYv12, PictureFormat::kI420, PictureFormat::kMjpeg}) {
        SCOPED_TRACE(vdsample::FormatName(format));
        vdsample::RecordingPlan plan;
        plan.format = format;
        plan.width = 160;
        plan.height = 120;
        plan.seconds = 0.2;
        plan.sound = false;
        Written w = Write(plan);
        ASSERT_EQ(w.status, demoplay::AviStatus::kOk);
        const std::vector<uint8_t> stored = Chunk(w, w.info.videoChunks.back());
        for (int bar = 0; bar < vdsample::kBarCount; ++bar) {
            const vdsample::Rect r = vdsample::BarRect(plan.width, plan.height, bar);
            const int x = ((r.left + r.right) / 2) & ~1, y = ((r.top + r.bottom) / 2) & ~1;
            const vdsample::Rgb want = vdsample::BarColour(bar);
            if (format == PictureFormat::kMjpeg) {
                std::vector<uint8_t> rgb;
                int width = 0, height = 0;
                ASSERT_TRUE(
                    demoplay::DecodeJpegPicture(stored.data(), stored.size(), 4096, 4096, &rgb, &width, &height));
                const uint8_t* px = &rgb[(size_t(height - 1 - y) * size_t(width) + size_t(x)) * 4];  // bottom-up BGRX
                EXPECT_NEAR(px[2], want.r, 8) << "bar " << bar;
                EXPECT_NEAR(px[1], want.g, 8) << "bar " << bar;
                EXPECT_NEAR(px[0], want.b, 8) << "bar " << bar;
            } else {
                uint8_t wy, wu, wv;
                vdsample::RgbToYuv(want, &wy, &wu, &wv);
                const size_t luma = size_t(plan.width) * size_t(plan.height);
                const size_t chroma = luma / 4;
                const size_t at = size_t(y / 2) * size_t(plan.width / 2) + size_t(x / 2);
                const size_t vAt = format == PictureFormat::kYv12 ? luma + at : luma + chroma + at;
                const size_t uAt = format == PictureFormat::kYv12 ? luma + chroma + at : luma + at;
                EXPECT_EQ(stored[size_t(y) * size_t(plan.width) + size_t(x)], wy) << "bar " << bar;
                EXPECT_EQ(stored[uAt], wu) << "bar " << bar;
                EXPECT_EQ(stored[vAt], wv) << "bar " << bar;
            }
        }
    }
}

TEST(SamplePictures, SquareMovesAndClockRuns) {
    const vdsample::Image a = vdsample::RenderPicture(320, 240, 0, 25);
    const vdsample::Image b = vdsample::RenderPicture(320, 240, 25, 25);
    const vdsample::Rect ra = vdsample::SquareRect(320, 240, 0), rb = vdsample::SquareRect(320, 240, 1000);
    EXPECT_LT(ra.left, rb.left);
    const vdsample::Rgb white{235, 235, 235};
    EXPECT_EQ(a.At((ra.left + ra.right) / 2, (ra.top + ra.bottom) / 2), white);
    EXPECT_EQ(b.At((rb.left + rb.right) / 2, (rb.top + rb.bottom) / 2), white);
    EXPECT_FALSE(a.At((rb.left + rb.right) / 2, (rb.top + rb.bottom) / 2) == white);
    // The square turns at the right edge after two seconds and is back at four.
    EXPECT_EQ(vdsample::SquareRect(320, 240, 2000).right, 320);
    EXPECT_EQ(vdsample::SquareRect(320, 240, 4000).left, 0);
    EXPECT_NE(a.rgb, b.rgb);
    EXPECT_EQ(vdsample::ClockText(3723004), "01:02:03.004");
}

// The picture number read back from the luma of a picture, as stored, as
// shown scaled, and as a strip of a bottom-up RGB screen; damage is refused.
TEST(SamplePictures, PictureCodeReadsBack) {
    struct Case {
        int width, height, index;
        int shownWidth, shownHeight;  // the picture scaled to this
        bool damage;
        int expect;
    } cases[] = {
        {352, 288, 0, 352, 288, false, 0},
        {352, 288, 1234, 352, 288, false, 1234},
        {320, 240, 65535, 640, 480, false, 65535},
        {640, 480, 65536 + 7, 320, 240, false, 7},
        {1920, 1080, 40000, 1280, 720, false, 40000},
        {352, 288, 99, 352, 288, true, -1},
        {128, 96, 5, 128, 96, false, -1},  // too small to carry the code
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " #" + std::to_string(c.index));
        const vdsample::Image picture = vdsample::RenderPicture(c.width, c.height, c.index, 25);
        // Scaled by nearest neighbour into bottom-up BGRA rows, like a screen.
        std::vector<uint8_t> screen(size_t(c.shownWidth) * size_t(c.shownHeight) * 4);
        for (int y = 0; y < c.shownHeight; ++y)
            for (int x = 0; x < c.shownWidth; ++x) {
                const vdsample::Rgb p = picture.At(x * c.width / c.shownWidth, y * c.height / c.shownHeight);
                uint8_t* q = &screen[(size_t(c.shownHeight - 1 - y) * size_t(c.shownWidth) + size_t(x)) * 4];
                q[0] = p.b, q[1] = p.g, q[2] = p.r;
            }
        if (c.damage) {  // one cell of the lower row made equal to the one above it
            const vdsample::PictureCodeLayout l = vdsample::PictureCodeLayoutFor(c.width, c.height);
            for (int y = l.top + l.cell; y < l.top + 2 * l.cell; ++y)
                for (int x = l.left + 3 * l.cell; x < l.left + 4 * l.cell; ++x)
                    std::memcpy(
                        &screen[(size_t(c.shownHeight - 1 - y) * size_t(c.shownWidth) + size_t(x)) * 4],
                        &screen[(size_t(c.shownHeight - 1 - (y - l.cell)) * size_t(c.shownWidth) + size_t(x)) * 4], 4);
        }
        vdsample::SampleGrid grid;
        grid.first = &screen[size_t(c.shownHeight - 1) * size_t(c.shownWidth) * 4 + 1];  // green, top row
        grid.pixelStep = 4;
        grid.rowStride = -ptrdiff_t(c.shownWidth) * 4;
        grid.imageWidth = c.shownWidth;
        grid.imageHeight = c.shownHeight;
        grid.pictureWidth = c.width;
        grid.pictureHeight = c.height;
        EXPECT_EQ(vdsample::ReadPictureCode(grid), c.expect);
        // A strip starting below the code's top reads nothing.
        if (c.expect >= 0) {
            vdsample::SampleGrid strip = grid;
            strip.firstRow = c.shownHeight - 1;
            strip.first = &screen[1];
            EXPECT_EQ(vdsample::ReadPictureCode(strip), -1);
        }
    }
}

// A decoded picture is told from the pattern's own by its worst 16 x 16
// block: coding noise stays small, a damaged block or another picture does not.
TEST(SamplePictures, DamagedPicturesAreUnlikeThePattern) {
    constexpr int w = 352, h = 288, index = 37;
    const std::vector<uint8_t> own = vdsample::ToYuv420(vdsample::RenderPicture(w, h, index, 25), false);
    std::vector<uint8_t> noisy = own;
    uint32_t seed = 7;
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        seed = seed * 1664525u + 1013904223u;
        noisy[i] = uint8_t(std::clamp(int(noisy[i]) + int(seed >> 29) - 3, 0, 255));  // -3..+4
    }
    std::vector<uint8_t> grey = own;  // one block concealed as flat grey, in the bars
    for (int y = 32; y < 48; ++y) std::memset(&grey[size_t(y) * w + 64], 128, 16);
    const std::vector<uint8_t> next = vdsample::ToYuv420(vdsample::RenderPicture(w, h, index + 1, 25), false);
    struct Case {
        const char* name;
        const std::vector<uint8_t>& luma;
        int atMost, above;
    } cases[] = {
        {"the picture itself", own, 0, -1},
        {"with coding noise", noisy, 5, -1},
        {"a block concealed", grey, 255, 24},
        {"the next picture", next, 255, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int d = vdsample::WorstBlockDifference(c.luma.data(), w, w, h, index, 25);
        EXPECT_LE(d, c.atMost);
        EXPECT_GT(d, c.above);
    }
    EXPECT_EQ(vdsample::WorstBlockDifference(nullptr, w, w, h, index, 25), 255);
}

TEST(SampleTone, BlocksJoinIntoOneSteadySine) {
    vdsample::TonePlan tone;
    std::vector<int16_t> all;
    for (int i = 0; i < 25; ++i) {
        std::vector<int16_t> block = vdsample::ToneForPicture(tone, i, 25);
        EXPECT_EQ(block.size(), 640u);
        all.insert(all.end(), block.begin(), block.end());
    }
    int crossings = 0;
    for (size_t n = 1; n < all.size(); ++n)
        if ((all[n - 1] < 0) != (all[n] < 0)) ++crossings;
    EXPECT_NEAR(crossings, 880, 2);  // 440 Hz: two crossings per period
    for (size_t n = 0; n < all.size(); n += 97) {
        const double expected = 0.3 * 32767.0 * std::sin(2.0 * 3.14159265358979323846 * 440.0 * double(n) / 16000.0);
        EXPECT_NEAR(all[n], expected, 2.0) << n;
    }
    // Uneven division (16000 / 30) still adds up to whole seconds.
    EXPECT_EQ(vdsample::SamplesBefore(tone, 30, 30), 16000);
    size_t total = 0;
    for (int i = 0; i < 30; ++i) total += vdsample::ToneForPicture(tone, i, 30).size();
    EXPECT_EQ(total, 16000u);
}

TEST(SamplePlan, RefusesWhatPlanarPicturesOrTheSdkCannotTake) {
    struct Case {
        int width, height, fps;
        double seconds;
        bool ok;
    } cases[] = {{640, 480, 25, 10, true},  {650, 480, 25, 10, false}, {640, 481, 25, 10, false},
                 {8, 8, 25, 1, false},      {640, 480, 0, 1, false},   {640, 480, 25, 0, false},
                 {16384, 16, 25, 1, false}, {1920, 1080, 25, 1, true}, {640, 480, 25, 3601, false}};
    for (const Case& c : cases) {
        vdsample::RecordingPlan s;
        s.width = c.width;
        s.height = c.height;
        s.fps = c.fps;
        s.seconds = c.seconds;
        EXPECT_EQ(vdsample::CheckPlan(s).empty(), c.ok)
            << c.width << "x" << c.height << " " << c.fps << " " << c.seconds;
    }
}

TEST(SamplePlan, SideFileSitsBesideTheMediaFile) {
    EXPECT_EQ(vdsample::SideFilePath("out/sample.avi"), "out/sample.lti");
    EXPECT_EQ(vdsample::SideFilePath("C:\\rec\\cam1.dat"), "C:\\rec\\cam1.lti");
    EXPECT_EQ(vdsample::SideFilePath("dir.v2/noext"), "dir.v2/noext.lti");
}

}  // namespace
