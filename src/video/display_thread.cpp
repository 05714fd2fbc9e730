#include "video/display_thread.h"

#include <objbase.h>
#include <process.h>

#include <cstdio>
#include <new>

#include "port/port_record.h"
#include "port/position_clock.h"
#include "video/ddraw_output.h"
#include "video/dib_output.h"
#include "video/frame_pacing.h"
#include "video/frame_timer.h"
#include "video/output_chooser.h"
#include "video/overlay_pass.h"
#include "video/stream_pacer.h"

namespace vd {

namespace {

struct DisplayStart {
    std::shared_ptr<PortRecord> record;
    std::shared_ptr<PortPresentation> presentation;
    PositionClock* clock;
    OutputVerdict* verdict;
    int port;
};

std::int64_t MicrosecondsNow() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? f.QuadPart : 1;
    }();
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000000 / frequency;
}

class Display {
public:
    Display(PortRecord& record, PortPresentation& presentation, PositionClock& clock, OutputVerdict& verdict, int port,
            OutputSetting setting)
        : record_(record),
          presentation_(presentation),
          clock_(clock),
          outputs_(
              verdict, setting, port, std::unique_ptr<VideoOutput>(new DibOutput(record.videoWindow.load())),
              [window = record.videoWindow.load()]() -> std::unique_ptr<VideoOutput> {
                  return DirectDrawOutput::Create(window);
              },
              [](const char* line) { OutputDebugStringA(line); }) {}

    void Run();

private:
    enum class Next { Continue, End };

    Next ServeStep();
    void DrawFrame();

    PortRecord& record_;
    PortPresentation& presentation_;
    PositionClock& clock_;
    OutputChooser outputs_;
    FrameTimer timer_;
    StreamPacer pacer_;
    OverlayPass overlay_;
};

void Display::DrawFrame() {
    OutputDebugStringA("begin draw video\n");
    clock_.CountPicture();
    const QueuedFrame& frame = record_.currentFrame.OwnerView();
    if (VideoOutput* output = outputs_.prepared()) {
        // Only the trial's pictures are timed.
        const bool timed = outputs_.timing();
        const std::int64_t started = timed ? MicrosecondsNow() : 0;
        ShowResult shown = ShowResult::kFailed;
        if (output->DrawPicture(frame)) {
            overlay_.Draw(presentation_, record_.isStream != 0, frame, *output);
            shown = output->Show();
        }
        if (timed && shown == ShowResult::kShown) output->Finish();
        outputs_.Drawn(*output, shown, timed ? MicrosecondsNow() - started : 0);
    }
    OutputDebugStringA("end draw video\n");
}

// Step mode: the new picture waits until one more is asked for. Redraws are
// served meanwhile; a seek drops the held picture and lets the next through.
// Between looks the thread waits for one of the events that can change
// what it does (or for the end); the looks read the events' states, so a
// wake-up by a handle left set by an earlier look only costs one more look.
Display::Next Display::ServeStep() {
    for (;;) {
        // A step asked for, or step mode left (Play, SetPlaySpeed): the held
        // picture is shown and the pictures flow on.
        if (record_.stepEvent.Test() || record_.stepMode.load() == 0) {
            DrawFrame();
            return Next::Continue;
        }
        // Redraw requests that came together are one redraw.
        if (record_.refreshEvent.Test()) DrawFrame();
        if (record_.stepSeekEvent.Test()) {
            record_.stepEvent.Set();
            return Next::Continue;
        }
        const HANDLE events[] = {record_.displayQuitEvent.handle(), record_.stepEvent.handle(),
                                 record_.refreshEvent.handle(), record_.stepSeekEvent.handle(),
                                 record_.displayWakeEvent.handle()};
        const DWORD woke = WaitForMultipleObjects(5, events, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) return Next::End;
        if (woke == WAIT_FAILED) {
            // A handle gone bad: look again a little later rather than spin.
            Sleep(1);
            if (record_.displayQuitEvent.Test()) return Next::End;
        }
    }
}

void Display::Run() {
    while (!record_.displayQuitEvent.Test()) {
        bool newFrame = false;
        QueuedFrame next;
        if (record_.videoQueue.TryPop(next)) {
            record_.currentFrame.Replace(next);
            // The bytes of the picture taken off display go to the intake's
            // next copy (or back to the heap when it has some already).
            record_.sparePicture.Give(next);
            newFrame = true;
        }
        const bool refresh = record_.refreshEvent.Test();
        const QueuedFrame& frame = record_.currentFrame.OwnerView();
        if (!newFrame && (!refresh || !frame.HasData())) {
            // Idle until a picture is queued, a redraw is asked for or the
            // thread is to end; the next look reads which.
            const HANDLE events[] = {record_.displayQuitEvent.handle(), record_.videoQueue.waitingHandle(),
                                     record_.refreshEvent.handle()};
            const DWORD woke = WaitForMultipleObjects(3, events, FALSE, INFINITE);
            if (woke == WAIT_OBJECT_0) return;
            if (woke == WAIT_FAILED) Sleep(1);  // a handle gone bad: look again a little later
            continue;
        }
        if (!outputs_.OutputFor(frame)) continue;
        if (record_.displayQuitEvent.Test()) return;

        if (record_.stepMode.load() != 0 && newFrame) {
            if (ServeStep() == Next::End) return;
            continue;
        }
        if (record_.pacedStream != 0) {
            const int speed = record_.speed.load();
            const std::int64_t due = pacer_.Due(timer_.Now(), FrameDelay100ns(frame.frameRate, speed),
                                                record_.videoQueue.Size(), speed >= 0);
            if (!timer_.WaitUntil(due, record_.displayQuitEvent.handle())) return;
        }
        DrawFrame();
    }
}

unsigned __stdcall DisplayThread(void* argument) {
    std::unique_ptr<DisplayStart> start(static_cast<DisplayStart*>(argument));
    // COM on this thread for the reference clock, given back by this thread.
    const bool comReady = SUCCEEDED(CoInitialize(nullptr));
    try {
        Display display(*start->record, *start->presentation, *start->clock, *start->verdict, start->port,
                        ReadOutputSetting());
        display.Run();
    } catch (...) {
        // Out of memory for the display's own buffers: the port shows
        // nothing more until it is stopped.
    }
    if (comReady) CoUninitialize();
    return 0;
}

}  // namespace

HANDLE StartDisplayThread(std::shared_ptr<PortRecord> record, std::shared_ptr<PortPresentation> presentation,
                          PositionClock* clock, OutputVerdict* verdict, int port) {
    if (!presentation) return nullptr;
    DisplayStart* start =
        new (std::nothrow) DisplayStart{std::move(record), std::move(presentation), clock, verdict, port};
    if (!start) return nullptr;
    const uintptr_t thread = _beginthreadex(nullptr, 0, DisplayThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(thread);
}

}  // namespace vd
