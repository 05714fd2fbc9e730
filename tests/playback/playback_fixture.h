// A decoder bound to the scriptable SDK, with helpers to open ports and
// deliver pictures as the SDK's decoding thread would.
#ifndef TESTS_PLAYBACK_PLAYBACK_FIXTURE_H
#define TESTS_PLAYBACK_PLAYBACK_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "common/plugin_fixture.h"
#include "common/test_pictures.h"
#include "common/test_window.h"
#include "playback/playback_helpers.h"

namespace vdtest {

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens a file port (the SDK hands out `port`); fails the test if it cannot.
    int OpenFilePort(int port = 7);
    int OpenStreamPort(int port, int paced);

    // Delivers the picture through the frame callback the plug-in gave KV_Play.
    int Deliver(int port, const std::vector<std::uint8_t>& bytes, int width, int height, int kind,
                unsigned int stamp = 0, int frameRate = 25) {
        return deployment_.sdk.Deliver(port, bytes.data(), static_cast<int>(bytes.size()), width, height, stamp,
                                       kind, frameRate);
    }

    Deployment deployment_;
    Orvane::IVideoDecoder_M* decoder_ = nullptr;
};

// A port that plays in a small window of its own and already shows a
// picture (grey, then white, so that nothing earlier is still on its way):
// port 7 as a file port, or port 8 as a paced stream port.
class ShownPortTest : public PlaybackTest {
protected:
    static constexpr int kWidth = 64, kHeight = 48;
    static constexpr std::uint32_t kGrey = 0x808080, kWhite = 0xFFFFFF;

    explicit ShownPortTest(bool pacedStream) : pacedStream_(pacedStream) {}
    void SetUp() override;
    void TearDown() override;
    SdkFrame Frame(std::uint32_t colour) { return FlatFrame(kWidth, kHeight, colour); }

    std::unique_ptr<TestWindow> window_;
    int port_ = -1;

private:
    const bool pacedStream_;
};

// True once the window shows the expected colour at each point (centres of
// regions), within tolerance; waits up to the deadline.
struct Probe {
    int x;
    int y;
    std::uint32_t colour;
};
bool ShowsColours(TestWindow& window, const std::vector<Probe>& probes, int tolerance, int timeoutMs = 10000);
// What the window shows at the probes, for failure messages.
std::string Describe(TestWindow& window, const std::vector<Probe>& probes);

}  // namespace vdtest

#endif
