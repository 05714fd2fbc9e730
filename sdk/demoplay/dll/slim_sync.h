// A lock and a condition variable over the system's slim reader/writer lock
// and condition variable. Under Wine these wait and wake within the process,
// where the C++ library's (over winpthreads' semaphores) ask the Wine server
// on every wake-up: a live picture would wait for that.
#ifndef DEMOPLAY_DLL_SLIM_SYNC_H
#define DEMOPLAY_DLL_SLIM_SYNC_H

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace demoplay {

class SlimMutex {
public:
    SlimMutex() = default;
    SlimMutex(const SlimMutex&) = delete;
    SlimMutex& operator=(const SlimMutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* native() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class SlimConditionVariable {
public:
    SlimConditionVariable() = default;
    SlimConditionVariable(const SlimConditionVariable&) = delete;
    SlimConditionVariable& operator=(const SlimConditionVariable&) = delete;
    void notify_all() { WakeAllConditionVariable(&condition_); }
    void wait(std::unique_lock<SlimMutex>& lock) { Sleep(lock, INFINITE); }
    template <typename Clock, typename Duration>
    void wait_until(std::unique_lock<SlimMutex>& lock, const std::chrono::time_point<Clock, Duration>& until) {
        const auto left = until - Clock::now();
        if (left <= Duration::zero()) return;
        // Whole milliseconds, rounded up, so that the wait never ends early.
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left + std::chrono::microseconds(999));
        Sleep(lock, DWORD(std::min<long long>(ms.count(), 0x7FFFFFFE)));
    }
    template <typename Clock, typename Duration, typename Predicate>
    bool wait_until(std::unique_lock<SlimMutex>& lock, const std::chrono::time_point<Clock, Duration>& until,
                    Predicate done) {
        while (!done()) {
            if (Clock::now() >= until) return done();
            wait_until(lock, until);
        }
        return true;
    }

private:
    void Sleep(std::unique_lock<SlimMutex>& lock, DWORD ms) {
        SleepConditionVariableSRW(&condition_, lock.mutex()->native(), ms, 0);
    }
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace demoplay

#endif  // DEMOPLAY_DLL_SLIM_SYNC_H
