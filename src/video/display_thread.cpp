#include "video/display_thread.h"

#include <objbase.h>
#include <process.h>

#include <new>

#include "port/port_record.h"
#include "port/position_clock.h"
#include "video/ddraw_output.h"
#include "video/dib_output.h"
#include "video/frame_layout.h"
#include "video/frame_pacing.h"
#include "video/frame_timer.h"
#include "video/overlay_pass.h"

namespace vd {

namespace {

// "创建DirectDraw begin\r\n" and "创建DirectDraw 完成\r\n" in code page 936.
const char kCreatingDirectDraw[] = "\xB4\xB4\xBD\xA8" "DirectDraw begin\r\n";
const char kDirectDrawCreated[] = "\xB4\xB4\xBD\xA8" "DirectDraw \xCD\xEA\xB3\xC9\r\n";

struct DisplayStart {
    std::shared_ptr<PortRecord> record;
    PositionClock* clock;
};

class Display {
public:
    Display(PortRecord& record, PositionClock& clock, DirectDrawOutput& directDraw)
        : record_(record), clock_(clock), directDraw_(directDraw), dib_(record.videoWindow.load()) {}

    void Run();

private:
    enum class Next { Continue, End };

    // Makes the outputs ready for the picture on display. Continue with
    // draw set when it can be drawn; End when the thread must end.
    Next Prepare(const QueuedFrame& frame, bool* draw);
    Next ServeStep();
    void DrawFrame();

    PortRecord& record_;
    PositionClock& clock_;
    DirectDrawOutput& directDraw_;
    DibOutput dib_;
    FrameTimer timer_;
    OverlayPass overlay_;
    int lastKind_ = 0;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
};

Display::Next Display::Prepare(const QueuedFrame& frame, bool* draw) {
    *draw = false;
    const bool changed = frame.kind != lastKind_ || frame.width != lastWidth_ || frame.height != lastHeight_;
    lastKind_ = frame.kind;
    lastWidth_ = frame.width;
    lastHeight_ = frame.height;
    // Intake queues only pictures that fit their size; anything else is not
    // ours to draw.
    if (!IsDisplayKind(frame.kind) || !PictureFits(frame.kind, frame.width, frame.height, frame.size)) {
        directDraw_.ReleaseVideo();
        return Next::Continue;
    }
    if (changed || !directDraw_.hasVideo()) {
        if (directDraw_.PrepareVideo(frame.kind, frame.width, frame.height)) {
            record_.useDrawDib.store(false);
        } else {
            // The display cannot take this format: convert and draw through
            // DrawDib, and try the surface again with the next picture.
            record_.useDrawDib.store(true);
            if (!dib_.Prepare(frame.width, frame.height)) return Next::End;
        }
    }
    if (!directDraw_.PrepareOverlay(frame.width, frame.height)) return Next::End;
    *draw = true;
    return Next::Continue;
}

void Display::DrawFrame() {
    OutputDebugStringA("begin draw video\n");
    clock_.CountPicture();
    const QueuedFrame& frame = record_.currentFrame.OwnerView();
    if (record_.useDrawDib.load()) {
        dib_.Draw(frame);
    } else if (directDraw_.DrawVideo(frame)) {
        if (overlay_.Draw(record_, frame, directDraw_.overlaySurface())) directDraw_.BlitOverlay();
    }
    OutputDebugStringA("end draw video\n");
}

// Step mode: the new picture waits until one more is asked for. Redraws are
// served meanwhile; a seek drops the held picture and lets the next through.
Display::Next Display::ServeStep() {
    for (;;) {
        // A step asked for, or step mode left (Play, SetPlaySpeed): the held
        // picture is shown and the pictures flow on.
        if (record_.stepEvent.Test() || record_.stepMode.load() == 0) {
            DrawFrame();
            return Next::Continue;
        }
        if (record_.refreshEvent.Test()) DrawFrame();
        if (record_.stepSeekEvent.Test()) {
            record_.stepEvent.Set();
            return Next::Continue;
        }
        Sleep(1);
        if (record_.displayQuitEvent.Test()) return Next::End;
    }
}

void Display::Run() {
    while (!record_.displayQuitEvent.Test()) {
        bool newFrame = false;
        QueuedFrame next;
        if (record_.videoQueue.TryPop(next)) {
            record_.currentFrame.Replace(next);
            newFrame = true;
        }
        const bool refresh = record_.refreshEvent.Test();
        const QueuedFrame& frame = record_.currentFrame.OwnerView();
        if (!newFrame && (!refresh || !frame.HasData())) {
            Sleep(1);
            continue;
        }
        bool draw = false;
        if (Prepare(frame, &draw) == Next::End) return;
        if (!draw) continue;
        if (record_.displayQuitEvent.Test()) return;

        if (record_.stepMode.load() != 0 && newFrame) {
            if (ServeStep() == Next::End) return;
            continue;
        }
        if (record_.pacedStream != 0) {
            const std::int64_t delay = FrameDelay100ns(frame.frameRate, record_.speed.load());
            if (!timer_.WaitForFrameTime(delay, record_.displayQuitEvent.handle())) return;
        }
        DrawFrame();
    }
}

unsigned __stdcall DisplayThread(void* argument) {
    std::unique_ptr<DisplayStart> start(static_cast<DisplayStart*>(argument));
    PortRecord& record = *start->record;
    OutputDebugStringA(kCreatingDirectDraw);
    std::unique_ptr<DirectDrawOutput> directDraw = DirectDrawOutput::Create(record.videoWindow.load());
    if (!directDraw) return 0;
    OutputDebugStringA(kDirectDrawCreated);
    const bool comReady = SUCCEEDED(CoInitialize(nullptr));
    try {
        Display display(record, *start->clock, *directDraw);
        display.Run();
    } catch (...) {
        // Out of memory for the display's own buffers: the port shows
        // nothing more until it is stopped.
    }
    directDraw.reset();
    if (comReady) CoUninitialize();
    return 0;
}

}  // namespace

HANDLE StartDisplayThread(std::shared_ptr<PortRecord> record, PositionClock* clock) {
    DisplayStart* start = new (std::nothrow) DisplayStart{std::move(record), clock};
    if (!start) return nullptr;
    const uintptr_t thread = _beginthreadex(nullptr, 0, DisplayThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(thread);
}

}  // namespace vd
