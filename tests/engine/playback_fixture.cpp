#include "engine/playback_fixture.h"

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
    if (decoder_ && port_ >= 0) {
        decoder_->Stop(port_);
        if (shownStream_) {
            decoder_->CloseStream(port_);
        } else {
            decoder_->CloseFile(port_);
        }
    }
    window_.reset();
    if (!decoder_) return;
    decoder_->Release();
    deployment_.plugin.ReleaseObject(decoder_);
}

void PlaybackTest::OpenWithWindow(const ShownPort& how) {
    window_.reset(new TestWindow(how.width, how.height));
    ASSERT_NE(window_->handle(), nullptr);
    shownStream_ = how.pacedStream;
    port_ = how.pacedStream ? OpenStreamPort(how.port, 1) : OpenFilePort(how.port);
    ASSERT_EQ(port_, how.port);
}

void PlaybackTest::PlayInWindow(const ShownPort& how) {
    OpenWithWindow(how);
    if (HasFatalFailure()) return;
    ASSERT_EQ(decoder_->Play(port_, window_->handle()), 0);
}

void PlaybackTest::PlayInWindow(int filePort, int width, int height) {
    ASSERT_GE(filePort, 0);
    shownStream_ = false;
    port_ = filePort;
    window_.reset(new TestWindow(width, height));
    ASSERT_NE(window_->handle(), nullptr);
    ASSERT_EQ(decoder_->Play(port_, window_->handle()), 0);
}

void PlaybackTest::ShowFirst(const SdkFrame& first, std::uint32_t firstColour, const SdkFrame& settle,
                             std::uint32_t settleColour) {
    ASSERT_TRUE(ShowFirstPicture(deployment_.sdk, port_, *window_, first, firstColour, settle, settleColour))
        << CentreColour(*window_);
}

void PlaybackTest::EndShownPort() {
    EXPECT_EQ(decoder_->Stop(port_), 0);
    EXPECT_EQ(shownStream_ ? decoder_->CloseStream(port_) : decoder_->CloseFile(port_), 0);
    port_ = -1;
    window_.reset();
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
