#include "video/display_thread.h"

#include <objbase.h>
#include <process.h>

#include <cstdio>
#include <new>

#include "port/port_record.h"
#include "port/position_clock.h"
#include "video/ddraw_output.h"
#include "video/dib_output.h"
#include "video/frame_layout.h"
#include "video/frame_pacing.h"
#include "video/frame_timer.h"
#include "video/output_choice.h"
#include "video/overlay_pass.h"
#include "video/stream_pacer.h"

namespace vd {

namespace {

// "创建DirectDraw begin\r\n" and "创建DirectDraw 完成\r\n" in code page 936.
const char kCreatingDirectDraw[] =
    "\xB4\xB4\xBD\xA8"
    "DirectDraw begin\r\n";
const char kDirectDrawCreated[] =
    "\xB4\xB4\xBD\xA8"
    "DirectDraw \xCD\xEA\xB3\xC9\r\n";

// A format DirectDraw refused is tried again after this many pictures (video
// memory may have been freed meanwhile) or at once when the format changes.
constexpr int kRetryRefusedFormatAfter = 25;

struct DisplayStart {
    std::shared_ptr<PortRecord> record;
    PositionClock* clock;
    OutputVerdict* verdict;
    int port;
};

OutputSetting ReadOutputSetting() {
    char value[32] = {};
    const DWORD length = GetEnvironmentVariableA(kOutputSettingVariable, value, sizeof value);
    return length > 0 && length < sizeof value ? ParseOutputSetting(value) : OutputSetting::kAuto;
}

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
    Display(PortRecord& record, PositionClock& clock, OutputVerdict& verdict, int port, OutputSetting setting)
        : record_(record),
          clock_(clock),
          verdict_(verdict),
          port_(port),
          setting_(setting),
          dib_(record.videoWindow.load()) {}
    ~Display() {
        if (trialOwner_) verdict_.AbandonTrial();
    }

    void Run();

private:
    enum class Next { Continue, End };

    // Picks and readies the output for the picture on display; false when
    // it cannot be drawn anywhere.
    bool Prepare(const QueuedFrame& frame);
    // The output the next picture should go through.
    VideoOutput* Wanted();
    // DirectDraw's device, made on first use; null when it cannot be used.
    DirectDrawOutput* DirectDraw();
    Next ServeStep();
    void DrawFrame();
    void Measure(VideoOutput& output, std::int64_t costUs);
    void DropDirectDraw(const char* reason);
    // Traces the output the port settles on (once per output it moves to).
    void Settle(VideoOutput& output, const char* reason);

