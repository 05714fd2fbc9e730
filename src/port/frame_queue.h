// A port's queue of frames between the SDK's threads and a consumer thread:
// first in, first out, at most five frames. Producers wait for room instead
// of dropping frames, so the queue is the flow control between decoding and
// presentation. Every Clear starts a new generation: a producer that took
// the generation before a Clear (a frame the SDK was handing over while the
// port seeked or stopped) has its frame dropped rather than queued after it.
// Its producers and its consumer wait on events rather than look again and
// again: one is set while there is room; the other is set by the first push
// after the consumer found the queue empty, so that a consumer that keeps
// up costs no event calls.
#ifndef VD_PORT_FRAME_QUEUE_H
#define VD_PORT_FRAME_QUEUE_H

#include <atomic>
#include <deque>

#include "port/queued_frame.h"
#include "port/win32_sync.h"

namespace vd {

class FrameQueue {
public:
    static constexpr std::size_t kCapacity = 5;

    enum class Push { kQueued, kFull, kStale };

    FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // False when one of the queue's events could not be made.
    bool valid() const { return room_.valid() && waiting_.valid(); }

    // Appends the frame (taking its bytes) when there is room.
    bool TryPush(QueuedFrame& frame) { return TryPush(frame, Generation()) == Push::kQueued; }
    // The same for a frame that arrived in the given generation; kStale (the
    // frame left with its caller) when the queue has been cleared since.
    Push TryPush(QueuedFrame& frame, unsigned generation);
    // Read without the lock: the frame path asks for it with every frame.
    unsigned Generation() const { return generation_.load(); }
    // Takes the oldest frame; false when there is none, and the next push
    // then sets the waiting event.
    bool TryPop(QueuedFrame& out);
    // Drops every frame and its bytes.
    void Clear();
    std::size_t Size();

    // Set while a frame could be pushed (and after Clear or Nudge); a
    // producer that found the queue full waits for it, then tries again.
    HANDLE roomHandle() const { return room_.handle(); }
    // An auto-reset event set by the first push after TryPop found the
    // queue empty: the consumer waits for it after an empty TryPop. (It may
    // have been set by an earlier push: the consumer then looks once more.)
    HANDLE waitingHandle() const { return waiting_.handle(); }
    // Wakes the producers waiting for room, so that they look again at
    // what decides whether their frame is still wanted.
    void Nudge();

private:
    // Brings the room event in line with the queue (lock_ held). Only
    // changes are passed on: each is a trip to the system.
    void SignalRoomLocked();

    CriticalSection lock_;
    std::deque<QueuedFrame> frames_;
    std::atomic<unsigned> generation_{0};  // changed under lock_
    Event room_{true, true};
    Event waiting_{false, false};
    bool roomSet_ = true;         // the room event's state, changed under lock_
    bool consumerWaits_ = false;  // TryPop found the queue empty since the last push
};

}  // namespace vd

#endif
