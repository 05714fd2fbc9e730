// H.264 through the shipped pair into a window: VD2_DemoPlay.dll driving
// DemoPlay.dll (with its decoder DLLs beside it) plays an H.264 AVI file and
// a raw H.264 live stream; the decode callback gets ffmpeg's own pictures and
// the window shows what the snapshot of the picture on display holds.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "common/codec_clips.h"
#include "common/plugin_fixture.h"
#include "common/test_window.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr UINT kNotifyMessage = WM_USER + 9;

// What the decode callback got: the pictures, and whether each was one of
// ffmpeg's, in order.
struct Received {
    std::vector<std::vector<std::uint8_t>> expected;
    std::mutex mutex;
    int pictures = 0;
    int identical = 0;
    int otherKinds = 0;
    size_t next = 0;
};

int CALLBACK CheckPicture(int, const void* data, int size, Orvane::FrameInfo* info, int context) {
    auto* r = reinterpret_cast<Received*>(static_cast<INT_PTR>(context));
    if (info->kind < 2) return 0;
    std::lock_guard<std::mutex> lock(r->mutex);
    ++r->pictures;
    if (info->kind != 5 || info->width != 320 || info->height != 240) {
        ++r->otherKinds;
        return 0;
    }
    const int at = FindPicture(r->expected, static_cast<const std::uint8_t*>(data), size_t(size), r->next);
    if (at == int(r->next)) ++r->identical;
    if (at >= 0) r->next = size_t(at) + 1;
    return 0;
}

class CodecScreen : public ::testing::Test {
protected:
    void SetUp() override {
        deployment_.directory.Install("avcodec-59.dll", "avcodec-59.dll");
        deployment_.directory.Install("avutil-57.dll", "avutil-57.dll");
        ASSERT_TRUE(deployment_.plugin.loaded());
        decoder_ = deployment_.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
        ASSERT_NE(decoder_, nullptr);
        ASSERT_EQ(decoder_->Initialize(0), 0);
        received_.expected = ReferencePictures("screen.yuv", 320, 240);
        ASSERT_EQ(received_.expected.size(), 75u) << "the clip screen.avi was not made";
    }
    void TearDown() override {
        if (!decoder_) return;
        decoder_->Release();
        deployment_.plugin.ReleaseObject(decoder_);
    }
    int Context() { return static_cast<int>(reinterpret_cast<INT_PTR>(&received_)); }
    int Pictures() {
        std::lock_guard<std::mutex> lock(received_.mutex);
        return received_.pictures;
    }

    // Holds the picture on display and compares the window with its
    // snapshot at a grid of points, one in each flat area and more.
    void ExpectWindowShowsSnapshot(int port, TestWindow& window) {
        EXPECT_EQ(WindowVersusSnapshot(*decoder_, port, window, deployment_.directory.path() + "\\shown.bmp"), "");
    }

    Deployment deployment_{"VD2_DemoPlay.dll", "DemoPlay.dll", "DemoPlay.dll"};
    Orvane::IVideoDecoder_M* decoder_ = nullptr;
    Received received_;
};

TEST_F(CodecScreen, AnH264FilePlaysToTheEndInTheWindow) {
    TestWindow window(320, 240);
    int port = -1;
    ASSERT_EQ(decoder_->OpenFile(ClipPath("screen.avi").c_str(), &port), 0);
    int seconds = 0;
    EXPECT_EQ(decoder_->GetFileTime(port, &seconds), 0);
    EXPECT_EQ(seconds, 3);
    int width = 0, height = 0;
    EXPECT_EQ(decoder_->GetPictureSize(port, &width, &height), 0);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    ASSERT_EQ(decoder_->SetDecodeCallBack(port, CheckPicture, Context()), 0);
    ASSERT_EQ(
        decoder_->SetNotify(port, 1, static_cast<int>(reinterpret_cast<INT_PTR>(window.handle())), kNotifyMessage), 0);
    ASSERT_EQ(decoder_->Play(port, window.handle()), 0);
    ASSERT_TRUE(WaitFor([&] { return Pictures() >= 10; }, 20000, &window));
    ExpectWindowShowsSnapshot(port, window);
    ASSERT_TRUE(WaitFor([&] { return !window.Received(kNotifyMessage).empty(); }, 30000, &window));
    {
        std::lock_guard<std::mutex> lock(received_.mutex);
        EXPECT_EQ(received_.pictures, 75);
        EXPECT_EQ(received_.identical, 75) << "pictures differ from ffmpeg's or come out of order";
        EXPECT_EQ(received_.otherKinds, 0);
    }
    EXPECT_EQ(decoder_->Stop(port), 0);
    EXPECT_EQ(decoder_->CloseFile(port), 0);
}

TEST_F(CodecScreen, ARawH264LiveStreamPlaysInTheWindow) {
    const std::vector<std::uint8_t> stream = ReadClip("screen.h264");
    ASSERT_GT(stream.size(), 12u);
    TestWindow window(320, 240);
    int port = -1;
    ASSERT_EQ(decoder_->OpenStream(stream.data(), 12, 1, &port), 0);
    ASSERT_EQ(decoder_->SetDecodeCallBack(port, CheckPicture, Context()), 0);
    ASSERT_EQ(decoder_->Play(port, window.handle()), 0);
    // The camera: the rest of the stream in small pieces from a thread of
    // its own.
    std::atomic<bool> stop{false};
    std::thread source([&] {
        for (std::size_t at = 12; at < stream.size() && !stop.load();) {
            const int piece = static_cast<int>(std::min<std::size_t>(64, stream.size() - at));
            if (decoder_->InputData(port, stream.data() + at, piece) < 0) {
                Sleep(5);
                continue;
            }
            at += static_cast<std::size_t>(piece);
        }
    });
    const bool playing = WaitFor([&] { return Pictures() >= 20; }, 20000, &window);
    if (playing) ExpectWindowShowsSnapshot(port, window);
    stop = true;
    source.join();
    ASSERT_TRUE(playing);
    // A live stream keeps its last pictures until more data comes.
    ASSERT_TRUE(WaitFor([&] { return Pictures() >= 75 - 6; }, 20000, &window));
    {
        std::lock_guard<std::mutex> lock(received_.mutex);
        EXPECT_EQ(received_.identical, received_.pictures) << "pictures differ from ffmpeg's or come out of order";
        EXPECT_EQ(received_.otherKinds, 0);
    }
    EXPECT_EQ(decoder_->Stop(port), 0);
    EXPECT_EQ(decoder_->CloseStream(port), 0);
}

}  // namespace
}  // namespace vdtest
