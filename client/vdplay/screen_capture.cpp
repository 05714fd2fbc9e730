#include "vdplay/screen_capture.h"

#include <cstdio>
#include <cstring>

namespace vdplay {
namespace {

size_t Stride(int width) { return (size_t(width) * 3 + 3) & ~size_t(3); }

}  // namespace

bool ScreenImage::Uniform() const {
    if (width <= 0 || height <= 0) return true;
    const unsigned char* first = rows.data();
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = rows.data() + size_t(y) * Stride(width);
        for (int x = 0; x < width; ++x)
            if (std::memcmp(row + size_t(x) * 3, first, 3) != 0) return false;
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
