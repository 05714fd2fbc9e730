// A port's queue of frames between the SDK's threads and a consumer thread:
// first in, first out, at most five frames. Producers wait for room instead
// of dropping frames, so the queue is the flow control between decoding and
// presentation. Every Clear starts a new generation: a producer that took
// the generation before a Clear (a frame the SDK was handing over while the
// port seeked or stopped) has its frame dropped rather than queued after it.
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

    // Appends the frame (taking its bytes) when there is room.
    bool TryPush(QueuedFrame& frame) { return TryPush(frame, Generation()) == Push::kQueued; }
    // The same for a frame that arrived in the given generation; kStale (the
    // frame left with its caller) when the queue has been cleared since.
    Push TryPush(QueuedFrame& frame, unsigned generation);
    // Read without the lock: the frame path asks for it with every frame.
    unsigned Generation() const { return generation_.load(); }
    // Takes the oldest frame; false when there is none.
    bool TryPop(QueuedFrame& out);
    // Drops every frame and its bytes.
    void Clear();
    std::size_t Size();

private:
    CriticalSection lock_;
    std::deque<QueuedFrame> frames_;
    std::atomic<unsigned> generation_{0};  // changed under lock_
};

}  // namespace vd

#endif
