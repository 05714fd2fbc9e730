// A real top-level window for tests that play a port in one (it needs a
// display: see with_display.sh). Destroyed with the object.
#ifndef TESTS_COMMON_TEST_WINDOW_H
#define TESTS_COMMON_TEST_WINDOW_H

#include <windows.h>

namespace vdtest {

class TestWindow {
public:
    TestWindow(int width = 352, int height = 288);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

}  // namespace vdtest

#endif
