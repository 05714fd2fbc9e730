// The overlay pass of a drawn picture: the port's overlay items whose time
// span covers the picture's stamp, drawn on the overlay surface.
#ifndef VD_PRESENT_OVERLAY_PASS_H
#define VD_PRESENT_OVERLAY_PASS_H

#include <ddraw.h>

#include "engine/port_record.h"

namespace vd {

// Draws the overlay for the picture; true when there is something to blit
// over it.
bool DrawOverlayPass(PortRecord& record, const QueuedFrame& frame, IDirectDrawSurface* overlaySurface);

}  // namespace vd

#endif
