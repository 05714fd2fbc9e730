// Opening and closing ports, and what operations do with a port that is not
// open: the record operations refuse it, the operations that only forward to
// the SDK pass the SDK's answer back.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/playback_fixture.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr int kUntouched = 0x5A5A5A5A;
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kGreen = 0x00FF00;

class Ports : public PlaybackTest {
protected:
    // Opens a port of the kind: "file" or "stream".
    int Open(const std::string& kind, int port) {
        return kind == "file" ? OpenFilePort(port) : OpenStreamPort(port, 0);
    }
    int Close(const std::string& kind, int port) {
        return kind == "file" ? decoder_->CloseFile(port) : decoder_->CloseStream(port);
    }
    // True while the port has a record (Pause is a record operation that
    // never reaches the SDK).
    bool HasRecord(int port) { return decoder_->Pause(port, 0) == 0; }
};

TEST_F(Ports, AFailedOpenCreatesNoRecord) {
    struct Case {
        const char* entryPoint;
        std::function<int(int*)> open;
    } cases[] = {
        {"KV_OpenFile", [&](int* port) { return decoder_->OpenFile("C:\\recordings\\cam1.avi", port); }},
        {"KV_OpenStream", [&](int* port) { return decoder_->OpenStream("RIFF", 4, 1, port); }},
    };
    deployment_.sdk.SetOpenPort(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entryPoint);
        const int infoCalls = deployment_.sdk.CallCount("KV_GetMediaInfo");
        deployment_.sdk.SetResult(c.entryPoint, -3);
        int port = kUntouched;
        EXPECT_EQ(c.open(&port), -3);
        EXPECT_FALSE(HasRecord(7));
        EXPECT_EQ(decoder_->Play(7, nullptr), E_FAIL);
        EXPECT_EQ(deployment_.sdk.CallCount("KV_GetMediaInfo"), infoCalls);
        EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), 0);

        // The same open succeeds once the SDK does.
        deployment_.sdk.SetResult(c.entryPoint, 0);
        EXPECT_EQ(c.open(&port), 0);
        EXPECT_EQ(port, 7);
        EXPECT_TRUE(HasRecord(7));
        EXPECT_EQ(decoder_->CloseFile(7), 0);
        EXPECT_FALSE(HasRecord(7));
    }
}

// A close the SDK refuses leaves the port open and working on both sides.
TEST_F(Ports, ARefusedCloseKeepsThePortUsable) {
    for (const std::string kind : {"file", "stream"}) {
        SCOPED_TRACE(kind);
        const std::string entryPoint = kind == "file" ? "KV_CloseFile" : "KV_CloseStream";
        const int port = Open(kind, 5);
        const int closesBefore = deployment_.sdk.CallCount(entryPoint.c_str());
        const int playsBefore = deployment_.sdk.CallCount("KV_Play");
        deployment_.sdk.SetResult(entryPoint.c_str(), -7);
        EXPECT_EQ(Close(kind, port), -7);
        EXPECT_TRUE(HasRecord(port));

        EXPECT_EQ(decoder_->Play(port, nullptr), 0);
        EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), playsBefore + 1);
        EXPECT_EQ(decoder_->Stop(port), 0);

        deployment_.sdk.SetResult(entryPoint.c_str(), 0);
        EXPECT_EQ(Close(kind, port), 0);
        EXPECT_EQ(deployment_.sdk.CallCount(entryPoint.c_str()), closesBefore + 2);
        EXPECT_FALSE(HasRecord(port));
    }
}

