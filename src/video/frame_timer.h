// Timing of paced stream pictures: each picture is due a given delay after
// the moment the previous one was shown (the moment the thread woke, not the
// moment it was due). Runs on the system reference clock; where that cannot
// be created, on the monotonic performance counter with the same arithmetic.
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

    // Waits until the picture is due (the first one is due at once). False
    // when quitEvent ended the wait; the event is then consumed.
    bool WaitForFrameTime(std::int64_t delay100ns, HANDLE quitEvent);

private:
    std::int64_t Now() const;

    IReferenceClock* clock_ = nullptr;
    HANDLE adviseEvent_ = nullptr;
    std::int64_t lastTime_ = -1;
    std::int64_t counterFrequency_ = 0;
};

}  // namespace vd

#endif
