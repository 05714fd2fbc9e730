// Keeps vdplay from hanging on the plug-in. A thread of its own checks that
// the current step (a plug-in call, or a beat of the message loop) ends in
// time, and ends the process with a message when it does not. It also closes
// message boxes the plug-in opens on vdplay's threads (a snapshot with no
// picture shows one), so that an unattended run is never held by a dialog;
// their texts are reported.
#ifndef VD_VDPLAY_WATCHDOG_H
#define VD_VDPLAY_WATCHDOG_H

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vdplay {

class Watchdog {
public:
    // onExpired runs on the watchdog's thread with the step's label, just
    // before the process is ended with `exitCode`.
    Watchdog(int exitCode, std::function<void(const std::string& label)> onExpired);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    bool Start();
    void Stop();
    // The step `label` must end within `ms` milliseconds (until the next Arm or Disarm).
    void Arm(const std::string& label, DWORD ms);
    void Disarm();
    // Starts looking for message boxes. Only once the process has a window:
    // looking for windows loads the display driver, and doing that while the
    // main thread loads a library deadlocks on the loader's lock.
    void WatchDialogs() { watchDialogs_ = true; }

    // Texts of the message boxes closed so far.
    std::vector<std::string> ClosedMessages();

private:
    static DWORD WINAPI ThreadMain(void* self);
    static BOOL CALLBACK OnWindow(HWND window, LPARAM self);
    void Run();

    const int exitCode_;
    std::function<void(const std::string&)> onExpired_;
    HANDLE thread_ = nullptr;
    HANDLE quit_ = nullptr;
    std::mutex mutex_;
    std::string label_;
    ULONGLONG deadline_ = 0;  // 0: disarmed
    std::vector<std::string> messages_;
    std::vector<HWND> closed_;  // already told to close
    std::atomic<bool> watchDialogs_{false};
};

}  // namespace vdplay

#endif  // VD_VDPLAY_WATCHDOG_H
