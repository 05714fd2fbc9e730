// Conversions between packed RGB and planar YUV 4:2:0 (studio-range BT.601,
// fixed point).
//
// Pixel layouts: an RGB32 pixel is 4 bytes blue, green, red, fourth byte; an
// RGB24 pixel is 3 bytes blue, green, red. A planar 4:2:0 picture of
// width x height has a Y plane of width x height bytes and two chroma planes
// (U = Cb, V = Cr) of (width / 2) x (height / 2) bytes, one sample per 2 x 2
// block of pixels. Every routine takes the three plane addresses separately,
// so the same call serves YV12 (Y, V, U in memory) and I420 (Y, U, V).
//
// Sizes: any width and height of at least 1 is accepted; nothing outside the
// given planes and images is read or written (zero or negative sizes do
// nothing). Pictures with an odd width or height have pixels that belong to
// no complete 2 x 2 block (the last column, the last row). For them:
//   - ConvertRgb32ToYuv420 writes their Y values and no chroma: the chroma
//     planes hold only the (width / 2) x (height / 2) complete blocks.
//   - ConvertYuv420ToRgb32 writes every pixel; the odd column and row take
//     the chroma sample of the nearest complete block, or neutral chroma
//     (U = V = 128) when the picture is one pixel wide or high and so has no
//     chroma sample at all.
//   - ConvertYuv420WithTable leaves them untouched.
//
// None of the routines allocates; all are safe to call from any thread.
#ifndef VD_PIXEL_PIXEL_CONVERT_H
#define VD_PIXEL_PIXEL_CONVERT_H

#include <cstdint>

namespace vd {

// RGB32 to planar 4:2:0. Y = ((25 B + 129 G + 66 R) >> 8) + 16 per pixel;
// U and V from the sums of the four pixels of each 2 x 2 block:
// U = ((112 SB - 74 SG - 38 SR) >> 10) + 128,
// V = ((-18 SB - 94 SG + 112 SR) >> 10) + 128 (truncated means).
// With flip nonzero the source is bottom-up: source row r is at
// source + (height - 1 - r) * sourceStride. The planar side is top-down.
void ConvertRgb32ToYuv420(const std::uint8_t* source, int sourceStride, std::uint8_t* yPlane, std::uint8_t* uPlane,
                          std::uint8_t* vPlane, int yStride, int chromaStride, int width, int height, int flip);

// Planar 4:2:0 to RGB32 (fourth byte 0). With c = 74 (Y - 16):
// R = clamp((c + 102 (V - 128)) >> 6), G = clamp((c - 25 (U - 128) - 52 (V - 128)) >> 6),
// B = clamp((c + 129 (U - 128)) >> 6); each chroma sample serves its 2 x 2
// block without interpolation. With flip nonzero the destination is
// bottom-up: image row r is at destination + (height - 1 - r) * destinationStride.
void ConvertYuv420ToRgb32(std::uint8_t* destination, int destinationStride, const std::uint8_t* yPlane,
                          const std::uint8_t* uPlane, const std::uint8_t* vPlane, int yStride, int chromaStride,
                          int width, int height, int flip);

// The look-up table of the table-driven conversion: five sections of 256
// signed values with 18 fractional bits.
constexpr int kYuvTableSize = 1280;
constexpr int kYuvTableY = 0;      // (i - 16) * 1.164383
constexpr int kYuvTableUB = 256;   // (i - 128) * 2.017231
constexpr int kYuvTableUG = 512;   // (i - 128) * 0.391762
constexpr int kYuvTableVG = 768;   // (i - 128) * 0.812969
constexpr int kYuvTableVR = 1024;  // (i - 128) * 1.596027

// Fills the kYuvTableSize values of `table`.
void BuildYuvTable(std::int32_t* table);

// Planar 4:2:0 to a top-down RGB24 image whose rows follow each other
// directly (3 * width bytes apart), through a table made by BuildYuvTable.
// Only whole 2 x 2 blocks are converted.
void ConvertYuv420WithTable(std::uint8_t* destination, int width, const std::int32_t* table, const std::uint8_t* yPlane,
                            const std::uint8_t* uPlane, const std::uint8_t* vPlane, int height, int yStride,
                            int chromaStride);

// Packed 4:2:2 (YUY2, or UYVY with uyvy set) to a top-down RGB24 image
// whose rows follow each other directly, through the same table: each pair
// of pixels shares one U and one V. Source rows are 2 * width bytes apart;
// an odd last column is left untouched.
void ConvertPacked422WithTable(std::uint8_t* destination, int width, int height, const std::int32_t* table,
                               const std::uint8_t* source, bool uyvy);

}  // namespace vd

#endif  // VD_PIXEL_PIXEL_CONVERT_H
