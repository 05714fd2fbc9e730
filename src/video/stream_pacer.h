// When a paced stream port's pictures are shown: evenly, one picture's time
// after the previous one was due (not after the thread woke, so a late
// wake-up is not carried into every later picture), and at once when more
// than an allowance of pictures waits behind the one taken, so that a camera
// faster than its rate, a burst or a hold-up never leaves a growing delay.
// Plain arithmetic on the reference clock's units (100 ns).
#ifndef VD_VIDEO_STREAM_PACER_H
#define VD_VIDEO_STREAM_PACER_H

#include <cstddef>
#include <cstdint>

namespace vd {

// Pictures that may wait behind the one being shown before the thread
// catches up: one, which absorbs a picture interval of jitter; with one more
// arriving while the thread waits, the delay stays within three intervals.
constexpr std::size_t kPacedQueueAllowance = 1;
// A picture waiting behind every one of this many in a row is a backlog
// left by a burst rather than jitter: one is caught up with.
constexpr int kSteadyBacklogPictures = 12;

class StreamPacer {
public:
    // When the picture just taken is due; a time not after `now` means at
    // once. `interval` is a picture's time at the current speed, `waiting`
    // the pictures queued behind this one; `mayCatchUp` is false when the
    // pace was slowed on purpose (the queue then fills by design).
    std::int64_t Due(std::int64_t now, std::int64_t interval, std::size_t waiting, bool mayCatchUp);
    void Reset() {
        lastDue_ = kNone;
        backlogRun_ = 0;
        catchingUp_ = false;
    }
    std::uint64_t caughtUp() const { return caughtUp_; }

private:
    static constexpr std::int64_t kNone = INT64_MIN;
    std::int64_t lastDue_ = kNone;
    int backlogRun_ = 0;  // pictures in a row taken with another waiting
    bool catchingUp_ = false;
    std::uint64_t caughtUp_ = 0;
};

}  // namespace vd

#endif
