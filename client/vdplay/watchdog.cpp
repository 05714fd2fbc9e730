#include "vdplay/watchdog.h"

#include <cstdio>

namespace vdplay {

Watchdog::Watchdog(int exitCode, std::function<void(const std::string&)> onExpired)
    : exitCode_(exitCode), onExpired_(std::move(onExpired)) {}

Watchdog::~Watchdog() { Stop(); }

bool Watchdog::Start() {
    quit_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!quit_) return false;
    thread_ = CreateThread(nullptr, 0, &Watchdog::ThreadMain, this, 0, nullptr);
    return thread_ != nullptr;
}

void Watchdog::Stop() {
    if (thread_) {
        SetEvent(quit_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    if (quit_) {
        CloseHandle(quit_);
        quit_ = nullptr;
    }
}

void Watchdog::Arm(const std::string& label, DWORD ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    label_ = label;
    deadline_ = GetTickCount64() + ms;
}

void Watchdog::Disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    deadline_ = 0;
}

std::vector<std::string> Watchdog::ClosedMessages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

DWORD WINAPI Watchdog::ThreadMain(void* self) {
    static_cast<Watchdog*>(self)->Run();
    return 0;
}

BOOL CALLBACK Watchdog::OnWindow(HWND window, LPARAM selfValue) {
    auto* self = reinterpret_cast<Watchdog*>(selfValue);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0) return TRUE;
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        for (HWND w : self->closed_)
            if (w == window) return TRUE;
        self->closed_.push_back(window);
    }
    // A message box keeps its text in the static control 0xFFFF.
    char text[1024] = {};
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    std::string message = caption[0] ? std::string(caption) + ": " + text : std::string(text);
    std::fprintf(stderr, "vdplay: the plug-in showed a message box, closed: %s\n", message.c_str());
    std::fflush(stderr);
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->messages_.push_back(message);
    }
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void Watchdog::Run() {
    while (WaitForSingleObject(quit_, 100) == WAIT_TIMEOUT) {
        if (watchDialogs_) EnumWindows(&Watchdog::OnWindow, reinterpret_cast<LPARAM>(this));
        std::string expired;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (deadline_ != 0 && GetTickCount64() > deadline_) expired = label_;
        }
        if (!expired.empty()) {
            if (onExpired_) onExpired_(expired);
            std::fflush(stdout);
            std::fflush(stderr);
            // Not ExitProcess: detaching the DLLs could wait for the very thread
            // that does not come back.
            TerminateProcess(GetCurrentProcess(), UINT(exitCode_));
        }
    }
}

}  // namespace vdplay
