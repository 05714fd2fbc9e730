// What the playback tests need besides the fixture: an SDK decoding thread
// of the test's own, a recorder for the client's decode callback, a watcher
// that reads and dismisses message boxes, and small screen and file helpers.
#ifndef TESTS_ENGINE_PLAYBACK_HELPERS_H
#define TESTS_ENGINE_PLAYBACK_HELPERS_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <Orvane/Types.h>

#include "common/plugin_fixture.h"
#include "common/test_pictures.h"
#include "common/test_window.h"

namespace vdtest {

// One frame as the SDK hands it over.
struct SdkFrame {
    std::vector<std::uint8_t> bytes;
    int width = 0;
    int height = 0;
    int kind = 0;
    unsigned int stamp = 0;
    int frameRate = 25;
};

// A picture of one colour in the kind.
SdkFrame FlatFrame(int width, int height, std::uint32_t colour, int kind = kYv12, unsigned int stamp = 0);

// Delivers the frame through the frame callback, on the calling thread.
int DeliverFrame(TestSdk& sdk, int port, const SdkFrame& frame);

// Delivers the picture until the window shows its colour (the first pictures
// may arrive before the display is ready), then one picture of `settle`
// colour and waits for it, so that no earlier picture is still on its way.
// False when the window never showed them.
bool ShowFirstPicture(TestSdk& sdk, int port, TestWindow& window, const SdkFrame& frame, std::uint32_t colour,
                      const SdkFrame& settle, std::uint32_t settleColour);

// Delivers frames one after another from a thread of its own, as an SDK's
// decoding thread does, counting the deliveries that have come back. If the
// test ends with a delivery still held inside the plug-in, `release` (e.g.
// the port's Stop) is called before the thread is joined.
class DeliveryThread {
public:
    DeliveryThread(TestSdk& sdk, int port, std::vector<SdkFrame> frames, std::function<void()> release);
    ~DeliveryThread();
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    int returned() const { return returned_.load(); }
    bool finished() const { return returned() == total_; }
    // True once `count` deliveries have come back (within the deadline).
    bool WaitReturned(int count, int timeoutMs = 10000) const;
    // True when no more than `count` deliveries come back during the whole
    // period: the next one is being held.
    bool HeldAt(int count, int periodMs = 300) const;

private:
    std::function<void()> release_;
    const int total_;
    std::atomic<int> returned_{0};
    std::thread thread_;
};

// The client's decode callback: records every call.
struct DecodeCall {
    int port;
    const void* data;
    int size;
    Orvane::FrameInfo info;
    int context;
    std::vector<std::uint8_t> head;  // the first bytes of the frame, as the callback saw them
    DWORD threadId;
};

class DecodeRecorder {
public:
    DecodeRecorder();   // forgets earlier calls
    ~DecodeRecorder();  // and again
    static int CALLBACK Callback(int port, const void* data, int size, Orvane::FrameInfo* info, int context);
    std::vector<DecodeCall> Calls() const;
};

// Reads the message boxes (dialog class "#32770") this process shows, from a
// thread of its own, and dismisses them with OK.
class DialogWatcher {
public:
    struct Seen {
        std::string text;  // the message, as the dialog's static text holds it
        std::string caption;
        HWND owner;
    };
    DialogWatcher();
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    std::vector<Seen> seen() const;

private:
    void Run();
    static BOOL CALLBACK OnWindow(HWND window, LPARAM self);

    mutable std::mutex lock_;
    std::vector<Seen> seen_;
    std::set<HWND> handled_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// Paints the window's client area black, so that only a new draw can show a
// picture there again.
void PaintBlack(TestWindow& window);
// True once the centre of the window shows the colour (within the display's
// conversion tolerance); waits up to the deadline.
bool ShowsColour(TestWindow& window, std::uint32_t colour, int timeoutMs = 10000);
// True when the centre keeps the colour during the whole period (pumping the
// window's messages meanwhile).
bool KeepsColour(TestWindow& window, std::uint32_t colour, int periodMs = 300);
// The colour at the centre, for failure messages.
std::string CentreColour(TestWindow& window);

// A whole file's bytes; empty when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// Holds the port's picture on display (pause, redraw) and compares the
// window, at a grid of points, with the port's snapshot written to
// `snapshotPath`; the pictures are the window's size. Pausing stops the
// intake, but the display still shows the pictures already queued, so the
// snapshot is taken again until window and snapshot agree, as they must once
// the display is still. "" when they did; else what differed. Resumes the port.
std::string WindowVersusSnapshot(Orvane::IVideoDecoder_M& decoder, int port, TestWindow& window,
                                 const std::string& snapshotPath);

// Forces the plug-in's video output ("ddraw", "drawdib", "auto") for the
// ports played while it lives, through the setting integrators use.
class ForcedOutput {
public:
    explicit ForcedOutput(const char* output);
    ~ForcedOutput();
    ForcedOutput(const ForcedOutput&) = delete;
    ForcedOutput& operator=(const ForcedOutput&) = delete;
};

}  // namespace vdtest

#endif
