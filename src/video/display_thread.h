// The display thread of a port played in a window: it takes pictures from
// the port's video queue, keeps the one on display in the record's current
// frame and shows it in the window through a video output: DirectDraw, or
// DrawDib where DirectDraw cannot be used, cannot take the picture's format,
// costs clearly more (measured on the first pictures), or where the
// VD_VIDEO_OUTPUT environment variable says so. Paced stream ports are timed
// on the reference clock; step mode and redraw requests are served here. It
// ends when the record's displayQuitEvent is set.
#ifndef VD_VIDEO_DISPLAY_THREAD_H
#define VD_VIDEO_DISPLAY_THREAD_H

#include <windows.h>

#include <memory>

namespace vd {

struct PortRecord;
struct PortPresentation;
class OutputVerdict;
class PositionClock;

// Starts the thread for a record whose videoWindow is set, with the port's
// presentation state (its overlay). The thread holds its own references to
// both and counts each drawn picture on the clock; the verdict on the cheaper
// output is shared by the engine's ports; the port number is for the traces.
// Returns the thread's handle (the caller waits for it and closes it), or
// null when no thread could be started.
HANDLE StartDisplayThread(std::shared_ptr<PortRecord> record, std::shared_ptr<PortPresentation> presentation,
                          PositionClock* clock, OutputVerdict* verdict, int port);

}  // namespace vd

#endif
