// The overlay of a file port's side file, as it reaches the screen through
// either video output: items are drawn over the video in their colours while
// their time span covers the picture's stamp, and nothing else covers the
// video; both outputs draw the same overlay pixels.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/overlay_screen_fixture.h"

namespace vdtest {
namespace {

class OverlayOnScreen : public OverlayScreenTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        output_.reset(new ForcedOutput(GetParam()));
        OverlayScreenTest::SetUp();
    }
    void TearDown() override {
        OverlayScreenTest::TearDown();
        output_.reset();
    }

private:
    std::unique_ptr<ForcedOutput> output_;
};

TEST_P(OverlayOnScreen, ItemsAppearInTheirColoursWithinTheirSpanOnly) {
    ASSERT_NO_FATAL_FAILURE(
        PlayWithSideFile("<Overlay>"
                         "<Group Stamp=\"1\">"
                         "<Line ID=\"bar\" Color=\"FF0000\"><Point>10,100</Point><Point>300,100</Point></Line>"
                         "<Line ID=\"dot\" Color=\"00FF00\"><Point>50,50</Point></Line>"
                         "<Line ID=\"hidden\" Color=\"FF00FF\"><Point>10,200</Point><Point>300,200</Point></Line>"
                         "</Group>"
                         "<Group Stamp=\"2\"><Line ID=\"bar\"/></Group>"
                         "</Overlay>"));

    const std::vector<Probe> inside = {{150, 100, kRed}, {150, 60, kBlack}, {50, 50, kBlack}, {150, 200, kBlack}};
    EXPECT_TRUE(Shows(1000, inside)) << "stamp 1000: " << Describe(*window_, inside);
    EXPECT_TRUE(Shows(2000, inside)) << "stamp 2000: " << Describe(*window_, inside);
    const std::vector<Probe> outside = {{150, 100, kBlack}, {200, 100, kBlack}};
    EXPECT_TRUE(Shows(999, outside)) << "stamp 999: " << Describe(*window_, outside);
    EXPECT_TRUE(Shows(2001, outside)) << "stamp 2001: " << Describe(*window_, outside);
    // A file port keeps its items: back inside the span, the line is there again.
    EXPECT_TRUE(Shows(1500, inside)) << "stamp 1500: " << Describe(*window_, inside);
    EndShownPort();
}

TEST_P(OverlayOnScreen, TextGlyphsCoverTheVideoOnlyWhereTheyAre) {
    ASSERT_NO_FATAL_FAILURE(
        PlayWithSideFile("<Overlay><Group Stamp=\"0\"><Text ID=\"t\" Color=\"00ff00\" "
                         "Pos=\"20,100\">WWWWWWWW</Text></Group></Overlay>"));
    const std::vector<std::uint8_t> black = Encode(Flat(320, 240, kBlack), kYv12);
    bool green = false;
    int coloured = 0;
    for (int attempt = 0; attempt < 20 && !green; ++attempt) {
        Deliver(port_, black, 320, 240, kYv12, 10);
        window_->Pump();
        Sleep(100);
        const std::vector<std::uint32_t> pixels = window_->Capture();
        coloured = 0;
        int greenPixels = 0;
        for (std::uint32_t pixel : pixels) {
            if (Near(pixel, kGreen, 60))
                ++greenPixels;
            else if (!Near(pixel, kBlack, 40))
                ++coloured;
        }
        green = greenPixels > 20;
    }
    EXPECT_TRUE(green) << "no glyphs drawn";
    EXPECT_EQ(coloured, 0) << "pixels neither glyph nor video (an opaque text background?)";
    EndShownPort();
}

INSTANTIATE_TEST_SUITE_P(Outputs, OverlayOnScreen, ::testing::Values("ddraw", "drawdib"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The same overlay over the same picture, read back from the window once
// through each output: the overlay's pixels are at the same places (the
// picture is the window's size, so nothing is scaled).
TEST_F(OverlayScreenTest, BothOutputsDrawTheSameOverlayPixels) {
    const std::string side =
        "<Overlay><Group Stamp=\"0\">"
        "<Line ID=\"box\" Color=\"FF0000\"><Point>40,40</Point><Point>280,40</Point><Point>280,200</Point>"
        "<Point>40,200</Point><Point>40,40</Point></Line>"
        "<Line ID=\"slant\" Color=\"0000FF\"><Point>60,60</Point><Point>250,180</Point></Line>"
        "<Text ID=\"tag\" Color=\"00FF00\" Pos=\"60,100\">CAMERA 1 target</Text>"
        "</Group></Overlay>";
    const std::vector<Probe> drawn = {{160, 40, kRed}, {280, 120, kRed}};
    std::vector<std::vector<bool>> masks;
    for (const char* name : {"ddraw", "drawdib"}) {
        SCOPED_TRACE(name);
        ForcedOutput output(name);
        ASSERT_NO_FATAL_FAILURE(PlayWithSideFile(side));
        ASSERT_TRUE(Shows(10, drawn)) << Describe(*window_, drawn);
        int glyphs = 0;
        ASSERT_TRUE(ShowsGlyphs(10, RECT{60, 100, 280, 130}, kGreen, 20, &glyphs));
        // DirectDraw blits the video and then the overlay: a read-back may
        // fall between the two, so it is taken until two in a row agree and
        // hold the overlay.
        std::vector<bool> mask, previous;
        WaitFor(
            [&] {
                previous.swap(mask);
                mask.clear();
                int count = 0;
                for (std::uint32_t pixel : window_->Capture()) {
                    mask.push_back(Near(pixel, kRed, 60) || Near(pixel, kGreen, 60) || Near(pixel, kBlue, 60));
                    count += mask.back() ? 1 : 0;
                }
                return count > 500 && mask == previous;
            },
            5000, window_.get());
        masks.push_back(mask);
        EndShownPort();
    }
    ASSERT_EQ(masks[0].size(), masks[1].size());
    int overlay = 0, differ = 0;
    for (std::size_t i = 0; i < masks[0].size(); ++i) {
        overlay += masks[0][i] ? 1 : 0;
        differ += masks[0][i] != masks[1][i] ? 1 : 0;
    }
    EXPECT_GT(overlay, 500);
    EXPECT_EQ(differ, 0) << "of " << overlay << " overlay pixels";
}

}  // namespace
}  // namespace vdtest
