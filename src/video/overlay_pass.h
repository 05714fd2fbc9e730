// The overlay over a picture shown through DirectDraw: the port's overlay
// items whose time span covers the picture's stamp, drawn with GDI on the
// overlay surface (picture coordinates, so the overlay scales with the
// picture), which is then blitted over the video with magenta transparent.
#ifndef VD_VIDEO_OVERLAY_PASS_H
#define VD_VIDEO_OVERLAY_PASS_H

#include <windows.h>
#include <ddraw.h>

#include <vector>

#include "port/port_record.h"

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

    // Draws the overlay of a picture on the overlay surface. True when
    // something was drawn and the surface is to be blitted over the video;
    // with nothing to draw the video stays as it is, and no fill or blit is
    // spent on it. Stream ports drop for good the items whose span has passed.
    bool Draw(PortRecord& record, const QueuedFrame& frame, IDirectDrawSurface* overlaySurface);

private:
    std::vector<const OverlayItem*> visible_;
    HFONT font_ = nullptr;
};

}  // namespace vd

#endif
