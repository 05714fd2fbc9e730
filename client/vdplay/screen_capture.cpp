#include "vdplay/screen_capture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vdplay {
namespace {

size_t Stride(int width) { return (size_t(width) * 3 + 3) & ~size_t(3); }

}  // namespace

bool ScreenImage::UniformIn(int x, int y, int w, int h) const {
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(width, x + w), y1 = std::min(height, y + h);
    if (x0 >= x1 || y0 >= y1) return true;
    // Rows are stored bottom-up.
    const unsigned char* first = rows.data() + size_t(height - 1 - y0) * Stride(width) + size_t(x0) * 3;
    for (int row = y0; row < y1; ++row) {
        const unsigned char* line = rows.data() + size_t(height - 1 - row) * Stride(width);
        for (int col = x0; col < x1; ++col)
            if (std::memcmp(line + size_t(col) * 3, first, 3) != 0) return false;
    }
    return true;
}

std::string CaptureClientArea(HWND window, ScreenImage* out) {
    *out = ScreenImage();
    RECT client;
    if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return "the window has no area";
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const int width = client.right, height = client.bottom;

    // The screen, not the window: the video is put there by the display
    // hardware, and the window's own device context would not hold it.
    HDC screen = GetDC(nullptr);
    if (!screen) return "no screen device context";
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
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
        if (problem.empty()) {
            out->width = width;
            out->height = height;
            const unsigned char* p = static_cast<const unsigned char*>(bits);
            out->rows.assign(p, p + Stride(width) * size_t(height));
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return problem;
}

std::string SaveBitmap(const ScreenImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) return "nothing was captured";
    const DWORD imageBytes = DWORD(image.rows.size());
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = image.width;
    header.biHeight = image.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = imageBytes;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return "cannot create " + path;
    const bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
                    std::fwrite(image.rows.data(), 1, imageBytes, out) == imageBytes;
    if (std::fclose(out) != 0 || !ok) {
        std::remove(path.c_str());
        return "cannot write " + path;
    }
    return "";
}

}  // namespace vdplay
