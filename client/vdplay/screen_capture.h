// What the screen shows in a window's client area (the picture with its
// overlay, as the user sees it), and saving it as a 24-bit bitmap file.
#ifndef VD_VDPLAY_SCREEN_CAPTURE_H
#define VD_VDPLAY_SCREEN_CAPTURE_H

#include <windows.h>

#include <string>
#include <vector>

namespace vdplay {

struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rows;  // 24-bit, bottom-up, rows padded to 4 bytes

    // True when every pixel has the same colour (nothing drawn yet), in the
    // whole image or in the part at (x, y) from the top left, clipped to it.
    bool Uniform() const { return UniformIn(0, 0, width, height); }
    bool UniformIn(int x, int y, int w, int h) const;
};

// Empty result, or why nothing was captured.
std::string CaptureClientArea(HWND window, ScreenImage* out);
// Empty result, or why nothing was written.
std::string SaveBitmap(const ScreenImage& image, const std::string& path);

}  // namespace vdplay

#endif  // VD_VDPLAY_SCREEN_CAPTURE_H
