// The pace of paced streams: one picture's time at the stream's frame rate,
// divided by 2 to the power of the speed, in 100 ns units; and when the
// display thread shows each picture, on a clock the test drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>
#include <vector>

#include "video/frame_pacing.h"
#include "video/stream_pacer.h"

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

constexpr std::int64_t kMs = 10000;  // reference-clock units
constexpr std::int64_t kInterval = 40 * kMs;

struct Feed {
    int count = 0;
    double clockRatio = 1.0;  // its real interval per stated one (0.99: 1% fast)
    int burst = 0;            // pictures delivered at once at the start, then real time
    std::int64_t jitter = 0;  // each picture late by up to this much
    std::int64_t stopAt = -1, stopFor = 0;
};

struct Thread {
    std::int64_t wakeLate = 0;  // every wait ends up to this much late
    std::int64_t draw = 3 * kMs;
    std::int64_t holdUpAt = -1, holdUpFor = 0;
    int speed = 0;
};

struct Paced {
    std::vector<std::int64_t> shownAt, delay;  // per picture, in the order fed
    std::uint64_t caughtUp = 0;
};

// The display thread of a paced stream port over its five-picture queue,
// whose producer waits for room, on the driven clock.
Paced Play(const Feed& feed, const Thread& thread) {
    std::vector<std::int64_t> arrivals;
    std::uint32_t noise = 777;
    for (int k = 0; k < feed.count; ++k) {
        const int live = std::max(0, k - std::max(0, feed.burst - 1));
        std::int64_t at = static_cast<std::int64_t>(live * kInterval * feed.clockRatio);
        if (feed.jitter > 0) {
            noise = noise * 1103515245u + 12345u;
            at += static_cast<std::int64_t>((noise >> 8) % static_cast<std::uint32_t>(feed.jitter));
        }
        if (feed.stopAt >= 0 && at >= feed.stopAt) at += feed.stopFor;
        arrivals.push_back(at);
    }
    StreamPacer pacer;
    Paced out;
    std::deque<std::size_t> queue;
    std::size_t next = 0;
    std::int64_t now = 0;
    bool heldUp = false;
    std::uint32_t lateness = 99;
    while (out.shownAt.size() < arrivals.size()) {
        while (next < arrivals.size() && arrivals[next] <= now && queue.size() < 5) queue.push_back(next++);
        if (queue.empty()) {
            now = std::max(now + kMs, arrivals[next]);  // the thread looks every millisecond
            continue;
        }
        const std::size_t picture = queue.front();
        queue.pop_front();
        const std::int64_t due = pacer.Due(now, FrameDelay100ns(25, thread.speed), queue.size(), thread.speed >= 0);
        if (due > now) {
            lateness = lateness * 1103515245u + 12345u;
            now = due + (thread.wakeLate > 0 ? (lateness >> 8) % static_cast<std::uint32_t>(thread.wakeLate) : 0);
        }
        if (!heldUp && thread.holdUpAt >= 0 && now >= thread.holdUpAt) {
            heldUp = true;
            now += thread.holdUpFor;
        }
        now += thread.draw;
        out.shownAt.push_back(now);
        out.delay.push_back(now - arrivals[picture]);
    }
    out.caughtUp = pacer.caughtUp();
    return out;
}

// Whatever the feed and the thread do, every picture is shown, in order, and
// the delay stays within the allowance once a backlog is caught up with.
TEST(StreamPacer, DelayStaysBoundedAndEveryPictureIsShown) {
    struct Case {
        const char* name;
        Feed feed;
        Thread thread;
        std::int64_t settledFrom;   // the delay is looked at for pictures shown from here on
        std::int64_t largestDelay;  // at most this
        bool catchesUp;
    };
    // The picture waited for may get a second one behind it meanwhile.
    const std::int64_t kWithinAllowance = (kPacedQueueAllowance + 2) * kInterval + 20 * kMs;
    const Case cases[] = {
        {"steady", {750}, {}, 0, 3 * kMs, false},
        {"steady, late wake-ups", {750}, {15 * kMs}, 0, 18 * kMs, false},
        {"1% fast, 10 min", {15000, 0.99}, {15 * kMs}, 0, kWithinAllowance, true},
        {"1% slow, 10 min", {15000, 1.01}, {15 * kMs}, 0, 18 * kMs, false},
        {"start-up burst of 2 s", {750, 1.0, 50}, {}, 1000 * kMs, kWithinAllowance, true},
        {"20 ms jitter", {750, 1.0, 0, 20 * kMs}, {5 * kMs}, 0, 20 * kMs + 8 * kMs, false},
        // After a backlog the pace may keep a picture's time behind the arrivals:
        // still even, and within the allowance.
        {"a 600 ms hold-up",
         {750},
         {5 * kMs, 3 * kMs, 10000 * kMs, 600 * kMs},
         11200 * kMs,
         2 * kInterval + 8 * kMs,
         true},
        {"stops for 5 s and comes back", {750, 1.0, 0, 0, 10000 * kMs, 5000 * kMs}, {5 * kMs}, 0, 8 * kMs, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Paced paced = Play(c.feed, c.thread);
        ASSERT_EQ(paced.shownAt.size(), static_cast<std::size_t>(c.feed.count));  // nothing is skipped
        std::int64_t largest = 0;
        for (std::size_t i = 0; i < paced.shownAt.size(); ++i) {
            if (i > 0) ASSERT_GE(paced.shownAt[i], paced.shownAt[i - 1]);
            if (paced.shownAt[i] >= c.settledFrom) largest = std::max(largest, paced.delay[i]);
        }
        EXPECT_LE(largest, c.largestDelay);
        EXPECT_EQ(paced.caughtUp > 0, c.catchesUp) << paced.caughtUp;
    }
}

// A feed no faster than its rate is shown evenly: each picture an interval
// after the one before, give or take a late wake-up, which is not carried
// into the pictures after it.
TEST(StreamPacer, PaceIsKeptFromTheDueTimeNotTheWakeUp) {
    const Paced paced = Play({750}, {15 * kMs});
    for (std::size_t i = 1; i < paced.shownAt.size(); ++i) {
        const std::int64_t gap = paced.shownAt[i] - paced.shownAt[i - 1];
        ASSERT_LE(gap, kInterval + 15 * kMs) << i;
        ASSERT_GE(gap, kInterval - 15 * kMs) << i;
    }
    EXPECT_LE(paced.delay.back(), 18 * kMs);
}

// A pace slowed on purpose fills the queue by design: no catching up then.
TEST(StreamPacer, SlowedPaceIsNotCaughtUp) {
    StreamPacer pacer;
    const std::int64_t interval = FrameDelay100ns(25, -1);
    std::int64_t due = pacer.Due(0, interval, 4, false);
    EXPECT_EQ(due, 0);
    for (int k = 1; k < 10; ++k) {
        due = pacer.Due(due, interval, 4, false);
        EXPECT_EQ(due, k * interval);
    }
    EXPECT_EQ(pacer.Due(due, interval, 4, true), due);  // the normal speed again
    EXPECT_EQ(pacer.caughtUp(), 1u);
}

}  // namespace
}  // namespace vd
