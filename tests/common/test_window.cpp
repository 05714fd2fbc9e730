#include "common/test_window.h"

namespace vdtest {

namespace {

const char kClassName[] = "VdTestWindow";

ATOM RegisterOnce() {
    static const ATOM atom = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = kClassName;
        return RegisterClassA(&windowClass);
    }();
    return atom;
}

}  // namespace

TestWindow::TestWindow(int width, int height) {
    if (!RegisterOnce()) return;
    window_ = CreateWindowA(kClassName, "test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width, height, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
}

TestWindow::~TestWindow() {
    if (window_) DestroyWindow(window_);
}

}  // namespace vdtest
