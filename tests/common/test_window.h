// A real top-level window on the test display, whose client area the tests
// read back pixel by pixel.
#ifndef TESTS_COMMON_TEST_WINDOW_H
#define TESTS_COMMON_TEST_WINDOW_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace vdtest {

class TestWindow {
public:
    // A visible window whose client area is exactly width x height, at
    // (x, y) on the screen.
    TestWindow(int width = 352, int height = 288, int x = 32, int y = 32);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND handle() const { return window_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Handles the messages waiting for the window's thread.
    void Pump();
    // The client area as 0x00RRGGBB values, top row first.
    std::vector<std::uint32_t> Capture() const;
    // The messages the window received with this number: (wParam, lParam).
    std::vector<std::pair<WPARAM, LPARAM>> Received(UINT message) const;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    int width_;
    int height_;
    std::vector<std::pair<UINT, std::pair<WPARAM, LPARAM>>> received_;
};

// Polls the condition (pumping the window's messages if one is given) every
// few milliseconds until it holds or the deadline passes; true when it held.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000, TestWindow* window = nullptr);

// Red, green and blue of a captured pixel.
inline int Red(std::uint32_t pixel) { return static_cast<int>((pixel >> 16) & 0xFF); }
inline int Green(std::uint32_t pixel) { return static_cast<int>((pixel >> 8) & 0xFF); }
inline int Blue(std::uint32_t pixel) { return static_cast<int>(pixel & 0xFF); }

}  // namespace vdtest

#endif