    PortRecord& record_;
    PositionClock& clock_;
    OutputVerdict& verdict_;
    const int port_;
    const OutputSetting setting_;
    std::unique_ptr<DirectDrawOutput> directDraw_;
    bool directDrawTried_ = false;  // made, or found unusable, once
    DibOutput dib_;
    VideoOutput* active_ = nullptr;  // the output the picture on display is prepared in
    VideoOutput* settled_ = nullptr;
    bool trialOwner_ = false;
    OutputTrial trial_;
    FrameTimer timer_;
    StreamPacer pacer_;
    OverlayPass overlay_;
    int refusedKind_ = 0, refusedWidth_ = 0, refusedHeight_ = 0;
    int picturesSinceRefusal_ = 0;
};

void Display::Settle(VideoOutput& output, const char* reason) {
    if (settled_ == &output) return;
    settled_ = &output;
    char line[96] = {};
    std::snprintf(line, sizeof line, "video output: port=%d output=%s reason=%s\n", port_, output.name(), reason);
    OutputDebugStringA(line);
}

DirectDrawOutput* Display::DirectDraw() {
    if (!directDrawTried_) {
        directDrawTried_ = true;
        OutputDebugStringA(kCreatingDirectDraw);
        directDraw_ = DirectDrawOutput::Create(record_.videoWindow.load());
        if (directDraw_) {
            OutputDebugStringA(kDirectDrawCreated);
        } else {
            // Without DirectDraw (no display driver, a session without one)
            // the pictures go through DrawDib rather than nowhere; no other
            // port need try.
            if (setting_ == OutputSetting::kAuto) verdict_.Publish(OutputTrial::Pick::kDrawDib, "unavailable");
            trialOwner_ = false;
            Settle(dib_, "unavailable");
        }
    }
    return directDraw_.get();
}

void Display::DropDirectDraw(const char* reason) {
    directDraw_.reset();
    if (active_ != &dib_) active_ = nullptr;
    Settle(dib_, reason);
}

VideoOutput* Display::Wanted() {
    switch (setting_) {
        case OutputSetting::kDrawDib:
            Settle(dib_, "forced");
            return &dib_;
        case OutputSetting::kDirectDraw:
            if (DirectDraw()) return directDraw_.get();
            return &dib_;
        case OutputSetting::kAuto:
            break;
    }
    if (directDrawTried_ && !directDraw_) return &dib_;
    switch (verdict_.Get()) {
        case OutputTrial::Pick::kDrawDib:
            Settle(dib_, verdict_.reason());
            return &dib_;
        case OutputTrial::Pick::kDirectDraw:
            if (!DirectDraw()) return &dib_;
            Settle(*directDraw_, verdict_.reason());
            return directDraw_.get();
        case OutputTrial::Pick::kUndecided:
            break;
    }
    // Undecided: the port that makes the trial alternates; the others wait
    // for its verdict on DrawDib.
    if (!trialOwner_) trialOwner_ = verdict_.TryBeginTrial();
    if (!trialOwner_ || !trial_.NextIsDirectDraw()) return &dib_;
    if (!DirectDraw()) return &dib_;
    return directDraw_.get();
}

bool Display::Prepare(const QueuedFrame& frame) {
    // Intake queues only pictures that fit their size; anything else is not
    // ours to draw.
    if (!IsDisplayKind(frame.kind) || !PictureFits(frame.kind, frame.width, frame.height, frame.size)) {
        if (directDraw_) directDraw_->Release();
        active_ = nullptr;
        return false;
    }
    VideoOutput* wanted = Wanted();
    if (wanted != &dib_) {
        const bool refused = frame.kind == refusedKind_ && frame.width == refusedWidth_ &&
                             frame.height == refusedHeight_ && ++picturesSinceRefusal_ < kRetryRefusedFormatAfter;
        if (refused || !directDraw_->Prepare(frame.kind, frame.width, frame.height)) {
            // The display cannot take this format: convert and draw through
            // DrawDib, and try DirectDraw again later.
            if (!refused) {
                refusedKind_ = frame.kind;
                refusedWidth_ = frame.width;
                refusedHeight_ = frame.height;
                picturesSinceRefusal_ = 0;
            }
            wanted = &dib_;
            Settle(dib_, "format");
            // A display without surfaces for the trial's pictures: every
            // port draws through DrawDib.
            if (trialOwner_) {
                verdict_.Publish(OutputTrial::Pick::kDrawDib, "format");
                trialOwner_ = false;
                DropDirectDraw("format");
            }
        } else {
            refusedKind_ = refusedWidth_ = refusedHeight_ = 0;
            if (setting_ == OutputSetting::kDirectDraw) Settle(*wanted, "forced");
        }
    }
    if (wanted == &dib_ && !dib_.Prepare(frame.kind, frame.width, frame.height)) wanted = nullptr;
    active_ = wanted;
    return active_ != nullptr;
}

void Display::Measure(VideoOutput& output, std::int64_t costUs) {
    trial_.Record(&output != &dib_, costUs);
    if (trial_.pick() == OutputTrial::Pick::kUndecided) return;
    char line[96] = {};
    std::snprintf(line, sizeof line, "video output costs: port=%d ddraw_us=%lld drawdib_us=%lld\n", port_,
                  static_cast<long long>(trial_.MedianUs(true)), static_cast<long long>(trial_.MedianUs(false)));
    OutputDebugStringA(line);
    verdict_.Publish(trial_.pick());
    trialOwner_ = false;
    // DirectDraw goes with its device where DrawDib is cheaper.
    if (verdict_.Get() == OutputTrial::Pick::kDrawDib) DropDirectDraw("cheaper");
}

void Display::DrawFrame() {
    OutputDebugStringA("begin draw video\n");
    clock_.CountPicture();
    const QueuedFrame& frame = record_.currentFrame.OwnerView();
    if (VideoOutput* output = active_) {
        // Only the trial's pictures are timed.
        const std::int64_t started = trialOwner_ ? MicrosecondsNow() : 0;
        ShowResult shown = ShowResult::kNotShown;
        if (output->DrawPicture(frame)) {
            overlay_.Draw(record_, frame, *output);
            shown = output->Show();
        }
        if (output->lost()) shown = ShowResult::kLost;
        if (shown == ShowResult::kLost) {
            DropDirectDraw("unavailable");
        } else if (trialOwner_ && shown == ShowResult::kShown) {
            output->Finish();
            Measure(*output, MicrosecondsNow() - started);
        }
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
        if (!Prepare(frame)) continue;
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
        Display display(*start->record, *start->clock, *start->verdict, start->port, ReadOutputSetting());
        display.Run();
    } catch (...) {
        // Out of memory for the display's own buffers: the port shows
        // nothing more until it is stopped.
    }
    if (comReady) CoUninitialize();
    return 0;
}

}  // namespace

HANDLE StartDisplayThread(std::shared_ptr<PortRecord> record, PositionClock* clock, OutputVerdict* verdict, int port) {
    DisplayStart* start = new (std::nothrow) DisplayStart{std::move(record), clock, verdict, port};
    if (!start) return nullptr;
    const uintptr_t thread = _beginthreadex(nullptr, 0, DisplayThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(thread);
}

}  // namespace vd
