// What the display thread of a port presents besides its pictures: the
// overlay read from a file port's side file (a stream port has none), with
// the lock the side-file reader appends under and the drawing draws under.
// The engine keeps one per open port and hands it to the port's display
// thread, which holds its own reference.
#ifndef VD_VIDEO_PORT_PRESENTATION_H
#define VD_VIDEO_PORT_PRESENTATION_H

#include "overlay/overlay_item_list.h"
#include "overlay/overlay_lock.h"
#include "port/win32_sync.h"

namespace vd {

class PortOverlayLock final : public OverlayLock {
public:
    void Lock() override { section_.Enter(); }
    void Unlock() override { section_.Leave(); }

private:
    CriticalSection section_;
};

struct PortPresentation {
    PortOverlayLock overlayLock;
    OverlayItemList overlayItems;
};

}  // namespace vd

#endif
