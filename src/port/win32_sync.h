// Small owners of the Win32 synchronisation objects the port records use.
#ifndef VD_PORT_WIN32_SYNC_H
#define VD_PORT_WIN32_SYNC_H

#include <windows.h>

#include <atomic>

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

// An event whose state is also kept in memory, for the events that are
// looked at with every picture: a look is then a memory read, where a
// zero-timeout wait is a trip through the system (under Wine, through the
// Wine server, and a timed-out one gives up the processor too).
//
// The memory state is the truth; the handle is what a thread waits on and
// is set whenever the state is. A Test of an auto-reset event takes its
// state but leaves the handle set, so a wait on the handle may wake without
// the event being set: after a wait woke on an auto-reset event's handle,
// the thread asks Test whether it really was.
class FlaggedEvent {
public:
    FlaggedEvent(bool manualReset, bool initiallySet)
        : event_(manualReset, initiallySet), manualReset_(manualReset), set_(initiallySet) {}
    FlaggedEvent(const FlaggedEvent&) = delete;
    FlaggedEvent& operator=(const FlaggedEvent&) = delete;

    bool valid() const { return event_.valid(); }
    HANDLE handle() const { return event_.handle(); }
    // The state before the handle: a thread woken by the handle finds it.
    void Set() {
        ScopedLock guard(lock_);
        set_.store(true);
        event_.Set();
    }
    void Reset() {
        ScopedLock guard(lock_);
        set_.store(false);
        event_.Reset();
    }
    // Whether the event is set; on an auto-reset event a true answer takes it.
    bool Test() { return manualReset_ ? set_.load() : set_.exchange(false); }

private:
    CriticalSection lock_;  // keeps the state and the handle in step when Set and Reset meet
    Event event_;
    const bool manualReset_;
    std::atomic<bool> set_;
};

// A manual-reset event that can be waited for either way: set, or cleared.
// Two events, at most one of them set at any time, so that a thread that
// saw one state and waits for the other never finds it at once by mistake.
// Its state is kept in memory too, so that a look at it costs no system call
// (as FlaggedEvent's).
class TwoWayEvent {
public:
    explicit TwoWayEvent(bool initiallySet)
        : set_(true, initiallySet), cleared_(true, !initiallySet), state_(initiallySet) {}
    TwoWayEvent(const TwoWayEvent&) = delete;
    TwoWayEvent& operator=(const TwoWayEvent&) = delete;

    bool valid() const { return set_.valid() && cleared_.valid(); }
    // A thread that saw the new state waits for the next change, so the state
    // changes after the handles on Set (the cleared handle is reset by then)
    // and before them on Reset (a thread woken by the cleared handle sees it).
    void Set() {
        ScopedLock guard(lock_);
        cleared_.Reset();
        set_.Set();
        state_.store(true);
    }
    void Reset() {
        ScopedLock guard(lock_);
        state_.store(false);
        set_.Reset();
        cleared_.Set();
    }
    // Whether the event is set.
    bool Test() const { return state_.load(); }
    HANDLE setHandle() const { return set_.handle(); }
    HANDLE clearedHandle() const { return cleared_.handle(); }

private:
    CriticalSection lock_;
    Event set_;
    Event cleared_;
    std::atomic<bool> state_;
};

}  // namespace vd

#endif
