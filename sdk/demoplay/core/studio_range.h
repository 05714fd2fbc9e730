// Decoded Motion-JPEG planes into the frame kinds the SDK hands over.
//
// JPEG samples are full range (0 to 255 for luma and chroma); the YUV kinds
// are studio range (luma 16 to 235, chroma 16 to 240), which is how every
// consumer shows them. The change of range is ffmpeg's own scaler arithmetic
// (its 15-bit steps folded into one), so a picture equals ffmpeg's decode of
// the same data into yuv420p or yuv422p byte for byte.
#ifndef DEMOPLAY_CORE_STUDIO_RANGE_H
#define DEMOPLAY_CORE_STUDIO_RANGE_H

#include <cstddef>
#include <cstdint>

namespace demoplay {

struct DecodedPlanes {
    const uint8_t* plane[3] = {nullptr, nullptr, nullptr};  // Y, U (Cb), V (Cr); U and V null for grey
    ptrdiff_t stride[3] = {0, 0, 0};
    int width = 0;
    int height = 0;
    bool fullRange = true;  // false: already studio range, copied as it is
};

// 4:2:0 planes (or grey) of even width and height into YV12: the Y plane,
// then V, then U, rows without padding (width * height * 3 / 2 bytes).
void PlanesToYv12(const DecodedPlanes& in, uint8_t* out);

// 4:2:2 planes of even width into YUY2 (width * height * 2 bytes). With
// fullChroma the chroma planes are 4:4:4; each pair of samples is averaged.
void PlanesToYuy2(const DecodedPlanes& in, bool fullChroma, uint8_t* out);

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_STUDIO_RANGE_H
