// Pictures of every kind the SDK delivers, made from an RGB description, and
// the colours a correct display shows for them.
#ifndef TESTS_COMMON_TEST_PICTURES_H
#define TESTS_COMMON_TEST_PICTURES_H

#include <cstdint>
#include <vector>

namespace vdtest {

// Kinds as the SDK numbers them.
enum PictureKind { kRgb32 = 2, kYv12 = 3, kUyvy = 4, kI420 = 5, kYuy2 = 6 };

const char* KindName(int kind);

// An RGB picture, 0x00RRGGBB per pixel, top row first.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Vertical bars of the given colours, equally wide.
RgbPicture ColourBars(int width, int height, const std::vector<std::uint32_t>& colours);
// One colour all over.
RgbPicture Flat(int width, int height, std::uint32_t colour);

// The bytes the SDK would deliver for the picture in the kind: RGB32
// bottom-up, the YUV kinds in studio-range BT.601 (chroma of each 2 x 2 or
// 2 x 1 block from the block's mean).
std::vector<std::uint8_t> Encode(const RgbPicture& picture, int kind);

// True when two colours differ by at most tolerance in each channel.
bool Near(std::uint32_t a, std::uint32_t b, int tolerance);

}  // namespace vdtest

#endif
