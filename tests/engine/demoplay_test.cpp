// The shipped pair end to end: VD2_DemoPlay.dll driving DemoPlay.dll plays
// real AVI recordings, as a file and as a paced live stream, into a window;
// what the window shows is compared with the snapshot of the same picture.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include "common/plugin_fixture.h"
#include "common/test_pictures.h"
#include "common/test_window.h"
#include "sdk/sample_avi.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr UINT kNotifyMessage = WM_USER + 7;

struct Frames {
    std::atomic<int> pictures{0};
    std::atomic<int> lastKind{-1};
};

int CALLBACK CountPictures(int, const void*, int, Orvane::FrameInfo* info, int context) {
    auto* frames = reinterpret_cast<Frames*>(static_cast<INT_PTR>(context));
    if (info->kind >= 2) {
        frames->pictures.fetch_add(1);
        frames->lastKind.store(info->kind);
    }
    return 0;
}

class ShippedPairPlayback : public ::testing::TestWithParam<vdsample::Video> {
protected:
    void SetUp() override {
        ASSERT_TRUE(deployment_.plugin.loaded());
        decoder_ = deployment_.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
        ASSERT_NE(decoder_, nullptr);
        ASSERT_EQ(decoder_->Initialize(0), 0);
        recipe_.video = GetParam();
        recipe_.width = 320;
        recipe_.height = 240;
        recipe_.fps = 25;
        recipe_.frames = 75;
        file_ = vdsample::Make(recipe_);
        if (recipe_.video == vdsample::Video::kYv12) PaintColourBars();
        path_ = deployment_.directory.path() + "\\recording.avi";
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(file_.bytes.data()), static_cast<std::streamsize>(file_.bytes.size()));
    }
    void TearDown() override {
        if (!decoder_) return;
        decoder_->Release();
        deployment_.plugin.ReleaseObject(decoder_);
    }

    void ExpectWindowShowsSnapshot(int port, TestWindow& window) {
        EXPECT_EQ(WindowVersusSnapshot(*decoder_, port, window, deployment_.directory.path() + "\\shown.bmp"), "");
    }

    // The generated pictures carry a chroma pattern that changes from one
    // sample to the next, which the display's filtering smooths and the
    // snapshot does not; colour bars compare cleanly. Every stored picture
    // (a '00dc' or '00db' chunk of a whole picture's size) is repainted in
    // place, with a bar order that moves with the picture number.
    void PaintColourBars() {
        const std::uint32_t bytes = 320 * 240 * 3 / 2;
        const std::uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        int picture = 0;
        for (std::size_t at = 0; at + 8 + bytes <= file_.bytes.size(); ++at) {
            const std::uint8_t* h = &file_.bytes[at];
            const bool video = h[0] == '0' && h[1] == '0' && h[2] == 'd' && (h[3] == 'c' || h[3] == 'b');
            const std::uint32_t size = h[4] | h[5] << 8 | h[6] << 16 | static_cast<std::uint32_t>(h[7]) << 24;
            if (!video || size != bytes) continue;
            std::vector<std::uint32_t> order;
            for (int i = 0; i < 4; ++i) order.push_back(colours[(i + picture) % 4]);
            const std::vector<std::uint8_t> painted = Encode(ColourBars(320, 240, order), kYv12);
            std::copy(painted.begin(), painted.end(), file_.bytes.begin() + static_cast<std::ptrdiff_t>(at + 8));
            at += 8 + bytes - 1;
            ++picture;
        }
        ASSERT_EQ(picture, recipe_.frames);
    }

    static bool Near(std::uint32_t a, std::uint32_t b, int tolerance) {
        for (int shift = 0; shift <= 16; shift += 8) {
            const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
            if (d > tolerance || d < -tolerance) return false;
        }
        return true;
    }

    Deployment deployment_{"VD2_DemoPlay.dll", "DemoPlay.dll", "DemoPlay.dll"};
    Orvane::IVideoDecoder_M* decoder_ = nullptr;
    vdsample::Recipe recipe_;
    vdsample::File file_;
    std::string path_;
};

