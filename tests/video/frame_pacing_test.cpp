// The pace of paced streams: one picture's time at the stream's frame rate,
// divided by 2 to the power of the speed, in 100 ns units.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "video/frame_pacing.h"

namespace vd {
namespace {

TEST(FramePacing, DelayByFrameRateAndSpeed) {
    struct Case {
        int frameRate;
        int speed;
        std::int64_t delay;
    } cases[] = {
        {25, 0, 400000},                                      // 40 ms
        {25, 1, 200000},                                      // twice as fast
        {25, -1, 800000},                                     // half as fast
        {25, 3, 50000},   {25, -4, 6400000}, {0, 0, 400000},  // no rate given counts as 25 per second
        {0, 1, 200000},   {-25, 0, 400000},                   // nor does a negative one
        {30, 0, 333333},                                      // the interval is truncated
        {30, 1, 166666},                                      // and so is the quotient
        {30, -1, 666666}, {7, 0, 1428571},   {1, 0, 10000000}, {1, -5, 320000000},
        {10000000, 0, 1}, {10000001, 0, 0},  // faster than the clock's unit
        {INT_MAX, 0, 0},  {25, 126, 0},      {25, 200, 0},     {25, INT_MAX, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "rate " << c.frameRate << " speed " << c.speed);
        EXPECT_EQ(FrameDelay100ns(c.frameRate, c.speed), c.delay);
    }
}

// Very slow speeds stop at the largest delay instead of overflowing the
// conversion to an integer.
TEST(FramePacing, SlowestSpeedsSaturate) {
    for (const int speed : {-45, -126, -127, -1000, INT_MIN}) {
        SCOPED_TRACE(speed);
        EXPECT_EQ(FrameDelay100ns(25, speed), INT64_MAX);
    }
    // Still finite where the float quotient fits: 400000 * 2^30.
    EXPECT_EQ(FrameDelay100ns(25, -30), 400000LL << 30);
}

TEST(FramePacing, FasterNeverTakesLonger) {
    for (const int rate : {0, 1, 24, 25, 30, 60, 1000}) {
        for (int speed = -20; speed < 20; ++speed) {
            SCOPED_TRACE(testing::Message() << "rate " << rate << " speed " << speed);
            EXPECT_GE(FrameDelay100ns(rate, speed), FrameDelay100ns(rate, speed + 1));
        }
    }
}

}  // namespace
}  // namespace vd
