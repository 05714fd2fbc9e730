// Pictures shown through DrawDib when the display cannot make a surface in
// the picture's format: the plug-in converts the picture to 24-bit RGB itself
// (table-driven) and DrawDib stretches it over the window's client area. No
// overlay is drawn this way.
#ifndef VD_VIDEO_DIB_OUTPUT_H
#define VD_VIDEO_DIB_OUTPUT_H

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "port/queued_frame.h"

namespace vd {

class DibOutput {
public:
    explicit DibOutput(HWND window) : window_(window) {}
    ~DibOutput();
    DibOutput(const DibOutput&) = delete;
    DibOutput& operator=(const DibOutput&) = delete;

    // Ready for pictures of this size (opened again when the size changes).
    // False when the memory for it is not there.
    bool Prepare(int width, int height);
    // Converts and draws the picture; false when it is not of the prepared
    // size, too short, or of a kind this output cannot convert.
    bool Draw(const QueuedFrame& frame);

private:
    void Close();

    HWND window_;
    int width_ = 0;
    int height_ = 0;
    bool opened_ = false;
    HDRAWDIB drawDib_ = nullptr;
    HDC dc_ = nullptr;
    BITMAPINFOHEADER header_{};
    std::vector<std::int32_t> yuvTable_;
    std::vector<std::uint8_t> topDown_;   // the converted picture, rows 3 * width apart
    std::vector<std::uint8_t> bottomUp_;  // as the bitmap header describes it (rows 4-byte aligned)
};

}  // namespace vd

#endif
