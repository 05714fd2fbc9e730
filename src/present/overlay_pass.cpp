#include "present/overlay_pass.h"

namespace vd {

// Ports have no overlay model yet: no side file is read, so there is never
// anything to draw over the picture.
bool DrawOverlayPass(PortRecord&, const QueuedFrame&, IDirectDrawSurface*) { return false; }

}  // namespace vd
