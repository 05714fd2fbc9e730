// The overlay over a picture: the port's overlay items whose time span covers
// the picture's stamp, drawn with GDI in picture coordinates (so the overlay
// scales with the picture) on the context the video output gives: the
// DirectDraw output's overlay surface, keyed over the video with magenta
// transparent, or the DrawDib output's bitmap of the picture itself.
#ifndef VD_VIDEO_OVERLAY_PASS_H
#define VD_VIDEO_OVERLAY_PASS_H

#include <windows.h>

#include <vector>

#include "overlay/overlay_item.h"
#include "port/queued_frame.h"
#include "video/port_presentation.h"
#include "video/video_output.h"

namespace vd {

// Draws one item into the context at the origin: a Line through its points
// (two at least) with a solid one-pixel pen, a Text in one line from its
// position on a transparent background. Other kinds draw nothing.
void DrawOverlayItem(POINT origin, const OverlayItem& item, HDC dc);

class OverlayPass {
public:
    OverlayPass() = default;
    ~OverlayPass();
    OverlayPass(const OverlayPass&) = delete;
    OverlayPass& operator=(const OverlayPass&) = delete;

    // Draws the overlay of the picture the output holds. With nothing to
    // draw the output is not asked for a context at all. Magenta items are
    // transparent on every output. Stream ports drop for good the items
    // whose span has passed.
    void Draw(PortPresentation& presentation, bool stream, const QueuedFrame& frame, VideoOutput& output);

private:
    std::vector<const OverlayItem*> visible_;
    HFONT font_ = nullptr;
};

}  // namespace vd

#endif
