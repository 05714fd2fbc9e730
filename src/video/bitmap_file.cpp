#include "video/bitmap_file.h"

namespace vd {

namespace {

void Put16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
    Put16(at, value);
    Put16(at + 2, value >> 16);
}

}  // namespace

std::vector<std::uint8_t> BitmapHeaders32(int width, int height) {
    std::vector<std::uint8_t> headers(kBitmapHeadersSize, 0);
    std::uint8_t* h = headers.data();
    const std::uint32_t imageBytes = 4u * static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height);
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, kBitmapHeadersSize + imageBytes);
    Put32(h + 10, kBitmapHeadersSize);
    Put32(h + 14, 40);
    Put32(h + 18, static_cast<std::uint32_t>(width));
    Put32(h + 22, static_cast<std::uint32_t>(height));
    Put16(h + 26, 1);
    Put16(h + 28, 32);
    // Compression (BI_RGB), image size, resolutions and colour counts stay 0.
    return headers;
}

}  // namespace vd
