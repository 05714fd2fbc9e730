#include "video/stream_pacer.h"

namespace vd {

std::int64_t StreamPacer::Due(std::int64_t now, std::int64_t interval, std::size_t waiting, bool mayCatchUp) {
    // The slowest speeds give intervals of years (or the largest number); a
    // day is as good a wait and keeps the sum below from overflowing.
    constexpr std::int64_t kLongestInterval = 24LL * 3600 * 10000000;
    if (interval < 0) interval = 0;
    if (interval > kLongestInterval) interval = kLongestInterval;
    std::int64_t due = lastDue_ == kNone ? now : lastDue_ + interval;
    backlogRun_ = waiting > 0 ? backlogRun_ + 1 : 0;
    // Once caught up with, a backlog is drained while anything waits: its
    // producer refills the queue as it empties, so the queue alone hides
    // how much is still to come.
    if (waiting == 0 || !mayCatchUp) catchingUp_ = false;
    if (mayCatchUp && (waiting > kPacedQueueAllowance || backlogRun_ >= kSteadyBacklogPictures)) catchingUp_ = true;
    if (catchingUp_) {
        backlogRun_ = 0;
        if (due > now) ++caughtUp_;
        due = now;
    } else if (due < now - interval) {
        // More than a picture late: the picture came late (a slow or stopped
        // camera) or the thread was held up. The pace starts again from now
        // rather than hurrying through what follows.
        due = now;
    }
    lastDue_ = due;
    return due;
}

}  // namespace vd
