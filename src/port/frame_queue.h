// A port's queue of frames between the SDK's threads and a consumer thread:
// first in, first out, at most five frames. Producers wait for room instead
// of dropping frames, so the queue is the flow control between decoding and
// presentation.
#ifndef VD_PORT_FRAME_QUEUE_H
#define VD_PORT_FRAME_QUEUE_H

#include <deque>

#include "port/queued_frame.h"
#include "port/win32_sync.h"

namespace vd {

class FrameQueue {
public:
    static constexpr std::size_t kCapacity = 5;

    // Appends the frame (taking its bytes) when there is room.
    bool TryPush(QueuedFrame& frame);
    // Takes the oldest frame; false when there is none.
    bool TryPop(QueuedFrame& out);
    // Drops every frame and its bytes.
    void Clear();
    std::size_t Size();

private:
    CriticalSection lock_;
    std::deque<QueuedFrame> frames_;
};

}  // namespace vd

#endif
