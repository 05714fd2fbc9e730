// What the display thread asks of a way of showing pictures in a window.
// The thread owns the timing, stepping and redraws; an output owns its device
// objects and knows nothing of ports, queues or clocks. One picture is shown
// as Prepare (for every picture: it returns at once while the kind and size
// stay the same), DrawPicture, optionally BeginOverlay/EndOverlay, then Show.
#ifndef VD_VIDEO_VIDEO_OUTPUT_H
#define VD_VIDEO_VIDEO_OUTPUT_H

#ifdef _WIN32
#include <windows.h>
#endif

#include "port/queued_frame.h"

namespace vd {

#ifdef _WIN32
using OverlayContext = HDC;
#else
// The host builds the output chooser and its tests, which draw no overlay.
using OverlayContext = struct HostOverlayContext*;
#endif

enum class ShowResult {
    kShown,
    kNotShown,  // nothing to show this time (an empty or zero-sized window)
    kFailed,    // the output tried and failed (a failed blit, a picture it could not copy)
    kLost,      // the device went away and could not be brought back: use another output
};

class VideoOutput {
public:
    virtual ~VideoOutput() = default;

    // "ddraw" or "drawdib", for traces and the client's tools.
    virtual const char* name() const = 0;

    // Makes the output ready for pictures of this kind and size. False when
    // it cannot show them.
    virtual bool Prepare(int kind, int width, int height) = 0;
    // Puts the picture into the output's back buffer; false when it cannot
    // (a picture not of the prepared kind and size, a failed copy).
    virtual bool DrawPicture(const QueuedFrame& frame) = 0;

    // A device context over the picture in the back buffer, in picture
    // coordinates, to draw the overlay with; null when there is none.
    // Everything drawn shows over the picture, except, where keysMagenta()
    // is true, what is drawn in magenta.
    virtual OverlayContext BeginOverlay() = 0;
    virtual void EndOverlay(OverlayContext dc) = 0;
    virtual bool keysMagenta() const = 0;

    // Shows the back buffer stretched over the window's client area.
    virtual ShowResult Show() = 0;

    // Gives back what Prepare made.
    virtual void Release() = 0;

    // Waits until what Show asked of the display is done, where the device
    // does it behind the caller's back: what a picture costs, measured around
    // DrawPicture to Finish, then includes it.
    virtual void Finish() {}

    // True once the device has gone for good: the output shows nothing more.
    virtual bool lost() const { return false; }

protected:
    VideoOutput() = default;
    VideoOutput(const VideoOutput&) = delete;
    VideoOutput& operator=(const VideoOutput&) = delete;
};

}  // namespace vd

#endif
