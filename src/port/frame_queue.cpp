#include "port/frame_queue.h"

#include <utility>

namespace vd {

bool FrameQueue::TryPush(QueuedFrame& frame) {
    ScopedLock guard(lock_);
    if (frames_.size() >= kCapacity) return false;
    frames_.push_back(std::move(frame));
    return true;
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
    }
}

std::size_t FrameQueue::Size() {
    ScopedLock guard(lock_);
    return frames_.size();
}

}  // namespace vd
