// Step mode: each OneByOne lets exactly one new picture through; a redraw
// while waiting shows the picture taken; a seek lets the first picture after
// it through at once. Play and SetPlaySpeed leave step mode.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/playback_fixture.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00, kCyan = 0x00FFFF,
                        kMagenta = 0xFF00FF;

class Step : public PlaybackTest {
protected:
    // Asks for redraws until the window shows the colour: the picture the
    // display thread holds.
    bool Holds(std::uint32_t colour) {
        PaintBlack(*window_);
        return WaitFor(
            [&] {
                decoder_->Refresh(port_);
                return ShowsColour(*window_, colour, 200);
            },
            10000);
    }
};

TEST_F(Step, EachOneByOneShowsExactlyOneNewPicture) {
    ASSERT_NO_FATAL_FAILURE(ShowPort());
    ASSERT_EQ(decoder_->OneByOne(port_), 0);  // nothing waits yet: the next picture goes through
    std::unique_ptr<DeliveryThread> delivery = Deliveries({Frame(kRed), Frame(kGreen), Frame(kBlue), Frame(kYellow)});
    ASSERT_TRUE(ShowsColour(*window_, kRed)) << CentreColour(*window_);
    EXPECT_TRUE(KeepsColour(*window_, kRed));

    ASSERT_EQ(decoder_->OneByOne(port_), 0);
    ASSERT_TRUE(ShowsColour(*window_, kGreen)) << CentreColour(*window_);
    EXPECT_TRUE(KeepsColour(*window_, kGreen));

    // A redraw while waiting draws the picture already taken, and takes no step.
    ASSERT_TRUE(Holds(kBlue)) << CentreColour(*window_);
    ASSERT_EQ(decoder_->OneByOne(port_), 0);  // blue, drawn again
    EXPECT_TRUE(KeepsColour(*window_, kBlue));
    ASSERT_EQ(decoder_->OneByOne(port_), 0);
    ASSERT_TRUE(ShowsColour(*window_, kYellow)) << CentreColour(*window_);
    EXPECT_TRUE(delivery->WaitReturned(4));

    // Steps asked for while no picture waits add up to one, not three.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(decoder_->OneByOne(port_), 0);
    std::unique_ptr<DeliveryThread> more = Deliveries({Frame(kCyan), Frame(kMagenta)});
    ASSERT_TRUE(ShowsColour(*window_, kCyan)) << CentreColour(*window_);
    EXPECT_TRUE(KeepsColour(*window_, kCyan));
    EXPECT_TRUE(more->WaitReturned(2));
}

TEST_F(Step, ASeekLetsTheFirstPictureAfterItThrough) {
    ASSERT_NO_FATAL_FAILURE(ShowPort());
    ASSERT_EQ(decoder_->OneByOne(port_), 0);
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kRed)), 0);
    ASSERT_TRUE(ShowsColour(*window_, kRed)) << CentreColour(*window_);
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kGreen)), 0);
    ASSERT_TRUE(Holds(kGreen)) << CentreColour(*window_);
    // Pictures from before the seek still queued behind it are dropped too.
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kBlue)), 0);
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kMagenta)), 0);

    EXPECT_EQ(decoder_->SetPlayTime(port_, 10), 0);
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kYellow)), 0);
    EXPECT_TRUE(ShowsColour(*window_, kYellow)) << CentreColour(*window_);

    // Still stepping afterwards.
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kCyan)), 0);
    EXPECT_TRUE(KeepsColour(*window_, kYellow));
    ASSERT_EQ(decoder_->OneByOne(port_), 0);
    EXPECT_TRUE(ShowsColour(*window_, kCyan)) << CentreColour(*window_);
}

// A picture the SDK was still handing over when the seek began (held in
// the intake by a full queue) comes from before the seek: it is dropped, and
// the first picture after the seek is the one shown.
TEST_F(Step, APictureHandedOverDuringASeekIsNotShownAfterIt) {
    ASSERT_NO_FATAL_FAILURE(ShowPort());
    ASSERT_EQ(decoder_->OneByOne(port_), 0);
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kRed)), 0);
    ASSERT_TRUE(ShowsColour(*window_, kRed)) << CentreColour(*window_);
    // Green is held for the next step, five blue fill the queue, and magenta
    // waits in the intake for room.
    std::vector<SdkFrame> before{Frame(kGreen)};
    for (int i = 0; i < 5; ++i) before.push_back(Frame(kBlue));
    before.push_back(Frame(kMagenta));
    std::unique_ptr<DeliveryThread> delivery = Deliveries(before);
    ASSERT_TRUE(delivery->WaitReturned(6));
    ASSERT_TRUE(delivery->HeldAt(6));

    EXPECT_EQ(decoder_->SetPlayTime(port_, 10), 0);
    EXPECT_TRUE(delivery->WaitReturned(7));  // magenta dropped, not queued
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kYellow)), 0);
    EXPECT_TRUE(ShowsColour(*window_, kYellow)) << CentreColour(*window_);
    EXPECT_TRUE(KeepsColour(*window_, kYellow));
}

