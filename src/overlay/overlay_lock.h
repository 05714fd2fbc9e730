// The lock that guards a port's overlay items, as the reader and the drawing
// see it. The port's presentation state backs it with a critical section of
// its own (video/port_presentation.h); the host tests with a mutex or nothing.
#ifndef VD_OVERLAY_OVERLAY_LOCK_H
#define VD_OVERLAY_OVERLAY_LOCK_H

namespace vd {

class OverlayLock {
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;

protected:
    ~OverlayLock() = default;
};

class OverlayLockHold {
public:
    explicit OverlayLockHold(OverlayLock& lock) : lock_(lock) { lock_.Lock(); }
    ~OverlayLockHold() { lock_.Unlock(); }
    OverlayLockHold(const OverlayLockHold&) = delete;
    OverlayLockHold& operator=(const OverlayLockHold&) = delete;

private:
    OverlayLock& lock_;
};

}  // namespace vd

#endif
