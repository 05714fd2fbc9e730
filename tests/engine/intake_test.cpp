// What the frame callback does with each frame before it is queued: the
// notification message of file ports, and the client's decode callback with
// the frame as the SDK delivered it.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/playback_fixture.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr UINT kNotify = WM_USER + 7;
constexpr UINT kOtherNotify = WM_USER + 8;
constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00;

class Intake : public PlaybackTest {
protected:
    int WindowValue(TestWindow& window) { return static_cast<int>(reinterpret_cast<INT_PTR>(window.handle())); }
    int Notification(int port) { return deployment_.sdk.Deliver(port, nullptr, 0, 0, 0, 0, 0, 0); }
};

// A notification without data (kind 0) of a file port is posted to the
// window SetNotify type 1 named, once per notification; nothing for a stream
// port; the other types change nothing.
TEST_F(Intake, NotificationMessages) {
    struct SetNotifyCall {
        int type;
        UINT message;
    };
    struct Case {
        const char* name;
        const char* kind;  // "file" or "stream"
        std::vector<SetNotifyCall> calls;
        std::size_t expected;       // messages kNotify per notification
        std::size_t expectedOther;  // messages kOtherNotify per notification
    } cases[] = {
        {"file port, type 1", "file", {{1, kNotify}}, 1, 0},
        {"stream port, type 1", "stream", {{1, kNotify}}, 0, 0},
        {"file port, type 2", "file", {{2, kNotify}}, 0, 0},
        {"file port, type 3", "file", {{3, kNotify}}, 0, 0},
        {"file port, type 9", "file", {{9, kNotify}}, 0, 0},
        {"type 1 then types 2, 3, 9",
         "file",
         {{1, kNotify}, {2, kOtherNotify}, {3, kOtherNotify}, {9, kOtherNotify}},
         1,
         0},
        {"type 1 twice: the last one counts", "file", {{1, kOtherNotify}, {1, kNotify}}, 1, 0},
    };
    int port = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++port;
        TestWindow window(16, 16);
        ASSERT_NE(window.handle(), nullptr);
        if (std::string(c.kind) == "file") {
            OpenFilePort(port);
        } else {
            OpenStreamPort(port, 1);
        }
        DecodeRecorder recorder;
        ASSERT_EQ(decoder_->SetDecodeCallBack(port, DecodeRecorder::Callback, 5), 0);
        for (const SetNotifyCall& call : c.calls) {
            EXPECT_EQ(decoder_->SetNotify(port, call.type, WindowValue(window), static_cast<int>(call.message)), 0);
        }
        ASSERT_EQ(decoder_->Play(port, nullptr), 0);
        for (int notification = 1; notification <= 2; ++notification) {
            // The message is posted before the callback returns.
            ASSERT_EQ(Notification(port), 0);
            window.Pump();
            const auto received = window.Received(kNotify);
            ASSERT_EQ(received.size(), c.expected * notification);
            for (const auto& message : received) {
                EXPECT_EQ(message.first, 0u);                          // wParam: the kind
                EXPECT_EQ(message.second, static_cast<LPARAM>(port));  // lParam: the port
            }
            EXPECT_EQ(window.Received(kOtherNotify).size(), c.expectedOther * notification);
        }
        // Notifications never reach the decode callback.
        EXPECT_TRUE(recorder.Calls().empty());
        EXPECT_EQ(decoder_->Stop(port), 0);
    }
}