// The close the client calls is the one that reaches the SDK, whatever the
// port was opened as; a port the table does not hold is closed on the SDK's
// side only.
TEST_F(Ports, CloseReachesTheSdkEntryPointOfTheOperationUsed) {
    struct Case {
        const char* opened;  // "file", "stream" or "none"
        const char* closedWith;
        const char* expectedCall;
    } cases[] = {
        {"file", "file", "KV_CloseFile(7)"},   {"file", "stream", "KV_CloseStream(7)"},
        {"stream", "file", "KV_CloseFile(7)"}, {"stream", "stream", "KV_CloseStream(7)"},
        {"none", "file", "KV_CloseFile(7)"},   {"none", "stream", "KV_CloseStream(7)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.opened) + " closed as " + c.closedWith);
        if (std::string(c.opened) != "none") Open(c.opened, 7);
        const std::string before = deployment_.sdk.CallLog();
        EXPECT_EQ(Close(c.closedWith, 7), 0);
        EXPECT_EQ(deployment_.sdk.CallLog().substr(before.size()), std::string(c.expectedCall) + "\n");
        EXPECT_FALSE(HasRecord(7));
        // Closing again: the SDK accepts, the table holds nothing, still 0.
        EXPECT_EQ(Close(c.closedWith, 7), 0);
    }
}

// Operations that look the port's record up refuse a port that is not open
// and reach neither a record nor the SDK's playback.
TEST_F(Ports, RecordOperationsRefuseAPortThatIsNotOpen) {
    constexpr int kClosed = 9;
    TestWindow window(32, 32);
    int out = kUntouched;
    struct Case {
        const char* operation;
        std::function<int()> call;
    } cases[] = {
        {"Play", [&] { return decoder_->Play(kClosed, window.handle()); }},
        {"Stop", [&] { return decoder_->Stop(kClosed); }},
        {"Pause", [&] { return decoder_->Pause(kClosed, 1); }},
        {"SetPlayTime", [&] { return decoder_->SetPlayTime(kClosed, 5); }},
        {"SetPlayPos", [&] { return decoder_->SetPlayPos(kClosed, 50); }},
        {"SetPlaySpeed", [&] { return decoder_->SetPlaySpeed(kClosed, 1); }},
        {"GetPlaySpeed", [&] { return decoder_->GetPlaySpeed(kClosed, &out); }},
        {"OneByOne", [&] { return decoder_->OneByOne(kClosed); }},
        {"Refresh", [&] { return decoder_->Refresh(kClosed); }},
        {"Snapshot", [&] { return decoder_->Snapshot(kClosed, "C:\\shot.bmp"); }},
        {"SetNotify",
         [&] {
             return decoder_->SetNotify(kClosed, 1, static_cast<int>(reinterpret_cast<INT_PTR>(window.handle())),
                                        WM_USER + 1);
         }},
        {"SetDecodeCallBack", [&] { return decoder_->SetDecodeCallBack(kClosed, DecodeRecorder::Callback, 1); }},
    };
    DecodeRecorder recorder;
    OpenFilePort(7);  // another port is open: the look-up must not fall back on it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        out = kUntouched;
        EXPECT_EQ(c.call(), E_FAIL);
        EXPECT_EQ(out, kUntouched);
    }
    for (const char* entryPoint : {"KV_Play", "KV_Stop", "KV_SetPlayTime"}) {
        EXPECT_EQ(deployment_.sdk.CallCount(entryPoint), 0) << entryPoint;
    }
    EXPECT_FALSE(FileExists("C:\\shot.bmp"));
    window.Pump();
    EXPECT_TRUE(window.Received(WM_USER + 1).empty());
    EXPECT_TRUE(recorder.Calls().empty());
}

// The operations that only forward to the SDK pass its answer back whether
// or not the plug-in holds the port; GetPlayTime reads the shared clock.
TEST_F(Ports, ForwardingOperationsPassTheSdkAnswerBack) {
    const unsigned char info[12] = {0x60, 0x01, 0x20, 0x01, 25};  // 352 x 288
    deployment_.sdk.SetMediaInfo(info);
    deployment_.sdk.SetFileTime(600);
    OpenStreamPort(5, 0);
    int first = kUntouched;
    int second = kUntouched;
    const char data[100] = {};
    struct Outputs {
        int first;
        int second;
    };
    struct Case {
        const char* entryPoint;
        std::function<int(int port)> call;
        const char* loggedFormat;  // the SDK call, with %d for the port
        Outputs onSuccess;
        Outputs onFailure;
    } cases[] = {
        {"KV_InputData",
         [&](int port) { return decoder_->InputData(port, data, 100); },
         "KV_InputData(%d,100)",
         {kUntouched, kUntouched},
         {kUntouched, kUntouched}},
        // Whatever the SDK wrote reaches the client (the test SDK always writes).
        {"KV_GetFileTime",
         [&](int port) { return decoder_->GetFileTime(port, &first); },
         "KV_GetFileTime(%d)",
         {600, kUntouched},
         {600, kUntouched}},
        // A refused picture size writes nothing.
        {"KV_GetMediaInfo",
         [&](int port) { return decoder_->GetPictureSize(port, &first, &second); },
         "KV_GetMediaInfo(%d)",
         {352, 288},
         {kUntouched, kUntouched}},
        {"KV_StartRecord",
         [&](int port) { return decoder_->StartRecord(port, "C:\\rec\\a.avi"); },
         "KV_StartRecord(%d,C:\\rec\\a.avi)",
         {kUntouched, kUntouched},
         {kUntouched, kUntouched}},
        {"KV_StopRecord",
         [&](int port) { return decoder_->StopRecord(port); },
         "KV_StopRecord(%d)",
         {kUntouched, kUntouched},
         {kUntouched, kUntouched}},
    };
    for (const int port : {5, 9}) {  // open, and not open
        for (const Case& c : cases) {
            for (const int sdkResult : {0, -11}) {
                SCOPED_TRACE(testing::Message() << c.entryPoint << " port " << port << " result " << sdkResult);
                deployment_.sdk.SetResult(c.entryPoint, sdkResult);
                first = second = kUntouched;
                const std::string before = deployment_.sdk.CallLog();
                EXPECT_EQ(c.call(port), sdkResult);
                char logged[64];
                std::snprintf(logged, sizeof logged, c.loggedFormat, port);
                EXPECT_EQ(deployment_.sdk.CallLog().substr(before.size()), std::string(logged) + "\n");
                const Outputs& expected = sdkResult == 0 ? c.onSuccess : c.onFailure;
                EXPECT_EQ(first, expected.first);
                EXPECT_EQ(second, expected.second);
                deployment_.sdk.SetResult(c.entryPoint, 0);
            }
        }
    }
    int seconds = kUntouched;
    EXPECT_EQ(decoder_->GetPlayTime(9, &seconds), 0);
    EXPECT_EQ(seconds, 0);
}