// Play and SetPlaySpeed in step mode go back to normal playing: the picture
// held for the next step is shown and the pictures flow again, without
// another step and without a second KV_Play.
TEST_F(Step, LeavingStepModeLetsThePicturesFlowAgain) {
    for (const bool bySpeed : {false, true}) {
        SCOPED_TRACE(bySpeed ? "SetPlaySpeed" : "Play");
        if (!window_) {
            ASSERT_NO_FATAL_FAILURE(ShowPort());
        }
        ASSERT_EQ(decoder_->OneByOne(port_), 0);
        std::unique_ptr<DeliveryThread> delivery = Deliveries({Frame(kRed), Frame(kGreen), Frame(kBlue)});
        ASSERT_TRUE(ShowsColour(*window_, kRed)) << CentreColour(*window_);
        EXPECT_TRUE(KeepsColour(*window_, kRed));

        if (bySpeed) {
            EXPECT_EQ(decoder_->SetPlaySpeed(port_, 0), 0);
        } else {
            EXPECT_EQ(decoder_->Play(port_, window_->handle()), 0);
        }
        EXPECT_TRUE(ShowsColour(*window_, kBlue)) << CentreColour(*window_);
        EXPECT_TRUE(delivery->WaitReturned(3));
        EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), 1);
        EXPECT_EQ(decoder_->Play(port_, window_->handle()), E_FAIL);  // playing, not stepping
    }
}

// Which ports can step, and how step mode ends, seen through Play: in step
// mode Play only leaves it (no KV_Play); otherwise a playing port refuses a
// second Play.
TEST_F(Step, OneByOneByPortKindAndTheWayOutOfStepMode) {
    struct Case {
        const char* name;
        const char* kind;  // "file", "stream", "paced"
        int oneByOne;
    } cases[] = {
        {"file port", "file", 0},
        {"unpaced stream port", "stream", E_FAIL},
        {"paced stream port", "paced", 0},
    };
    int port = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++port;
        const std::string kind = c.kind;
        if (kind == "file") {
            OpenFilePort(port);
        } else {
            OpenStreamPort(port, kind == "paced" ? 1 : 0);
        }
        const int plays = deployment_.sdk.CallCount("KV_Play");
        EXPECT_EQ(decoder_->OneByOne(port), c.oneByOne);
        if (c.oneByOne == 0) {
            // Stepping before the start: the next Play only leaves step mode.
            EXPECT_EQ(decoder_->Play(port, nullptr), 0);
            EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), plays);
        }
        // Refused or left: the port starts as it was.
        EXPECT_EQ(decoder_->Play(port, nullptr), 0);
        EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), plays + 1);

        EXPECT_EQ(decoder_->OneByOne(port), c.oneByOne);
        if (c.oneByOne == 0) {
            // SetPlaySpeed leaves step mode and keeps the speed.
            EXPECT_EQ(decoder_->SetPlaySpeed(port, 2), 0);
            int speed = 0;
            EXPECT_EQ(decoder_->GetPlaySpeed(port, &speed), 0);
            EXPECT_EQ(speed, 2);
        }
        EXPECT_EQ(decoder_->Play(port, nullptr), E_FAIL);
        EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), plays + 1);

        // Stop ends step mode too: the next Play starts the port.
        EXPECT_EQ(decoder_->OneByOne(port), c.oneByOne);
        EXPECT_EQ(decoder_->Stop(port), 0);
        EXPECT_EQ(decoder_->Play(port, nullptr), 0);
        EXPECT_EQ(deployment_.sdk.CallCount("KV_Play"), plays + 2);
        EXPECT_EQ(decoder_->Stop(port), 0);
    }
}

}  // namespace
}  // namespace vdtest
