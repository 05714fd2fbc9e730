// The overlay of a file port's side file, as it reaches the screen: items are
// drawn over the video in their colours while their time span covers the
// picture's stamp, and nothing else covers the video.
#include <gtest/gtest.h>

#include <fstream>

#include "playback/playback_fixture.h"

namespace vdtest {
namespace {

constexpr std::uint32_t kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00;

class OverlayOnScreen : public PlaybackTest {
protected:
    int OpenWithSideFile(const std::string& sideFile) {
        const std::string media = deployment_.directory.path() + "\\cam1.avi";
        std::ofstream(deployment_.directory.path() + "\\cam1.lti", std::ios::binary) << sideFile;
        deployment_.sdk.SetOpenPort(5);
        int port = -1;
        EXPECT_EQ(decoder_->OpenFile(media.c_str(), &port), 0);
        return port;
    }

    // Shows a black picture stamped `stamp` until the window shows what is expected.
    bool Shows(TestWindow& window, int port, unsigned int stamp, const std::vector<Probe>& probes) {
        const std::vector<std::uint8_t> black = Encode(Flat(320, 240, kBlack), kYv12);
        for (int attempt = 0; attempt < 20; ++attempt) {
            Deliver(port, black, 320, 240, kYv12, stamp);
            if (ShowsColours(window, probes, 60, 400)) return true;
        }
        return false;
    }
};

TEST_F(OverlayOnScreen, ItemsAppearInTheirColoursWithinTheirSpanOnly) {
    const int port = OpenWithSideFile(
        "<Overlay>"
        "<Group Stamp=\"1\">"
        "<Line ID=\"bar\" Color=\"FF0000\"><Point>10,100</Point><Point>300,100</Point></Line>"
        "<Line ID=\"dot\" Color=\"00FF00\"><Point>50,50</Point></Line>"
        "<Line ID=\"hidden\" Color=\"FF00FF\"><Point>10,200</Point><Point>300,200</Point></Line>"
        "</Group>"
        "<Group Stamp=\"2\"><Line ID=\"bar\"/></Group>"
        "</Overlay>");
    TestWindow window(320, 240);
    ASSERT_EQ(decoder_->Play(port, window.handle()), 0);

    const std::vector<Probe> inside = {{150, 100, kRed}, {150, 60, kBlack}, {50, 50, kBlack}, {150, 200, kBlack}};
    EXPECT_TRUE(Shows(window, port, 1000, inside)) << "stamp 1000: " << Describe(window, inside);
    EXPECT_TRUE(Shows(window, port, 2000, inside)) << "stamp 2000: " << Describe(window, inside);
    const std::vector<Probe> outside = {{150, 100, kBlack}, {200, 100, kBlack}};
    EXPECT_TRUE(Shows(window, port, 999, outside)) << "stamp 999: " << Describe(window, outside);
    EXPECT_TRUE(Shows(window, port, 2001, outside)) << "stamp 2001: " << Describe(window, outside);
    // A file port keeps its items: back inside the span, the line is there again.
    EXPECT_TRUE(Shows(window, port, 1500, inside)) << "stamp 1500: " << Describe(window, inside);
    EXPECT_EQ(decoder_->Stop(port), 0);
    EXPECT_EQ(decoder_->CloseFile(port), 0);
}

TEST_F(OverlayOnScreen, TextGlyphsCoverTheVideoOnlyWhereTheyAre) {
    const int port = OpenWithSideFile(
        "<Overlay><Group Stamp=\"0\"><Text ID=\"t\" Color=\"00ff00\" Pos=\"20,100\">WWWWWWWW</Text></Group></Overlay>");
    TestWindow window(320, 240);
    ASSERT_EQ(decoder_->Play(port, window.handle()), 0);
    const std::vector<std::uint8_t> black = Encode(Flat(320, 240, kBlack), kYv12);
    bool green = false;
    int coloured = 0;
    for (int attempt = 0; attempt < 20 && !green; ++attempt) {
        Deliver(port, black, 320, 240, kYv12, 10);
        window.Pump();
        Sleep(100);
        const std::vector<std::uint32_t> pixels = window.Capture();
        coloured = 0;
        int greenPixels = 0;
        for (std::uint32_t pixel : pixels) {
            if (Near(pixel, kGreen, 60)) ++greenPixels;
            else if (!Near(pixel, kBlack, 40)) ++coloured;
        }
        green = greenPixels > 20;
    }
    EXPECT_TRUE(green) << "no glyphs drawn";
    EXPECT_EQ(coloured, 0) << "pixels neither glyph nor video (an opaque text background?)";
    EXPECT_EQ(decoder_->Stop(port), 0);
    EXPECT_EQ(decoder_->CloseFile(port), 0);
}

}  // namespace
}  // namespace vdtest
