// What reaches the screen: pictures of every kind delivered by the SDK are
// shown in the window, read back pixel by pixel.
#include <gtest/gtest.h>

#include "playback/playback_fixture.h"

namespace vdtest {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

class DisplayKinds : public PlaybackTest, public ::testing::WithParamInterface<int> {};

// Colour bars at the window's own size (nothing is scaled), probed at the
// centre of each bar. The tolerance covers the display's own YUV conversion.
TEST_P(DisplayKinds, ColourBarsReachTheWindow) {
    const int kind = GetParam();
    const int width = 320, height = 240;
    TestWindow window(width, height);
    ASSERT_NE(window.handle(), nullptr);
    const int port = OpenFilePort();
    ASSERT_EQ(decoder_->Play(port, window.handle()), 0);

    const RgbPicture bars = ColourBars(width, height, {kRed, kGreen, kBlue, kWhite});
    const std::vector<std::uint8_t> bytes = Encode(bars, kind);
    std::vector<Probe> probes;
    for (int bar = 0; bar < 4; ++bar) probes.push_back({bar * width / 4 + width / 8, height / 2, bars.At(bar * width / 4 + width / 8, 0)});

    bool shown = false;
    for (int attempt = 0; attempt < 20 && !shown; ++attempt) {
        ASSERT_EQ(Deliver(port, bytes, width, height, kind), 0);
        shown = ShowsColours(window, probes, 48, 500);
    }
    EXPECT_TRUE(shown) << KindName(kind) << ": " << Describe(window, probes);
    EXPECT_EQ(decoder_->Stop(port), 0);
    EXPECT_EQ(decoder_->CloseFile(port), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DisplayKinds, ::testing::Values(kRgb32, kYv12, kUyvy, kI420, kYuy2),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(KindName(info.param)); });

}  // namespace
}  // namespace vdtest
