#include "vdplay/screen_capture.h"

#include <cstdio>
#include <vector>

namespace vdplay {

std::string SaveWindowImage(HWND window, const std::string& path) {
  RECT client;
  if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return "the window has no area";
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  const int width = client.right, height = client.bottom;

  // The screen, not the window: the video is put there by the display
  // hardware, and a window's own device context would not hold it.
  HDC screen = GetDC(nullptr);
  if (!screen) return "no screen device context";
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  std::string problem;
  if (!bitmap || !bits) {
    problem = "cannot make a bitmap of " + std::to_string(width) + "x" + std::to_string(height);
  } else {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (!BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY | CAPTUREBLT))
      problem = "cannot copy the screen";
    SelectObject(memory, old);
    GdiFlush();
  }
  if (problem.empty()) {
    const DWORD stride = DWORD((width * 3 + 3) & ~3);
    const DWORD imageBytes = stride * DWORD(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    info.bmiHeader.biSizeImage = imageBytes;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
      problem = "cannot create " + path;
    } else {
      bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                std::fwrite(bits, 1, imageBytes, out) == imageBytes;
      if (std::fclose(out) != 0 || !ok) {
        problem = "cannot write " + path;
        std::remove(path.c_str());
      }
    }
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return problem;
}

}  // namespace vdplay
