// The display thread of a port played in a window: it takes pictures from
// the port's video queue, keeps the one on display in the record's current
// frame and shows it in the window, through a video surface of the picture's
// own format or, when the display cannot make one, through DrawDib. Paced
// stream ports are timed on the reference clock; step mode and redraw
// requests are served here. It ends when the record's displayQuitEvent is set.
#ifndef VD_VIDEO_DISPLAY_THREAD_H
#define VD_VIDEO_DISPLAY_THREAD_H

#include <windows.h>

#include <memory>

namespace vd {

struct PortRecord;
class PositionClock;

// Starts the thread for a record whose videoWindow is set. The thread holds
// its own reference to the record and counts each drawn picture on the
// clock. Returns the thread's handle (the caller waits for it and closes
// it), or null when no thread could be started.
HANDLE StartDisplayThread(std::shared_ptr<PortRecord> record, PositionClock* clock);

}  // namespace vd

#endif
