// The overlay lock over a port's critical section (Windows build only; the
// critical section is initialised and deleted by its owner).
#ifndef VD_OVERLAY_OVERLAY_LOCK_WIN32_H
#define VD_OVERLAY_OVERLAY_LOCK_WIN32_H

#include <windows.h>

#include "overlay/overlay_lock.h"

namespace vd {

class CriticalSectionOverlayLock final : public OverlayLock {
public:
    explicit CriticalSectionOverlayLock(CRITICAL_SECTION& section) : section_(section) {}
    void Lock() override { EnterCriticalSection(&section_); }
    void Unlock() override { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION& section_;
};

}  // namespace vd

#endif
