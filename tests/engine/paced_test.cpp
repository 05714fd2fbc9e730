// Paced stream ports: the display thread shows their pictures at the stream's
// frame rate (the first one at once), divided by 2 to the power of the speed.
#include <gtest/gtest.h>

#include <memory>

#include "engine/playback_fixture.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0x000000;

class Paced : public ShownPortTest {
protected:
    Paced() : ShownPortTest({kWidth, kHeight, true, 8}) {}
};

TEST_F(Paced, PicturesAreShownAtTheirPace) {
    for (const int speed : {0, 2, -1}) {
        SCOPED_TRACE(speed);
        ASSERT_EQ(decoder_->SetPlaySpeed(port_, speed), 0);
        std::unique_ptr<DeliveryThread> delivery = Deliveries({Frame(kRed), Frame(kGreen), Frame(kBlue)});
        EXPECT_TRUE(ShowsColour(*window_, kBlue)) << CentreColour(*window_);
        EXPECT_TRUE(delivery->WaitReturned(3));
        ASSERT_NO_FATAL_FAILURE(ShowFirst(kWhite, kGrey));
    }
}

// A burst (a camera that sends its last pictures at once on connect, a
// hold-up upstream) is caught up with: the newest picture is on screen
// within the allowance. At one picture a second, replaying the burst evenly
// would take 20 s, twice the wait's deadline.
TEST_F(Paced, BurstIsCaughtUpWithNotReplayed) {
    std::vector<SdkFrame> frames;
    for (int i = 0; i < 20; ++i) {
        frames.push_back(Frame(i + 1 < 20 ? (i % 2 ? kRed : kGreen) : kBlue));
        frames.back().frameRate = 1;
    }
    std::unique_ptr<DeliveryThread> delivery = Deliveries(frames);
    EXPECT_TRUE(ShowsColour(*window_, kBlue)) << CentreColour(*window_);
    EXPECT_TRUE(delivery->WaitReturned(20));
}

// At a very slow speed the next picture is not due for hours (or ever):
// the display thread waits for it, and Stop ends that wait without drawing.
TEST_F(Paced, StopEndsTheWaitForAPictureNotYetDue) {
    for (const int speed : {-20, -100, -2147483647 - 1}) {
        SCOPED_TRACE(speed);
        if (port_ < 0) {
            ASSERT_NO_FATAL_FAILURE(ShowPort({kWidth, kHeight, true, 8}));
        }
        ASSERT_EQ(decoder_->SetPlaySpeed(port_, speed), 0);
        std::unique_ptr<DeliveryThread> delivery = Deliveries({Frame(kRed)});
        EXPECT_TRUE(delivery->WaitReturned(1));  // queued; the display holds it until it is due
        EXPECT_TRUE(KeepsColour(*window_, kWhite)) << CentreColour(*window_);

        PaintBlack(*window_);
        EXPECT_EQ(decoder_->Stop(port_), 0);
        EXPECT_TRUE(KeepsColour(*window_, kBlack)) << CentreColour(*window_);
        EXPECT_EQ(decoder_->CloseStream(port_), 0);
        port_ = -1;
    }
}

}  // namespace
}  // namespace vdtest
