// Edges of the overlay as they reach the screen: seeking a file port back and
// forth, side files that are malformed, that belong to a media name without an
// extension, and that come with a byte-order mark in UTF-8 or UTF-16.
//
// (Stream ports get no side file through the boundary, so their expiry of
// items is tested on the item list's own query, in tests/overlay.)
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "engine/overlay_screen_fixture.h"

namespace vdtest {
namespace {

class OverlayEdgesOnScreen : public OverlayScreenTest {};

// A horizontal line across the picture at `y`, with the probes that see it.
std::string Line(const char* id, const char* colour, int y) {
    return std::string("<Line ID=\"") + id + "\" Color=\"" + colour + "\"><Point>10," + std::to_string(y) +
           "</Point><Point>300," + std::to_string(y) + "</Point></Line>";
}

TEST_F(OverlayEdgesOnScreen, SeekingBackAndForthShowsTheItemsOfEachStamp) {
    // Red from 1 s to 2 s; green from 5 s on; blue from 3 s to 6 s.
    std::string side = "<Overlay>";
    side += "<Group Stamp=\"1\">" + Line("early", "ff0000", 60) + "</Group>";
    side += "<Group Stamp=\"2\"><Line ID=\"early\"/></Group>";
    side += "<Group Stamp=\"3\">" + Line("middle", "0000ff", 180) + "</Group>";
    side += "<Group Stamp=\"5\">" + Line("late", "00ff00", 120) + "</Group>";
    side += "<Group Stamp=\"6\"><Line ID=\"middle\"/></Group></Overlay>";
    ASSERT_NO_FATAL_FAILURE(PlayWithSideFile(side));

    struct Step {
        int seekSeconds;
        unsigned int stamp;
        std::uint32_t early, late, middle;  // what the window shows on each line
    };
    const Step steps[] = {
        {1, 1500, kRed, kBlack, kBlack},   {5, 5000, kBlack, kGreen, kBlue},
        {1, 1000, kRed, kBlack, kBlack},                                     // back: nothing of the file was dropped
        {7, 7000, kBlack, kGreen, kBlack}, {2, 2000, kRed, kBlack, kBlack},  // the end of a span is inclusive
        {0, 999, kBlack, kBlack, kBlack},  {6, 6000, kBlack, kGreen, kBlue},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(decoder_->SetPlayTime(port_, step.seekSeconds), 0);
        const std::vector<Probe> probes = {
            {150, 60, step.early}, {150, 120, step.late}, {150, 180, step.middle}, {150, 90, kBlack}};
        EXPECT_TRUE(Shows(step.stamp, probes)) << "after seeking to " << step.seekSeconds << " s, picture "
                                               << step.stamp << ": " << Describe(*window_, probes);
    }
    EXPECT_EQ(deployment_.sdk.CallCount("KV_SetPlayTime"), static_cast<int>(std::size(steps)));
    EndShownPort();
}

TEST_F(OverlayEdgesOnScreen, AMalformedSideFileShowsNothing) {
    const std::string line = Line("bar", "ff0000", 60);
    struct Case {
        const char* what;
        std::string sideFile;
        bool drawn;
    };
    const Case cases[] = {
        {"well formed (the control)", "<Overlay><Group Stamp=\"0\">" + line + "</Group></Overlay>", true},
        {"two top-level elements", "<Overlay><Group Stamp=\"0\">" + line + "</Group></Overlay><Overlay/>", false},
        {"a stray end tag", "<Overlay><Group Stamp=\"0\">" + line + "</Group></Stray></Overlay>", false},
        {"an unclosed element", "<Overlay><Group Stamp=\"0\">" + line + "</Group>", false},
        {"an unclosed tag at the end", "<Overlay><Group Stamp=\"0\">" + line + "</Group></Overlay", false},
        {"a broken comment", "<Overlay><!- x --><Group Stamp=\"0\">" + line + "</Group></Overlay>", false},
        {"no markup at all", "Line 10,60 300,60", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(PlayWithSideFile(c.sideFile));
        // Blue video: the picture is seen, and whatever covers it.
        const std::vector<Probe> probes = {{150, 60, c.drawn ? kRed : kBlue}, {150, 100, kBlue}};
        EXPECT_TRUE(Shows(0, probes, kBlue)) << Describe(*window_, probes);
        EndShownPort();
    }
}

TEST_F(OverlayEdgesOnScreen, TheSideFileOfAMediaNameWithoutAnExtensionIsFound) {
    struct Case {
        const char* media;
        const char* sideFile;
        bool drawn;
    };
    const Case cases[] = {
        {"cam3", "cam3.lti", true},
        // A dot in a directory's name is not the file's extension.
        {"rec.d\\cam3", "rec.d\\cam3.lti", true},
        {"rec.d\\cam4", "rec.lti", false},
        {"cam5.avi", "cam5.lti", true},
        {"cam6.avi", "cam6.avi.lti", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.media) + " with " + c.sideFile);
        ASSERT_NO_FATAL_FAILURE(PlayWithSideFile(
            "<Overlay><Group Stamp=\"0\">" + Line("bar", "ff0000", 60) + "</Group></Overlay>", c.media, c.sideFile));
        const std::vector<Probe> probes = {{150, 60, c.drawn ? kRed : kBlue}, {150, 100, kBlue}};
        EXPECT_TRUE(Shows(0, probes, kBlue)) << Describe(*window_, probes);
        EndShownPort();
    }
}

// The side file's bytes for a document given as UTF-16 code units (all in
// the Basic Multilingual Plane).
enum class Encoding { kUtf8, kUtf8Mark, kUtf16LittleEndian, kUtf16BigEndian };

std::string Bytes(const std::u16string& document, Encoding encoding) {
    std::string out;
    switch (encoding) {
        case Encoding::kUtf8Mark:
            out = "\xEF\xBB\xBF";
            [[fallthrough]];
        case Encoding::kUtf8:
            for (char16_t u : document) {
                if (u < 0x80) {
                    out += static_cast<char>(u);
                } else if (u < 0x800) {
                    out += static_cast<char>(0xC0 | (u >> 6));
                    out += static_cast<char>(0x80 | (u & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (u >> 12));
                    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (u & 0x3F));
                }
            }
            return out;
        case Encoding::kUtf16LittleEndian:
        case Encoding::kUtf16BigEndian: {
            const bool little = encoding == Encoding::kUtf16LittleEndian;
            out = little ? "\xFF\xFE" : "\xFE\xFF";
            for (char16_t u : document) {
                const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
                out += little ? low : high;
                out += little ? high : low;
            }
            return out;
        }
    }
    return out;
}

TEST_F(OverlayEdgesOnScreen, SideFilesWithAByteOrderMarkDrawTheirLinesAndTexts) {
    // Non-ASCII text in the text and in a comment (the code page shows both
    // e with acute and the degree sign); the line and the text must come
    // through the conversion intact.
    const std::u16string document =
        u"<Overlay><!-- caf\u00E9 \u00B0 --><Group Stamp=\"0\">"
        u"<Line ID=\"bar\" Color=\"ff0000\"><Point>10,60</Point><Point>300,60</Point></Line>"
        u"<Text ID=\"t\" Color=\"00ff00\" Pos=\"20,140\">Caf\u00E9 WWWW \u00B0</Text>"
        u"</Group></Overlay>";
    const std::pair<const char*, Encoding> encodings[] = {
        {"UTF-8 without a mark", Encoding::kUtf8},
        {"UTF-8 with a byte-order mark", Encoding::kUtf8Mark},
        {"UTF-16 little-endian", Encoding::kUtf16LittleEndian},
        {"UTF-16 big-endian", Encoding::kUtf16BigEndian},
    };
    for (const auto& [what, encoding] : encodings) {
        SCOPED_TRACE(what);
        ASSERT_NO_FATAL_FAILURE(PlayWithSideFile(Bytes(document, encoding)));
        const std::vector<Probe> probes = {{150, 60, kRed}, {150, 100, kBlack}};
        EXPECT_TRUE(Shows(0, probes)) << Describe(*window_, probes);
        int others = 0;
        EXPECT_TRUE(ShowsGlyphs(0, RECT{20, 130, 300, 200}, kGreen, 20, &others)) << "no glyphs";
        EXPECT_EQ(others, 0) << "pixels neither glyph nor video";
        EndShownPort();
    }
}

}  // namespace
}  // namespace vdtest
