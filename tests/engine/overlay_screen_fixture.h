// File ports opened with an overlay side file beside them, and what their
// pictures bring to the window: black pictures the size of the window's client
// area (nothing is scaled), so overlay pixels are read back where they were
// drawn.
#ifndef TESTS_ENGINE_OVERLAY_SCREEN_FIXTURE_H
#define TESTS_ENGINE_OVERLAY_SCREEN_FIXTURE_H

#include <string>
#include <vector>

#include "engine/playback_fixture.h"

namespace vdtest {

constexpr std::uint32_t kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class OverlayScreenTest : public PlaybackTest {
protected:
    static constexpr int kWidth = 320, kHeight = 240;

    // Writes `sideFile` (bytes as they are) under `sideName` in the deployment
    // directory, opens `mediaName` there as a file port and plays it in a
    // window of the pictures' size (the shown port). Names may hold a
    // subdirectory, which is created.
    void PlayWithSideFile(const std::string& sideFile, const std::string& mediaName = "cam1.avi",
                          const std::string& sideName = "cam1.lti");

    // Delivers pictures of one colour (`video`) stamped `stamp` to the shown
    // port until its window shows the probes' colours (a few seconds at most).
    bool Shows(unsigned int stamp, const std::vector<Probe>& probes, std::uint32_t video = kBlack);

    // Delivers black pictures stamped `stamp` until more than `least` pixels
    // of the rectangle come near `colour` (a few seconds at most). `others`
    // gets the number of pixels there that are neither that colour nor black.
    bool ShowsGlyphs(unsigned int stamp, const RECT& area, std::uint32_t colour, int least, int* others = nullptr);
};

}  // namespace vdtest

#endif