// The SDK's width and height are signed 16-bit values, widened.
TEST_F(Ports, PictureSizeWidensSigned16BitValues) {
    struct Case {
        unsigned char bytes[4];
        int width;
        int height;
    } cases[] = {
        {{0x60, 0x01, 0x20, 0x01}, 352, 288},         {{0x80, 0x07, 0x38, 0x04}, 1920, 1080},
        {{0xFF, 0x7F, 0x01, 0x00}, 32767, 1},         {{0xFF, 0xFF, 0x00, 0x80}, -1, -32768},
        {{0x40, 0x9C, 0x00, 0x00}, 40000 - 65536, 0},
    };
    const int port = OpenFilePort(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        unsigned char info[12] = {c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3], 25, 0x11, 0x22, 0x33};
        deployment_.sdk.SetMediaInfo(info);
        int width = kUntouched;
        int height = kUntouched;
        EXPECT_EQ(decoder_->GetPictureSize(port, &width, &height), 0);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
    }
}

TEST_F(Ports, PlayingAPortThatIsPlayingIsRefused) {
    ASSERT_NO_FATAL_FAILURE(PlayInWindow({64, 48}));
    EXPECT_EQ(decoder_->Play(port_, window_->handle()), E_FAIL);
    EXPECT_EQ(decoder_->Play(port_, nullptr), E_FAIL);
    EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), 1);
    ShowFirst(kRed, kGreen);  // the first playback goes on as it was
    EXPECT_EQ(decoder_->Stop(port_), 0);
    // Once stopped it plays again.
    EXPECT_EQ(decoder_->Play(port_, window_->handle()), 0);
    EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), 2);
    ShowFirst(kWhite, kRed);
    EndShownPort();
}

// A Play the SDK refuses returns the SDK's result and leaves the port as it
// was: nothing left running, so the next Play starts it.
TEST_F(Ports, APlayTheSdkRefusesLeavesThePortAsItWas) {
    for (const bool withWindow : {true, false}) {
        SCOPED_TRACE(withWindow ? "with a window" : "without a window");
        ASSERT_NO_FATAL_FAILURE(OpenWithWindow({64, 48}));
        const HWND target = withWindow ? window_->handle() : nullptr;
        deployment_.sdk.SetResult("KV_Play", -5);
        EXPECT_EQ(decoder_->Play(port_, target), -5);
        deployment_.sdk.SetResult("KV_Play", 0);
        EXPECT_EQ(decoder_->Play(port_, target), 0);
        if (withWindow) ShowFirst(kRed, kGreen);
        EndShownPort();
    }
}

// A port closed while it plays is stopped first: a delivery held inside the
// plug-in comes back, and the SDK sees KV_Stop before the close.
TEST_F(Ports, ClosingAPlayingPortStopsItFirst) {
    for (const bool withWindow : {true, false}) {
        SCOPED_TRACE(withWindow ? "with a window" : "without a window");
        TestWindow window(64, 48);
        const int port = OpenFilePort(7);
        ASSERT_EQ(decoder_->Play(port, withWindow ? window.handle() : nullptr), 0);
        std::unique_ptr<DeliveryThread> delivery;
        if (withWindow) {
            // Paused: the delivery is held until the port is stopped.
            ASSERT_EQ(decoder_->Pause(port, 1), 0);
            delivery.reset(
                new DeliveryThread(deployment_.sdk, port, {FlatFrame(64, 48, kRed)}, [&] { decoder_->Stop(port); }));
            EXPECT_TRUE(delivery->HeldAt(0));
        }
        const std::string before = deployment_.sdk.CallLog();
        EXPECT_EQ(decoder_->CloseFile(port), 0);
        EXPECT_EQ(deployment_.sdk.CallLog().substr(before.size()), "KV_Stop(7)\nKV_CloseFile(7)\n");
        if (delivery) {
            EXPECT_TRUE(delivery->WaitReturned(1));
        }
        EXPECT_FALSE(HasRecord(port));
        EXPECT_EQ(deployment_.sdk.Deliver(port, "x", 1, 1, 1, 0, 3, 25), -1);  // nothing plays any more
    }
}

}  // namespace
}  // namespace vdtest
