// RGB pictures to planar 4:2:0 (studio-range BT.601), as cameras store them.
#ifndef VD_SAMPLE_YUV420_H
#define VD_SAMPLE_YUV420_H

#include <cstdint>
#include <vector>

#include "sample/test_pattern.h"

namespace vdsample {

// The Y plane, then V, then U (YV12) or U, then V (I420). Width and height
// must be even; each chroma sample is the mean of its 2 x 2 pixels.
std::vector<uint8_t> ToYuv420(const Image& image, bool yv12);

// The same conversion for one colour (what a flat area becomes).
void RgbToYuv(Rgb c, uint8_t* y, uint8_t* u, uint8_t* v);

}  // namespace vdsample

#endif  // VD_SAMPLE_YUV420_H
