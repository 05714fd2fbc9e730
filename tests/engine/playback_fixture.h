// A decoder bound to the scriptable SDK, with helpers to open ports, show
// one in a window of its own, and deliver pictures as the SDK's decoding
// thread would.
#ifndef TESTS_ENGINE_PLAYBACK_FIXTURE_H
#define TESTS_ENGINE_PLAYBACK_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "common/plugin_fixture.h"
#include "common/test_pictures.h"
#include "common/test_window.h"
#include "engine/playback_helpers.h"

namespace vdtest {

// A port shown in a window of its own: the window's size, and the port the
// SDK hands out, a file port or a paced stream port.
struct ShownPort {
    int width = 64;
    int height = 48;
    bool pacedStream = false;
    int port = 7;
};

class PlaybackTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 64, kHeight = 48;
    static constexpr std::uint32_t kGrey = 0x808080, kWhite = 0xFFFFFF;

    void SetUp() override;
    // Also stops and closes a port still shown, and closes its window.
    void TearDown() override;

    // Opens a file port (the SDK hands out `port`); fails the test if it cannot.
    int OpenFilePort(int port = 7);
    int OpenStreamPort(int port, int paced);

    // Delivers the picture through the frame callback the plug-in gave KV_Play.
    int Deliver(int port, const std::vector<std::uint8_t>& bytes, int width, int height, int kind,
                unsigned int stamp = 0, int frameRate = 25) {
        return deployment_.sdk.Deliver(port, bytes.data(), static_cast<int>(bytes.size()), width, height, stamp, kind,
                                       frameRate);
    }

    // The shown port (port_) in its window (window_). The helpers fail the
    // test fatally when they cannot do their part; wrap them in
    // ASSERT_NO_FATAL_FAILURE where the test cannot go on without it.
    //
    // Opens the port as `how` says and a new window of its size; no Play yet.
    void OpenWithWindow(const ShownPort& how = {});
    // Plays the port, opened as `how` says, in a new window of its size.
    void PlayInWindow(const ShownPort& how = {});
    // Plays `filePort`, open already, in a new window of the size.
    void PlayInWindow(int filePort, int width, int height);
    // Brings the first picture to the window, then one of the settle colour
    // (see ShowFirstPicture): flat pictures of the window's size and kind.
    void ShowFirst(std::uint32_t first = kGrey, std::uint32_t settle = kWhite, int kind = kYv12) {
        ShowFirst(Frame(first, kind), first, Frame(settle, kind), settle);
    }
    void ShowFirst(const SdkFrame& first, std::uint32_t firstColour, const SdkFrame& settle,
                   std::uint32_t settleColour);
    // PlayInWindow and ShowFirst: the port already shows a picture (grey,
    // then white, so that nothing earlier is still on its way).
    void ShowPort(const ShownPort& how = {}) {
        PlayInWindow(how);
        if (!HasFatalFailure()) ShowFirst();
    }
    // Stops and closes the shown port, each of which must succeed, and closes
    // its window.
    void EndShownPort();

    // A flat picture of the window's size (64 x 48 without a window).
    SdkFrame Frame(std::uint32_t colour, int kind = kYv12) const {
        return FlatFrame(window_ ? window_->width() : kWidth, window_ ? window_->height() : kHeight, colour, kind);
    }
    // Delivers the frames to the shown port from a thread of its own; a
    // delivery still held at the end is released by stopping the port.
    std::unique_ptr<DeliveryThread> Deliveries(std::vector<SdkFrame> frames) {
        return std::unique_ptr<DeliveryThread>(
            new DeliveryThread(deployment_.sdk, port_, std::move(frames), [this] { decoder_->Stop(port_); }));
    }

    Deployment deployment_;
    Orvane::IVideoDecoder_M* decoder_ = nullptr;
    std::unique_ptr<TestWindow> window_;
    int port_ = -1;

private:
    bool shownStream_ = false;
};

// Every test starts with a port shown (ShowPort), as `how` says.
class ShownPortTest : public PlaybackTest {
protected:
    explicit ShownPortTest(ShownPort how = {}) : how_(how) {}
    void SetUp() override {
        PlaybackTest::SetUp();
        if (!HasFatalFailure()) ShowPort(how_);
    }

private:
    const ShownPort how_;
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
