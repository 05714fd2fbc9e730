#include "port/frame_queue.h"

#include <utility>

namespace vd {

FrameQueue::FrameQueue() = default;

void FrameQueue::SignalRoomLocked() {
    const bool room = frames_.size() < kCapacity;
    if (room == roomSet_) return;
    if (room) {
        room_.Set();
    } else {
        room_.Reset();
    }
    roomSet_ = room;
}

FrameQueue::Push FrameQueue::TryPush(QueuedFrame& frame, unsigned generation) {
    ScopedLock guard(lock_);
    if (generation != generation_.load()) return Push::kStale;
    if (frames_.size() >= kCapacity) {
        SignalRoomLocked();  // a Nudge may have set the room event
        return Push::kFull;
    }
    frames_.push_back(std::move(frame));
    SignalRoomLocked();
    if (consumerWaits_) {
        consumerWaits_ = false;
        waiting_.Set();
    }
    return Push::kQueued;
}

bool FrameQueue::TryPop(QueuedFrame& out) {
    ScopedLock guard(lock_);
    if (frames_.empty()) {
        consumerWaits_ = true;
        return false;
    }
    out = std::move(frames_.front());
    frames_.pop_front();
    SignalRoomLocked();
    return true;
}

void FrameQueue::Clear() {
    std::deque<QueuedFrame> dropped;
    {
        ScopedLock guard(lock_);
        dropped.swap(frames_);
        ++generation_;
        // The room wakes a producer waiting with a frame of the old
        // generation, which it then drops.
        SignalRoomLocked();
    }
}

void FrameQueue::Nudge() {
    ScopedLock guard(lock_);
    room_.Set();
    roomSet_ = true;
}

std::size_t FrameQueue::Size() {
    ScopedLock guard(lock_);
    return frames_.size();
}

}  // namespace vd
