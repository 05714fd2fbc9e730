#include "common/test_window.h"

#include <cstring>

namespace vdtest {

namespace {
const char kClassName[] = "VdTestWindow";
}

LRESULT CALLBACK TestWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
        if (message >= WM_USER) self->received_.push_back({message, {wParam, lParam}});
    }
    if (message == WM_ERASEBKGND) return 1;  // the picture paints the whole area
    return DefWindowProcA(window, message, wParam, lParam);
}

TestWindow::TestWindow(int width, int height, int x, int y) : width_(width), height_(height) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
    window_ = CreateWindowExA(WS_EX_TOPMOST, kClassName, "vd test", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window_) return;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    Pump();
}

TestWindow::~TestWindow() {
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    Pump();
}

void TestWindow::Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::vector<std::uint32_t> TestWindow::Capture() const {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width_) * height_, 0);
    HDC windowDc = GetDC(window_);
    if (!windowDc) return pixels;
    HDC memoryDc = CreateCompatibleDC(windowDc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memoryDc, bitmap);
        BitBlt(memoryDc, 0, 0, width_, height_, windowDc, 0, 0, SRCCOPY);
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size() * sizeof(std::uint32_t));
        for (std::uint32_t& pixel : pixels) pixel &= 0x00FFFFFF;
        SelectObject(memoryDc, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window_, windowDc);
    return pixels;
}

std::vector<std::pair<WPARAM, LPARAM>> TestWindow::Received(UINT message) const {
    std::vector<std::pair<WPARAM, LPARAM>> found;
    for (const auto& entry : received_) {
        if (entry.first == message) found.push_back(entry.second);
    }
    return found;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs, TestWindow* window) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (window) window->Pump();
        if (condition()) return true;
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return false;
        Sleep(5);
    }
}

}  // namespace vdtest
