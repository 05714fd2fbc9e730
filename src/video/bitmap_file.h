// The snapshot file: a Windows bitmap, 32 bits per pixel, rows bottom-up.
#ifndef VD_VIDEO_BITMAP_FILE_H
#define VD_VIDEO_BITMAP_FILE_H

#include <cstdint>
#include <vector>

namespace vd {

constexpr int kBitmapHeadersSize = 54;  // 14-byte file header + 40-byte information header

// The 54 header bytes of a 32-bit bottom-up bitmap of width x height pixels
// whose pixels follow directly (file size 54 + 4 * width * height, image
// size field 0, no resolution, no palette).
std::vector<std::uint8_t> BitmapHeaders32(int width, int height);

}  // namespace vd

#endif
