// The clock of paced stream pictures and the wait for a picture's time (the
// times themselves come from StreamPacer). Runs on the system reference
// clock; where that cannot be created, on the monotonic performance counter
// in the same units.
#ifndef VD_VIDEO_FRAME_TIMER_H
#define VD_VIDEO_FRAME_TIMER_H

#include <windows.h>

#include <cstdint>

struct IReferenceClock;

namespace vd {

class FrameTimer {
public:
    // COM must be initialised on the calling thread for the reference clock.
    FrameTimer();
    ~FrameTimer();
    FrameTimer(const FrameTimer&) = delete;
    FrameTimer& operator=(const FrameTimer&) = delete;

    bool usesReferenceClock() const { return clock_ != nullptr; }

    // The clock's time, in 100 ns units.
    std::int64_t Now() const;
    // Waits until the clock reaches `due` (at once when it has). False when
    // quitEvent ended the wait; the event is then consumed.
    bool WaitUntil(std::int64_t due, HANDLE quitEvent);

private:
    IReferenceClock* clock_ = nullptr;
    HANDLE adviseEvent_ = nullptr;
    std::int64_t counterFrequency_ = 0;
};

}  // namespace vd

#endif
