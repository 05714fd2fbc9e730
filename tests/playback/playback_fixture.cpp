#include "playback/playback_fixture.h"

#include <cstdio>

namespace vdtest {

void PlaybackTest::SetUp() {
    ASSERT_TRUE(deployment_.sdk.loaded());
    ASSERT_TRUE(deployment_.plugin.loaded());
    decoder_ = deployment_.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
    ASSERT_NE(decoder_, nullptr);
    ASSERT_EQ(decoder_->Initialize(0), 0);
}

void PlaybackTest::TearDown() {
    if (!decoder_) return;
    decoder_->Release();
    deployment_.plugin.ReleaseObject(decoder_);
}

void ShownPortTest::SetUp() {
    PlaybackTest::SetUp();
    if (HasFatalFailure()) return;
    window_.reset(new TestWindow(kWidth, kHeight));
    ASSERT_NE(window_->handle(), nullptr);
    port_ = pacedStream_ ? OpenStreamPort(8, 1) : OpenFilePort(7);
    ASSERT_EQ(decoder_->Play(port_, window_->handle()), 0);
    ASSERT_TRUE(ShowFirstPicture(deployment_.sdk, port_, *window_, Frame(kGrey), kGrey, Frame(kWhite), kWhite))
        << CentreColour(*window_);
}

void ShownPortTest::TearDown() {
    if (decoder_ && port_ >= 0) {
        decoder_->Stop(port_);
        if (pacedStream_) {
            decoder_->CloseStream(port_);
        } else {
            decoder_->CloseFile(port_);
        }
    }
    window_.reset();
    PlaybackTest::TearDown();
}

int PlaybackTest::OpenFilePort(int port) {
    deployment_.sdk.SetOpenPort(port);
    int opened = -1;
    EXPECT_EQ(decoder_->OpenFile("C:\\recordings\\cam1.avi", &opened), 0);
    EXPECT_EQ(opened, port);
    return opened;
}

int PlaybackTest::OpenStreamPort(int port, int paced) {
    deployment_.sdk.SetOpenPort(port);
    int opened = -1;
    const char header[12] = "RIFF....AVI";
    EXPECT_EQ(decoder_->OpenStream(header, sizeof header, paced, &opened), 0);
    EXPECT_EQ(opened, port);
    return opened;
}

bool ShowsColours(TestWindow& window, const std::vector<Probe>& probes, int tolerance, int timeoutMs) {
    return WaitFor(
        [&] {
            const std::vector<std::uint32_t> pixels = window.Capture();
            for (const Probe& probe : probes) {
                if (!Near(pixels[static_cast<std::size_t>(probe.y) * window.width() + probe.x], probe.colour,
                          tolerance)) {
                    return false;
                }
            }
            return true;
        },
        timeoutMs, &window);
}

std::string Describe(TestWindow& window, const std::vector<Probe>& probes) {
    const std::vector<std::uint32_t> pixels = window.Capture();
    std::string text;
    for (const Probe& probe : probes) {
        char line[96];
        std::snprintf(line, sizeof line, "(%d,%d) want %06X got %06X; ", probe.x, probe.y,
                      static_cast<unsigned>(probe.colour),
                      static_cast<unsigned>(pixels[static_cast<std::size_t>(probe.y) * window.width() + probe.x]));
        text += line;
    }
    return text;
}

}  // namespace vdtest
