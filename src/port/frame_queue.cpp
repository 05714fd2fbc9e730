#include "port/frame_queue.h"

#include <utility>

namespace vd {

FrameQueue::Push FrameQueue::TryPush(QueuedFrame& frame, unsigned generation) {
    ScopedLock guard(lock_);
    if (generation != generation_.load()) return Push::kStale;
    if (frames_.size() >= kCapacity) return Push::kFull;
    frames_.push_back(std::move(frame));
    return Push::kQueued;
}

bool FrameQueue::TryPop(QueuedFrame& out) {
    ScopedLock guard(lock_);
    if (frames_.empty()) return false;
    out = std::move(frames_.front());
    frames_.pop_front();
    return true;
}

void FrameQueue::Clear() {
    std::deque<QueuedFrame> dropped;
    {
        ScopedLock guard(lock_);
        dropped.swap(frames_);
        ++generation_;
    }
}

std::size_t FrameQueue::Size() {
    ScopedLock guard(lock_);
    return frames_.size();
}

}  // namespace vd
