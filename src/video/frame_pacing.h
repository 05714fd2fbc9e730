// The pace of paced streams: how long after the previous picture the next
// one is due, in reference-clock units of 100 ns.
#ifndef VD_VIDEO_FRAME_PACING_H
#define VD_VIDEO_FRAME_PACING_H

#include <cstdint>

namespace vd {

// One picture at the stream's frame rate (25 per second when none, or no
// positive one, is given), divided by 2 to the power speed: speed 1 doubles the pace, -1
// halves it. The power of two is taken in single precision and the quotient
// truncated, as the players we interoperate with time it.
std::int64_t FrameDelay100ns(int frameRate, int speed);

}  // namespace vd

#endif