// The decode callback gets every picture and sound block as delivered, on
// the SDK's thread, with the SDK's own buffer; also when the port plays
// without a window.
TEST_F(Intake, DecodeCallbackSeesEachFrameAsDelivered) {
    std::vector<std::uint8_t> sound(4000, 0x11);
    for (std::size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<std::uint8_t>(i);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int width;
        int height;
        unsigned int stamp;
        int kind;
        int frameRate;
    } cases[] = {
        {"YV12", Encode(Flat(352, 288, kRed), kYv12), 352, 288, 1234, kYv12, 30},
        {"RGB32 stays RGB32", Encode(Flat(352, 288, kRed), kRgb32), 352, 288, 40, kRgb32, 25},
        {"UYVY", Encode(Flat(64, 48, kGreen), kUyvy), 64, 48, 0xFFFFFFFFu, kUyvy, 0},
        {"I420", Encode(Flat(64, 48, kGreen), kI420), 64, 48, 7, kI420, 60},
        {"YUY2", Encode(Flat(64, 48, kGreen), kYuy2), 64, 48, 8, kYuy2, 12},
        {"sound", sound, 8000, 16, 500, 1, 0},
        {"a kind of its own", std::vector<std::uint8_t>(100, 7), 10, 10, 9, 9, 25},
        {"too short a picture", std::vector<std::uint8_t>(100, 3), 352, 288, 10, kYv12, 25},
        {"no size", std::vector<std::uint8_t>(100, 3), 0, 0, 11, kYv12, 25},
    };
    const int port = OpenFilePort(7);
    DecodeRecorder recorder;
    ASSERT_EQ(decoder_->SetDecodeCallBack(port, DecodeRecorder::Callback, 77), 0);
    ASSERT_EQ(decoder_->Play(port, nullptr), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = recorder.Calls().size();
        ASSERT_EQ(deployment_.sdk.Deliver(port, c.bytes.data(), static_cast<int>(c.bytes.size()), c.width, c.height,
                                          c.stamp, c.kind, c.frameRate),
                  0);
        const std::vector<DecodeCall> calls = recorder.Calls();
        ASSERT_EQ(calls.size(), before + 1);
        const DecodeCall& call = calls.back();
        EXPECT_EQ(call.port, port);
        EXPECT_EQ(call.data, static_cast<const void*>(c.bytes.data()));
        EXPECT_EQ(call.size, static_cast<int>(c.bytes.size()));
        EXPECT_EQ(call.info.width, c.width);
        EXPECT_EQ(call.info.height, c.height);
        EXPECT_EQ(call.info.stamp, c.stamp);
        EXPECT_EQ(call.info.kind, c.kind);
        EXPECT_EQ(call.info.frameRate, c.frameRate);
        EXPECT_EQ(call.context, 77);
        EXPECT_EQ(call.threadId, GetCurrentThreadId());
        EXPECT_EQ(call.head, std::vector<std::uint8_t>(c.bytes.begin(), c.bytes.begin() + 16));
    }
    // A null callback switches it off; a new context takes effect with the next frame.
    ASSERT_EQ(decoder_->SetDecodeCallBack(port, nullptr, 0), 0);
    ASSERT_EQ(deployment_.sdk.Deliver(port, cases[0].bytes.data(), static_cast<int>(cases[0].bytes.size()), 352, 288, 0,
                                      kYv12, 25),
              0);
    EXPECT_EQ(recorder.Calls().size(), std::size(cases));
    ASSERT_EQ(decoder_->SetDecodeCallBack(port, DecodeRecorder::Callback, -5), 0);
    ASSERT_EQ(deployment_.sdk.Deliver(port, cases[0].bytes.data(), static_cast<int>(cases[0].bytes.size()), 352, 288, 0,
                                      kYv12, 25),
              0);
    ASSERT_EQ(recorder.Calls().size(), std::size(cases) + 1);
    EXPECT_EQ(recorder.Calls().back().context, -5);
    EXPECT_EQ(decoder_->Stop(port), 0);
}

// A picture too short for its kind and size, or with a size that is not a
// picture's, reaches the decode callback but is never drawn; the port goes
// on showing the pictures after it.
TEST_F(Intake, BrokenPicturesReachTheDecodeCallbackButAreNotShown) {
    const int width = kWidth, height = kHeight;
    ASSERT_NO_FATAL_FAILURE(OpenWithWindow());
    DecodeRecorder recorder;
    ASSERT_EQ(decoder_->SetDecodeCallBack(port_, DecodeRecorder::Callback, 1), 0);
    ASSERT_EQ(decoder_->Play(port_, window_->handle()), 0);
    ASSERT_NO_FATAL_FAILURE(ShowFirst());

    struct Case {
        const char* name;
        int kind;
        int sizeCut;  // bytes missing at the end
        int width;
        int height;
    } cases[] = {
        {"YV12 one byte short", kYv12, 1, width, height},
        {"I420 missing its last plane", kI420, width * height / 4, width, height},
        {"YUY2 one byte short", kYuy2, 1, width, height},
        {"UYVY half", kUyvy, width * height, width, height},
        {"RGB32 one byte short", kRgb32, 1, width, height},
        {"negative width", kYv12, 0, -width, height},
        {"zero height", kYv12, 0, width, 0},
        {"absurd size", kYv12, 0, 1 << 20, 1 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = Encode(Flat(width, height, kRed), c.kind);
        bytes.resize(bytes.size() - static_cast<std::size_t>(c.sizeCut));
        const std::size_t before = recorder.Calls().size();
        ASSERT_EQ(Deliver(port_, bytes, c.width, c.height, c.kind), 0);
        ASSERT_EQ(recorder.Calls().size(), before + 1);
        EXPECT_EQ(recorder.Calls().back().size, static_cast<int>(bytes.size()));
        EXPECT_TRUE(KeepsColour(*window_, kWhite)) << CentreColour(*window_);
    }
    // The display is still there for the next good picture.
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kGreen)), 0);
    EXPECT_TRUE(ShowsColour(*window_, kGreen)) << CentreColour(*window_);
    EndShownPort();
}

}  // namespace
}  // namespace vdtest
