// The play position shared by every port: each drawn picture counts 40 ms,
// folded into the position when someone asks for it.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>
#include <vector>

#include "port/position_clock.h"

namespace vd {
namespace {

void Count(PositionClock& clock, int pictures) {
    for (int i = 0; i < pictures; ++i) clock.CountPicture();
}

TEST(PositionClock, PicturesBecomeMilliseconds) {
    struct Case {
        int pictures;
        int ms;
        int seconds;
    } cases[] = {{0, 0, 0}, {1, 40, 0}, {24, 960, 0}, {25, 1000, 1}, {49, 1960, 1}, {50, 2000, 2}, {1500, 60000, 60}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pictures);
        PositionClock clock;
        Count(clock, c.pictures);
        EXPECT_EQ(clock.pendingFrames(), c.pictures);
        const int ms = clock.UpToDateMs();
        EXPECT_EQ(ms, c.ms);
        EXPECT_EQ(ms / 1000, c.seconds);
        EXPECT_EQ(clock.pendingFrames(), 0);
    }
}

// Asking in between loses nothing: the count is folded, not recomputed.
TEST(PositionClock, FoldingInStepsGivesTheSameSum) {
    PositionClock clock;
    for (int i = 0; i < 49; ++i) {
        clock.CountPicture();
        clock.UpToDateMs();
    }
    EXPECT_EQ(clock.UpToDateMs(), 1960);
    clock.CountPicture();
    EXPECT_EQ(clock.UpToDateMs(), 2000);
    EXPECT_EQ(clock.UpToDateMs(), 2000);
}

TEST(PositionClock, SeekSetsThePositionAndUncountedPicturesAddOnTop) {
    PositionClock clock;
    Count(clock, 10);
    clock.UpToDateMs();
    clock.SeekToSeconds(90);
    EXPECT_EQ(clock.UpToDateMs(), 90000);

    Count(clock, 49);  // drawn before the seek, not yet folded in
    clock.SeekToSeconds(90);
    EXPECT_EQ(clock.UpToDateMs(), 91960);

    clock.SeekToSeconds(-1);  // a position before the start truncates toward zero
    EXPECT_EQ(clock.UpToDateMs() / 1000, -1);
    clock.CountPicture();
    EXPECT_EQ(clock.UpToDateMs(), -960);
}

TEST(PositionClock, ResetForgetsPositionAndPendingPictures) {
    PositionClock clock;
    clock.SeekToSeconds(30);
    Count(clock, 7);
    clock.Reset();
    EXPECT_EQ(clock.pendingFrames(), 0);
    EXPECT_EQ(clock.UpToDateMs(), 0);
}

// Seconds past what 32-bit milliseconds hold wrap instead of overflowing.
TEST(PositionClock, HugeSeeksWrapWithoutOverflow) {
    struct Case {
        int seconds;
        int ms;
    } cases[] = {
        {2147483, 2147483000},
        {2147484, static_cast<int>(2147484000u)},
        {INT_MAX, static_cast<int>(static_cast<unsigned>(INT_MAX) * 1000u)},
        {INT_MIN, static_cast<int>(static_cast<unsigned>(INT_MIN) * 1000u)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        PositionClock clock;
        clock.SeekToSeconds(c.seconds);
        EXPECT_EQ(clock.UpToDateMs(), c.ms);
    }
}

// Display threads count while the client's thread folds: no picture is lost
// between reading the count and clearing it.
TEST(PositionClock, ConcurrentCountingLosesNoPicture) {
    PositionClock clock;
    constexpr int kThreads = 4;
    constexpr int kPictures = 20000;
    std::atomic<bool> counting{true};
    std::vector<std::thread> displays;
    for (int t = 0; t < kThreads; ++t) displays.emplace_back([&] { Count(clock, kPictures); });
    std::thread client([&] {
        while (counting.load()) clock.UpToDateMs();
    });
    for (std::thread& display : displays) display.join();
    counting.store(false);
    client.join();
    EXPECT_EQ(clock.UpToDateMs(), kThreads * kPictures * 40);
}

}  // namespace
}  // namespace vd
