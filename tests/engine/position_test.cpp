// The play position: one clock for all ports that counts every drawn picture
// as 40 ms, and the percentages worked out from the SDK's file length.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "engine/playback_fixture.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr int kUntouched = 0x5A5A5A5A;
constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class Position : public PlaybackTest {
protected:
    int PlayTime(int port) {
        int seconds = kUntouched;
        EXPECT_EQ(decoder_->GetPlayTime(port, &seconds), 0);
        return seconds;
    }
    int PlayPos(int port) {
        int percent = kUntouched;
        EXPECT_EQ(decoder_->GetPlayPos(port, &percent), 0);
        return percent;
    }
    // Delivers count pictures to the shown port, the last one in `last`
    // colour, and waits until the window shows it: every picture before it
    // has been drawn too.
    bool DrawPictures(int count, std::uint32_t last) {
        const SdkFrame filler = Frame(kRed);
        for (int i = 0; i + 1 < count; ++i) {
            if (DeliverFrame(deployment_.sdk, port_, filler) != 0) return false;
        }
        if (DeliverFrame(deployment_.sdk, port_, Frame(last)) != 0) return false;
        return ShowsColour(*window_, last);
    }
    std::string LastCall() {
        const std::string log = deployment_.sdk.CallLog();
        const std::size_t end = log.size() - 1;
        return log.substr(log.rfind('\n', end - 1) + 1, end - log.rfind('\n', end - 1) - 1);
    }
};

TEST_F(Position, DrawnPicturesMoveTheClockOfEveryPort) {
    ASSERT_NO_FATAL_FAILURE(PlayInWindow());
    ASSERT_NO_FATAL_FAILURE(ShowFirst(kWhite, kGrey));

    // Play with port -1 only restarts the clock.
    EXPECT_EQ(decoder_->Play(-1, nullptr), 0);
    EXPECT_EQ(PlayTime(port_), 0);

    ASSERT_TRUE(DrawPictures(49, kGreen)) << CentreColour(*window_);
    EXPECT_EQ(PlayTime(port_), 1);  // 1960 ms
    ASSERT_TRUE(DrawPictures(1, kBlue)) << CentreColour(*window_);
    EXPECT_EQ(PlayTime(port_), 2);  // 2000 ms
    EXPECT_EQ(PlayTime(12345), 2);  // the same clock whatever the port

    // A seek sets the position even when the SDK refuses it; pictures drawn
    // before it and not yet counted come on top.
    ASSERT_TRUE(DrawPictures(49, kGreen)) << CentreColour(*window_);
    deployment_.sdk.SetResult("KV_SetPlayTime", -6);
    EXPECT_EQ(decoder_->SetPlayTime(port_, 90), -6);
    EXPECT_EQ(PlayTime(port_), 91);  // 90 s + 1960 ms
    EXPECT_EQ(PlayTime(port_), 91);

    // Play of another port restarts the clock for all.
    const int other = OpenStreamPort(8, 0);
    EXPECT_EQ(decoder_->Play(other, nullptr), 0);
    EXPECT_EQ(PlayTime(port_), 0);

    EXPECT_EQ(decoder_->Stop(other), 0);
    EXPECT_EQ(decoder_->CloseStream(other), 0);
    EndShownPort();
}

// A redraw counts as a drawn picture; with no picture ever received there is
// nothing to redraw and nothing to count. A position of -1 s shows a single
// picture: -1000 ms + 40 ms reads as 0 s.
TEST_F(Position, RefreshDrawsAndCountsOnlyAPictureThereIs) {
    ASSERT_NO_FATAL_FAILURE(PlayInWindow());
    ASSERT_EQ(decoder_->SetPlayTime(port_, -1), 0);
    ASSERT_EQ(PlayTime(port_), -1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(decoder_->Refresh(port_), 0);
    EXPECT_FALSE(WaitFor([&] { return PlayTime(port_) != -1; }, 300, window_.get()));

    ASSERT_NO_FATAL_FAILURE(ShowFirst(kWhite, kGrey));
    PlayTime(port_);  // folds the pictures drawn so far
    ASSERT_EQ(decoder_->SetPlayTime(port_, -1), 0);
    ASSERT_EQ(PlayTime(port_), -1);
    PaintBlack(*window_);
    EXPECT_EQ(decoder_->Refresh(port_), 0);
    EXPECT_TRUE(ShowsColour(*window_, kGrey)) << CentreColour(*window_);
    EXPECT_TRUE(WaitFor([&] { return PlayTime(port_) == 0; }, 10000, window_.get()));
    EXPECT_EQ(decoder_->Stop(port_), 0);
}

TEST_F(Position, SetPlayTimeThenGetPlayTime) {
    const int port = OpenFilePort(7);
    for (const int seconds : {90, 0, 3600, 2147483}) {
        for (const int sdkResult : {0, -2}) {
            SCOPED_TRACE(testing::Message() << seconds << " s, SDK " << sdkResult);
            deployment_.sdk.SetResult("KV_SetPlayTime", sdkResult);
            EXPECT_EQ(decoder_->SetPlayTime(port, seconds), sdkResult);
            EXPECT_EQ(LastCall(), "KV_SetPlayTime(7," + std::to_string(seconds) + ")");
            EXPECT_EQ(PlayTime(port), seconds);
        }
    }
}

// SetPlayPos seeks to a whole percentage of the SDK's file length, in 64-bit
// arithmetic.
TEST_F(Position, SetPlayPosSeeksToAPercentageOfTheLength) {
    struct Case {
        int length;
        int percent;
        int seekTo;
    } cases[] = {
        {0, 50, 0},
        {600, 33, 198},
        {600, 0, 0},
        {600, 100, 600},
        {600, 150, 900},  // not clamped to the length
        {600, -10, -60},
        {599, 50, 299},  // truncated
        {2000000000, 100, 2000000000},
        {2000000000, 50, 1000000000},
        {INT_MAX, 100, INT_MAX},
        {INT_MAX, 99, static_cast<int>(static_cast<long long>(INT_MAX) * 99 / 100)},
    };
    const int port = OpenFilePort(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.percent << "% of " << c.length << " s");
        deployment_.sdk.SetFileTime(c.length);
        EXPECT_EQ(decoder_->SetPlayPos(port, c.percent), 0);
        EXPECT_EQ(LastCall(), "KV_SetPlayTime(7," + std::to_string(c.seekTo) + ")");
    }
    // The SDK's answer to the seek is the result.
    deployment_.sdk.SetResult("KV_SetPlayTime", -9);
    EXPECT_EQ(decoder_->SetPlayPos(port, 10), -9);
}

TEST_F(Position, GetPlayPosIsThePositionAsAPercentageOfTheLength) {
    struct Case {
        int length;
        int position;
        int percent;
    } cases[] = {
        {0, 0, 0},
        {0, 299, 0},  // no length, no percentage
        {-5, 299, 0},
        {600, 0, 0},
        {600, 299, 49},
        {600, 600, 100},
        {600, 900, 150},  // past the end is not clamped
        {1, 5, 500},
        {2000000000, 2147483, 0},
        {3, 2147483, 71582766},
    };
    const int port = OpenFilePort(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.position << " s of " << c.length << " s");
        deployment_.sdk.SetFileTime(c.length);
        ASSERT_EQ(decoder_->SetPlayTime(port, c.position), 0);
        EXPECT_EQ(PlayPos(port), c.percent);
    }
}

}  // namespace
}  // namespace vdtest
