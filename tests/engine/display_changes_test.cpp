// Pictures that change kind or size while a port plays: each one is shown
// in its own format (the video surface follows the kind, the DrawDib
// fallback follows the size), never copied into a surface made for another.
#include <gtest/gtest.h>

#include "engine/playback_fixture.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00, kCyan = 0x00FFFF;

TEST_F(PlaybackTest, KindAndSizeChangesAreEachShownInTheirOwnFormat) {
    ASSERT_NO_FATAL_FAILURE(ShowPort({64, 48}));  // smaller pictures are stretched over the window

    struct Step {
        int kind;
        int width;
        int height;
        std::uint32_t colour;
    } steps[] = {
        {kI420, 64, 48, kRed},                             // same size, another kind (I420 goes through DrawDib here)
        {kUyvy, 64, 48, kGreen},                           // packed after planar
        {kYv12, 64, 48, kBlue},                            // planar after packed
        {kYuy2, 64, 48, kYellow}, {kI420, 32, 24, kCyan},  // the fallback at another size
        {kI420, 64, 48, kRed},    {kYv12, 32, 24, kGreen},  {kRgb32, 64, 48, kBlue},
        {kUyvy, 32, 24, kWhite},  {kYv12, 64, 48, kYellow},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << KindName(s.kind) << " " << s.width << "x" << s.height);
        ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, FlatFrame(s.width, s.height, s.colour, s.kind)), 0);
        EXPECT_TRUE(ShowsColour(*window_, s.colour)) << CentreColour(*window_);
    }
    EndShownPort();
}

}  // namespace
}  // namespace vdtest
