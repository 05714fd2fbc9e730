// vdplay's windows: one top-level window whose client area is divided into
// a grid of video cells, one per port (the camera wall). The plug-in draws
// into the cells; the top-level window takes the keyboard and the timer and
// passes them on.
#ifndef VD_VDPLAY_VIDEO_WALL_H
#define VD_VDPLAY_VIDEO_WALL_H

#include <windows.h>

#include <vector>

namespace vdplay {

class WallEvents {
public:
    virtual void OnKey(WPARAM virtualKey) = 0;  // WM_KEYDOWN
    virtual void OnChar(char c) = 0;            // WM_CHAR
    virtual void OnTimer() = 0;                 // every tick
    virtual void OnEndNotice(LPARAM port) = 0;  // the plug-in's notification
    virtual void OnCellsMoved() = 0;            // after a resize
    virtual void OnClose() = 0;
    virtual void OnSourceMessage(WPARAM source) = 0;  // a camera's ports are to be opened

protected:
    ~WallEvents() = default;
};

class VideoWall {
public:
    static constexpr UINT kEndNoticeMessage = WM_APP + 1;
    static constexpr UINT kSourceMessage = WM_APP + 2;

    explicit VideoWall(WallEvents* events) : events_(events) {}
    ~VideoWall();
    VideoWall(const VideoWall&) = delete;
    VideoWall& operator=(const VideoWall&) = delete;

    // Makes the window with `cells` cells, each about pictureWidth x
    // pictureHeight (scaled down to fit a screen), and shows it. False when no
    // window can be made (no display).
    bool Create(int cells, int pictureWidth, int pictureHeight, UINT tickMs);
    void Destroy();
    void SetTitle(const char* title);

    HWND window() const { return window_; }
    HWND cell(int i) const { return cells_[size_t(i)]; }
    int cellCount() const { return int(cells_.size()); }
    // Where cell i lies in the window's client area.
    RECT cellRect(int i) const;

    // Runs the message loop until Quit; false when WM_QUIT came otherwise.
    void RunMessageLoop();
    void Quit();

private:
    static LRESULT CALLBACK MainProc(HWND, UINT, WPARAM, LPARAM);
    void Layout();

    WallEvents* events_;
    HWND window_ = nullptr;
    std::vector<HWND> cells_;
    int columns_ = 1;
    int rows_ = 1;
};

}  // namespace vdplay

#endif  // VD_VDPLAY_VIDEO_WALL_H
