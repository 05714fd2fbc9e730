#include "vdplay/video_wall.h"

#include <algorithm>
#include <cmath>

namespace vdplay {
namespace {

const char kMainClass[] = "VdplayWall";
const char kCellClass[] = "VdplayCell";
constexpr UINT_PTR kTimerId = 1;
constexpr int kMaxWallWidth = 1280;
constexpr int kMaxWallHeight = 960;

bool RegisterClasses() {
    static bool done = false;
    if (done) return true;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA main = {};
    main.lpfnWndProc = DefWindowProcA;  // replaced per window below
    main.hInstance = instance;
    main.hCursor = LoadCursor(nullptr, IDC_ARROW);
    main.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    main.lpszClassName = kMainClass;
    WNDCLASSA cell = main;
    cell.lpfnWndProc = DefWindowProcA;
    cell.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    cell.lpszClassName = kCellClass;
    done = RegisterClassA(&main) && RegisterClassA(&cell);
    return done;
}

}  // namespace

VideoWall::~VideoWall() { Destroy(); }

bool VideoWall::Create(int cells, int pictureWidth, int pictureHeight, UINT tickMs) {
    if (!RegisterClasses()) return false;
    if (pictureWidth <= 0 || pictureHeight <= 0) {
        pictureWidth = 640;
        pictureHeight = 480;
    }
    columns_ = std::max(1, int(std::ceil(std::sqrt(double(cells)))));
    rows_ = (cells + columns_ - 1) / columns_;
    // Cells keep the picture's shape; the wall fits the screen.
    double scale = std::min(
        {1.0, double(kMaxWallWidth) / (columns_ * pictureWidth), double(kMaxWallHeight) / (rows_ * pictureHeight)});
    RECT r = {0, 0, LONG(columns_ * pictureWidth * scale), LONG(rows_ * pictureHeight * scale)};
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    AdjustWindowRect(&r, style, FALSE);
    window_ = CreateWindowExA(0, kMainClass, "vdplay", style, 0, 0, r.right - r.left, r.bottom - r.top, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window_) return false;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&VideoWall::MainProc));
    // One port plays in the window itself: a child window would cost the
    // display an extra copy of every picture on some systems.
    if (cells == 1) cells_.push_back(window_);
    for (int i = 0; cells > 1 && i < cells; ++i) {
        HWND cell = CreateWindowExA(0, kCellClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 1, 1, window_,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
        if (!cell) {
            Destroy();
            return false;
        }
        cells_.push_back(cell);
    }
    Layout();
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
    SetFocus(window_);
    SetTimer(window_, kTimerId, tickMs, nullptr);
    return true;
}

void VideoWall::Destroy() {
    if (window_) {
        KillTimer(window_, kTimerId);
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);  // destroys the cells with it
        window_ = nullptr;
    }
    cells_.clear();
}

RECT VideoWall::cellRect(int i) const {
    RECT r = {0, 0, 0, 0};
    const HWND cell = cells_[size_t(i)];
    GetClientRect(cell, &r);
    if (cell != window_) MapWindowPoints(cell, window_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void VideoWall::SetTitle(const char* title) {
    if (window_) SetWindowTextA(window_, title);
}

void VideoWall::Layout() {
    if (cells_.size() == 1 && cells_[0] == window_) return;
    RECT client;
    GetClientRect(window_, &client);
    const int width = client.right, height = client.bottom;
    for (size_t i = 0; i < cells_.size(); ++i) {
        const int col = int(i) % columns_, row = int(i) / columns_;
        const int x0 = width * col / columns_, x1 = width * (col + 1) / columns_;
        const int y0 = height * row / rows_, y1 = height * (row + 1) / rows_;
        // A one-pixel seam between cells of a wall.
        const int gap = cells_.size() > 1 ? 1 : 0;
        MoveWindow(cells_[i], x0, y0, std::max(1, x1 - x0 - gap), std::max(1, y1 - y0 - gap), TRUE);
    }
}

void VideoWall::RunMessageLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void VideoWall::Quit() { PostQuitMessage(0); }

LRESULT CALLBACK VideoWall::MainProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<VideoWall*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, w, l);
    switch (message) {
        case WM_KEYDOWN:
            self->events_->OnKey(w);
            return 0;
        case WM_CHAR:
            self->events_->OnChar(char(w));
            return 0;
        case WM_TIMER:
            if (w == kTimerId) self->events_->OnTimer();
            return 0;
        case kEndNoticeMessage:
            self->events_->OnEndNotice(l);
            return 0;
        case kSourceMessage:
            self->events_->OnSourceMessage(w);
            return 0;
        case WM_SIZE:
            if (!self->cells_.empty()) {
                self->Layout();
                self->events_->OnCellsMoved();
            }
            return 0;
        case WM_CLOSE:
            self->events_->OnClose();
            return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

}  // namespace vdplay
