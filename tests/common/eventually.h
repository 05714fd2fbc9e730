// Waiting in tests for something another thread does: every wait has a
// generous deadline, so a test that would hang fails instead.
#ifndef VDTEST_COMMON_EVENTUALLY_H
#define VDTEST_COMMON_EVENTUALLY_H

#include <windows.h>

#include <functional>

namespace vdtest {

constexpr DWORD kEventuallyMs = 10000;

// True once done() is; false when the deadline passed first.
inline bool Eventually(const std::function<bool()>& done, DWORD deadlineMs = kEventuallyMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > deadlineMs) return false;
        Sleep(1);
    }
    return true;
}

}  // namespace vdtest

#endif
