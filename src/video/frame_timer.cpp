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

bool FrameTimer::WaitUntil(std::int64_t due, HANDLE quitEvent) {
    const std::int64_t now = Now();
    if (due <= now) return true;
    DWORD_PTR cookie = 0;
    bool advised = false;
    if (clock_ && adviseEvent_) {
        advised = SUCCEEDED(clock_->AdviseTime(now, due - now, reinterpret_cast<HEVENT>(adviseEvent_), &cookie));
    }
    if (advised) {
        const HANDLE events[2] = {adviseEvent_, quitEvent};
        const bool quit = WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0;
        if (quit) clock_->Unadvise(cookie);
        return !quit;
    }
    // Without an advise the wait is timed on the counter, in whole
    // milliseconds rounded up.
    const std::int64_t remaining = due - Now();
    const DWORD ms = remaining > 0 ? static_cast<DWORD>((remaining + 9999) / 10000) : 0;
    return WaitForSingleObject(quitEvent, ms) != WAIT_OBJECT_0;
}

}  // namespace vd