TEST_P(ShippedPairPlayback, FilePlaysToTheEndInTheWindow) {
    TestWindow window(320, 240);
    int port = -1;
    ASSERT_EQ(decoder_->OpenFile(path_.c_str(), &port), 0);
    int seconds = 0;
    EXPECT_EQ(decoder_->GetFileTime(port, &seconds), 0);
    EXPECT_EQ(seconds, 3);
    int width = 0, height = 0;
    EXPECT_EQ(decoder_->GetPictureSize(port, &width, &height), 0);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);

    Frames frames;
    ASSERT_EQ(decoder_->SetDecodeCallBack(port, CountPictures, static_cast<int>(reinterpret_cast<INT_PTR>(&frames))),
              0);
    ASSERT_EQ(
        decoder_->SetNotify(port, 1, static_cast<int>(reinterpret_cast<INT_PTR>(window.handle())), kNotifyMessage), 0);
    ASSERT_EQ(decoder_->Play(port, window.handle()), 0);
    ASSERT_TRUE(WaitFor([&] { return frames.pictures.load() >= 10; }, 20000, &window));
    ExpectWindowShowsSnapshot(port, window);

    // The SDK notifies the end of the file; by then every picture was handed over.
    ASSERT_TRUE(WaitFor([&] { return !window.Received(kNotifyMessage).empty(); }, 30000, &window));
    EXPECT_EQ(frames.pictures.load(), recipe_.frames);
    const auto notes = window.Received(kNotifyMessage);
    EXPECT_EQ(notes[0].first, 0u);
    EXPECT_EQ(notes[0].second, static_cast<LPARAM>(port));
    int position = 0;
    EXPECT_EQ(decoder_->GetPlayTime(port, &position), 0);
    EXPECT_GE(position, 1);  // pictures were drawn (each counts 40 ms)
    EXPECT_EQ(decoder_->Stop(port), 0);
    EXPECT_EQ(decoder_->CloseFile(port), 0);
}

TEST_P(ShippedPairPlayback, PacedStreamPlaysInTheWindow) {
    TestWindow window(320, 240);
    int port = -1;
    ASSERT_EQ(decoder_->OpenStream(file_.bytes.data(), static_cast<int>(file_.streamHeaderLength), 1, &port), 0);
    Frames frames;
    ASSERT_EQ(decoder_->SetDecodeCallBack(port, CountPictures, static_cast<int>(reinterpret_cast<INT_PTR>(&frames))),
              0);
    ASSERT_EQ(decoder_->Play(port, window.handle()), 0);

    // The live source: the rest of the recording in 4 KiB pieces from a
    // thread of its own.
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::thread source([&] {
        std::size_t at = file_.streamHeaderLength;
        while (at < file_.bytes.size() && !stop.load()) {
            const int piece = static_cast<int>(std::min<std::size_t>(4096, file_.bytes.size() - at));
            if (decoder_->InputData(port, file_.bytes.data() + at, piece) < 0) {
                refused.fetch_add(1);
                Sleep(5);
                continue;
            }
            at += static_cast<std::size_t>(piece);
        }
    });
    const bool flowing = WaitFor([&] { return frames.pictures.load() >= 10; }, 20000, &window);
    if (flowing) ExpectWindowShowsSnapshot(port, window);
    stop.store(true);
    EXPECT_EQ(decoder_->Stop(port), 0);
    source.join();
    EXPECT_TRUE(flowing) << frames.pictures.load() << " pictures";
    EXPECT_EQ(decoder_->CloseStream(port), 0);
}

INSTANTIATE_TEST_SUITE_P(Recordings, ShippedPairPlayback,
                         ::testing::Values(vdsample::Video::kYv12, vdsample::Video::kMjpeg),
                         [](const ::testing::TestParamInfo<vdsample::Video>& info) {
                             return std::string(vdsample::VideoName(info.param));
                         });

}  // namespace
}  // namespace vdtest
