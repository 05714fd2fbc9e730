#include "video/frame_pacing.h"

#include <cmath>

namespace vd {

std::int64_t FrameDelay100ns(int frameRate, int speed) {
    // A rate that is not positive is not a rate: such pictures run at 25 per
    // second like those that give none.
    const std::int32_t interval = frameRate > 0 ? 10000000 / frameRate : 400000;
    // Past +-126 the power leaves the float range; the pace is then as fast
    // (or slow) as it gets.
    const int exponent = speed < -126 ? -126 : (speed > 126 ? 126 : speed);
    const float divisor = std::ldexp(1.0f, exponent);
    const float delay = static_cast<float>(interval) / divisor;
    if (!(delay < 9.2e18f)) return INT64_MAX;  // also catches NaN
    return static_cast<std::int64_t>(delay);
}

}  // namespace vd
