// What reaches the screen: pictures of every kind delivered by the SDK are
// shown in the window through either video output, read back pixel by pixel;
// and which output a port uses.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "engine/playback_fixture.h"
#include "player/output_trace.h"
#include "vdplay/output_traces.h"

namespace vdtest {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

class DisplayKinds : public PlaybackTest, public ::testing::WithParamInterface<std::tuple<int, const char*>> {};

// Colour bars at the window's own size (nothing is scaled), probed at the
// centre of each bar. The tolerance covers the display's own YUV conversion.
// I420 goes on a YV12 surface through DirectDraw where the display has no
// I420 surfaces: its chroma planes must be swapped on the way.
TEST_P(DisplayKinds, ColourBarsReachTheWindow) {
    const int kind = std::get<0>(GetParam());
    ForcedOutput output(std::get<1>(GetParam()));
    const int width = 320, height = 240;
    ASSERT_NO_FATAL_FAILURE(PlayInWindow({width, height}));

    const RgbPicture bars = ColourBars(width, height, {kRed, kGreen, kBlue, kWhite});
    const std::vector<std::uint8_t> bytes = Encode(bars, kind);
    std::vector<Probe> probes;
    for (int bar = 0; bar < 4; ++bar)
        probes.push_back({bar * width / 4 + width / 8, height / 2, bars.At(bar * width / 4 + width / 8, 0)});

    bool shown = false;
    for (int attempt = 0; attempt < 20 && !shown; ++attempt) {
        ASSERT_EQ(Deliver(port_, bytes, width, height, kind), 0);
        shown = ShowsColours(*window_, probes, 48, 500);
    }
    EXPECT_TRUE(shown) << KindName(kind) << ": " << Describe(*window_, probes);
    EndShownPort();
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DisplayKinds,
                         ::testing::Combine(::testing::Values(kRgb32, kYv12, kUyvy, kI420, kYuy2),
                                            ::testing::Values("ddraw", "drawdib")),
                         [](const ::testing::TestParamInfo<std::tuple<int, const char*>>& info) {
                             return std::string(KindName(std::get<0>(info.param))) + "_" + std::get<1>(info.param);
                         });

// The output a port uses is traced once it is settled: the one the setting
// forces, or in automatic mode the one the trial of the first pictures
// found cheaper (which one depends on the machine). Either way the pictures
// reach the window.
TEST_F(PlaybackTest, TheVideoOutputIsForcedOrChosenAndTraced) {
    struct Case {
        const char* setting;
        const char* output;  // "" in automatic mode: either, depending on the machine
        const char* reason;
    } cases[] = {
        {"drawdib", "drawdib", "forced"},
        {"ddraw", "ddraw", "forced"},
        {"auto", "", "cheaper"},
    };
    int port = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        ForcedOutput output(c.setting);
        vdplay::OutputTraces traces;
        ASSERT_TRUE(traces.Start());
        ASSERT_NO_FATAL_FAILURE(PlayInWindow({64, 48, false, ++port}));
        std::unique_ptr<DeliveryThread> delivery = Deliveries(std::vector<SdkFrame>(40, Frame(kRed)));
        std::vector<vdplay::OutputTrace> seen;
        const bool settled = WaitFor(
            [&] {
                for (const vdplay::OutputTrace& t : traces.TakeNew()) seen.push_back(t);
                for (const vdplay::OutputTrace& t : seen) {
                    if (t.port == port && t.reason == c.reason && (!*c.output || t.output == c.output)) return true;
                }
                return false;
            },
            30000);
        EXPECT_TRUE(settled) << (seen.empty() ? "no trace" : vdplay::OutputTraceLine(seen.back()));
        EXPECT_TRUE(ShowsColour(*window_, kRed)) << CentreColour(*window_);
        EndShownPort();
    }
}

}  // namespace
}  // namespace vdtest
