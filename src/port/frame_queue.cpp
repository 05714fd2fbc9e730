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
    bool wakeConsumer = false;
    {
        ScopedLock guard(lock_);
        if (generation != generation_.load()) return Push::kStale;
        if (frames_.size() >= kCapacity) {
            SignalRoomLocked();  // a Nudge may have set the room event
            return Push::kFull;
        }
        frames_.push_back(std::move(frame));
        SignalRoomLocked();
        wakeConsumer = consumerWaits_;
        consumerWaits_ = false;
    }
    // Set after the lock is left: the consumer it wakes takes the lock at
    // once, and the set is a trip to the system. The event is auto-reset and
    // the consumer only waits for it after an empty TryPop, so a set that
    // comes after it has looked again is one look more, never one lost.
    if (wakeConsumer) waiting_.Set();
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
