// Small owners of the Win32 synchronisation objects the port records use.
#ifndef VD_PORT_WIN32_SYNC_H
#define VD_PORT_WIN32_SYNC_H

#include <windows.h>

namespace vd {

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~ScopedLock() { section_.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& section_;
};

// An unnamed event with default security. Tests of it never block.
class Event {
public:
    Event(bool manualReset, bool initiallySet)
        : handle_(CreateEventA(nullptr, manualReset ? TRUE : FALSE, initiallySet ? TRUE : FALSE, nullptr)) {}
    ~Event() {
        if (handle_) CloseHandle(handle_);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool valid() const { return handle_ != nullptr; }
    HANDLE handle() const { return handle_; }
    void Set() { SetEvent(handle_); }
    void Reset() { ResetEvent(handle_); }
    // A zero-timeout test; on an auto-reset event a true answer consumes it.
    bool Test() { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }

private:
    HANDLE handle_;
};

// A manual-reset event that can be waited for either way: set, or cleared.
// Two events, at most one of them set at any time, so that a thread that
// saw one state and waits for the other never finds it at once by mistake.
class TwoWayEvent {
public:
    explicit TwoWayEvent(bool initiallySet) : set_(true, initiallySet), cleared_(true, !initiallySet) {}
    TwoWayEvent(const TwoWayEvent&) = delete;
    TwoWayEvent& operator=(const TwoWayEvent&) = delete;

    bool valid() const { return set_.valid() && cleared_.valid(); }
    void Set() {
        ScopedLock guard(lock_);
        cleared_.Reset();
        set_.Set();
    }
    void Reset() {
        ScopedLock guard(lock_);
        set_.Reset();
        cleared_.Set();
    }
    // A zero-timeout test of the set state.
    bool Test() { return set_.Test(); }
    HANDLE setHandle() const { return set_.handle(); }
    HANDLE clearedHandle() const { return cleared_.handle(); }

private:
    CriticalSection lock_;
    Event set_;
    Event cleared_;
};

}  // namespace vd

#endif
