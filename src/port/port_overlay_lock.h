// The lock of a port's overlay items: the side-file reader appends under it
// and the display thread draws under it.
#ifndef VD_PORT_PORT_OVERLAY_LOCK_H
#define VD_PORT_PORT_OVERLAY_LOCK_H

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

}  // namespace vd

#endif
