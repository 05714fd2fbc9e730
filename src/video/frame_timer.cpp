#include "video/frame_timer.h"

#include <strmif.h>
#include <uuids.h>

namespace vd {

FrameTimer::FrameTimer() {
    IReferenceClock* clock = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                   reinterpret_cast<void**>(&clock)))) {
        clock_ = clock;
    }
    adviseEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    counterFrequency_ = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
}

FrameTimer::~FrameTimer() {
    if (clock_) clock_->Release();
    if (adviseEvent_) CloseHandle(adviseEvent_);
}

std::int64_t FrameTimer::Now() const {
    if (clock_) {
        REFERENCE_TIME now = 0;
        if (SUCCEEDED(clock_->GetTime(&now))) return now;
    }
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    const std::int64_t seconds = counter.QuadPart / counterFrequency_;
    const std::int64_t rest = counter.QuadPart % counterFrequency_;
    return seconds * 10000000 + rest * 10000000 / counterFrequency_;
}

bool FrameTimer::WaitForFrameTime(std::int64_t delay, HANDLE quitEvent) {
    // The slowest speeds give delays of years (or the largest number); a day
    // is as good a wait and keeps the clock arithmetic below from overflowing.
    constexpr std::int64_t kLongestDelay = 24LL * 3600 * 10000000;
    if (delay < 0) delay = 0;
    if (delay > kLongestDelay) delay = kLongestDelay;
    if (lastTime_ == -1) lastTime_ = Now() - delay;

    DWORD_PTR cookie = 0;
    bool advised = false;
    if (clock_ && adviseEvent_) {
        advised = SUCCEEDED(clock_->AdviseTime(lastTime_, delay, reinterpret_cast<HEVENT>(adviseEvent_), &cookie));
    }
    bool quit;
    if (advised) {
        const HANDLE events[2] = {adviseEvent_, quitEvent};
        quit = WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0;
        if (quit) clock_->Unadvise(cookie);
    } else {
        // Without an advise the wait is timed on the counter, in whole
        // milliseconds rounded up.
        const std::int64_t remaining = lastTime_ + delay - Now();
        const DWORD ms = remaining > 0 ? static_cast<DWORD>((remaining + 9999) / 10000) : 0;
        quit = WaitForSingleObject(quitEvent, ms) == WAIT_OBJECT_0;
    }
    lastTime_ = Now();
    return !quit;
}

}  // namespace vd
