// Pictures shown through DrawDib, for displays that cannot take the picture's
// format or where it is the cheaper way: the plug-in converts the picture to
// 32-bit RGB itself (the snapshots' conversion for the planar kinds, the
// table for the packed ones) into a bitmap that GDI can draw the overlay on,
// and DrawDib stretches it over the window's client area.
#ifndef VD_VIDEO_DIB_OUTPUT_H
#define VD_VIDEO_DIB_OUTPUT_H

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <vector>

#include "video/video_output.h"

namespace vd {

class DibOutput final : public VideoOutput {
public:
    explicit DibOutput(HWND window) : window_(window) {}
    ~DibOutput() override;

    const char* name() const override { return "drawdib"; }
    // Ready for pictures of this size (made again when the size changes) of
    // the 4:2:0 and 4:2:2 kinds. False for other kinds, or when the memory or
    // the bitmap is not there.
    bool Prepare(int kind, int width, int height) override;
    // Converts the picture into the bitmap; false when it is not of the
    // prepared size.
    bool DrawPicture(const QueuedFrame& frame) override;
    HDC BeginOverlay() override;
    void EndOverlay(HDC dc) override;
    bool keysMagenta() const override { return false; }
    ShowResult Show() override;
    void Release() override;

private:
    HWND window_;
    int width_ = 0;
    int height_ = 0;
    bool pictureReady_ = false;
    HDRAWDIB drawDib_ = nullptr;
    HDC windowDc_ = nullptr;
    HDC bitmapDc_ = nullptr;  // holds the bitmap, for the overlay
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    std::uint8_t* bits_ = nullptr;  // the bitmap's rows, bottom-up
    std::size_t stride_ = 0;
    BITMAPINFOHEADER header_{};
    std::vector<std::int32_t> yuvTable_;
    std::vector<std::uint8_t> topDown_;  // a packed picture converted, 24-bit, rows 3 * width apart
};

}  // namespace vd

#endif
