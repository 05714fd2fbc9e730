// Flow control between the SDK's decoding thread and the display: the frame
// callback does not come back while the port is paused or its picture queue
// (five pictures) is full, and comes back once the display makes room or the
// port is stopped. Deliveries run on a thread of the test's own, as a real
// SDK's do.
#include <gtest/gtest.h>

#include <memory>

#include "engine/playback_fixture.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class Flow : public ShownPortTest {};

enum class Release { ByTheDisplay, ByStop };

class FullQueue : public Flow, public ::testing::WithParamInterface<Release> {};

// The display holds one picture and the queue five more: the next delivery
// waits inside the callback until there is room again, or the port stops.
TEST_P(FullQueue, TheNextPictureWaitsInsideTheCallback) {
    // In step mode the display thread takes one picture and keeps it until
    // the next step, so it stops emptying the queue.
    ASSERT_EQ(decoder_->OneByOne(port_), 0);
    ASSERT_EQ(DeliverFrame(deployment_.sdk, port_, Frame(kRed)), 0);  // shown by the step already asked for
    ASSERT_TRUE(ShowsColour(*window_, kRed)) << CentreColour(*window_);

    // Green is taken and held; five more fill the queue; the last one waits.
    std::unique_ptr<DeliveryThread> delivery = Deliveries(
        {Frame(kGreen), Frame(kBlue), Frame(kBlue), Frame(kBlue), Frame(kBlue), Frame(kBlue), Frame(kWhite)});
    ASSERT_TRUE(delivery->WaitReturned(6)) << delivery->returned();
    EXPECT_TRUE(delivery->HeldAt(6)) << delivery->returned();
    EXPECT_EQ(deployment_.sdk.Delivering(port_), 1);
    EXPECT_TRUE(KeepsColour(*window_, kRed));

    if (GetParam() == Release::ByTheDisplay) {
        // One more step: green is drawn, the display takes the next one, and
        // the waiting picture gets its place in the queue.
        ASSERT_EQ(decoder_->OneByOne(port_), 0);
        EXPECT_TRUE(delivery->WaitReturned(7)) << delivery->returned();
        EXPECT_TRUE(ShowsColour(*window_, kGreen)) << CentreColour(*window_);
        EXPECT_EQ(decoder_->Stop(port_), 0);
    } else {
        // The test SDK's KV_Stop answers -99 when a callback is still held
        // after 20 s.
        EXPECT_EQ(decoder_->Stop(port_), 0);
        EXPECT_TRUE(delivery->WaitReturned(7)) << delivery->returned();
    }
    EXPECT_EQ(deployment_.sdk.Delivering(port_), 0);
}

INSTANTIATE_TEST_SUITE_P(Release, FullQueue, ::testing::Values(Release::ByTheDisplay, Release::ByStop),
                         [](const ::testing::TestParamInfo<Release>& info) {
                             return std::string(info.param == Release::ByTheDisplay ? "ByTheDisplay" : "ByStop");
                         });

// While paused the callback does not come back, for sound blocks too (even
// one that will be dropped, the sound being off); the display keeps the last
// picture and still redraws it.
TEST_F(Flow, PauseHoldsTheCallbackUntilResumed) {
    SdkFrame sound;
    sound.bytes.assign(3200, 0x10);
    sound.width = 8000;
    sound.height = 16;
    sound.kind = 1;
    ASSERT_EQ(decoder_->Pause(port_, 1), 0);
    std::unique_ptr<DeliveryThread> delivery = Deliveries({sound, Frame(kRed)});
    EXPECT_TRUE(delivery->HeldAt(0));
    EXPECT_EQ(deployment_.sdk.Delivering(port_), 1);

    PaintBlack(*window_);
    ASSERT_EQ(decoder_->Refresh(port_), 0);
    EXPECT_TRUE(ShowsColour(*window_, kWhite)) << CentreColour(*window_);
    EXPECT_TRUE(delivery->HeldAt(0));

    ASSERT_EQ(decoder_->Pause(port_, 0), 0);
    EXPECT_TRUE(delivery->WaitReturned(2));
    EXPECT_TRUE(ShowsColour(*window_, kRed)) << CentreColour(*window_);
}

TEST_F(Flow, StopReleasesACallbackHeldByPause) {
    ASSERT_EQ(decoder_->Pause(port_, 1), 0);
    std::unique_ptr<DeliveryThread> delivery = Deliveries({Frame(kRed), Frame(kGreen)});
    EXPECT_TRUE(delivery->HeldAt(0));
    EXPECT_EQ(decoder_->Stop(port_), 0);     // -99 from the test SDK if the callback were still held
    EXPECT_TRUE(delivery->WaitReturned(2));  // and later deliveries find the port stopped
    EXPECT_EQ(deployment_.sdk.Delivering(port_), 0);
    EXPECT_TRUE(KeepsColour(*window_, kWhite));
}

// Without a window there is nothing to pause: deliveries come straight back.
TEST_F(Flow, PauseOfAPortWithoutAWindowChangesNothing) {
    const int other = OpenStreamPort(8, 1);
    ASSERT_EQ(decoder_->Play(other, nullptr), 0);
    EXPECT_EQ(decoder_->Pause(other, 1), 0);
    DecodeRecorder recorder;
    ASSERT_EQ(decoder_->SetDecodeCallBack(other, DecodeRecorder::Callback, 3), 0);
    DeliveryThread delivery(deployment_.sdk, other, {Frame(kRed), Frame(kGreen)}, [&] { decoder_->Stop(other); });
    EXPECT_TRUE(delivery.WaitReturned(2));
    EXPECT_EQ(recorder.Calls().size(), 2u);
    EXPECT_EQ(decoder_->Stop(other), 0);
    EXPECT_EQ(decoder_->CloseStream(other), 0);
}

}  // namespace
}  // namespace vdtest
