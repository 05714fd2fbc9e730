// The events whose state is kept in memory as well as in their handles: a
// look (Test) must tell what a wait on the handle would, except where the
// class says otherwise (an auto-reset event's Test takes the state and
// leaves the handle set, and the thread woken by it asks Test again).
#include <gtest/gtest.h>

#include <string>

#include "port/port_record.h"
#include "port/win32_sync.h"

namespace vdtest {
namespace {

bool HandleSet(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

struct FlaggedCase {
    const char* name;
    bool manualReset;
    bool initiallySet;
    // What is done first: S Set, R Reset, T a Test, W a wait on the handle
    // that found it set (which takes an auto-reset handle).
    const char* steps;
    bool testSays;   // Test after the steps
    bool handleSet;  // a zero-timeout wait on the handle after that Test
};

const FlaggedCase kFlaggedCases[] = {
    {"ManualClear", true, false, "", false, false},
    {"ManualInitiallySet", true, true, "", true, true},
    {"ManualSet", true, false, "S", true, true},
    {"ManualSetReset", true, false, "SR", false, false},
    {"ManualTestTakesNothing", true, false, "ST", true, true},
    {"ManualWaitTakesNothing", true, false, "SW", true, true},
    {"AutoClear", false, false, "", false, false},
    {"AutoInitiallySet", false, true, "", true, true},
    {"AutoSetResetClearsBoth", false, false, "SR", false, false},
    {"AutoTwoSetsAreOne", false, false, "SST", false, true},
    // The handle is left set by a Test: the thread it wakes is told by
    // Test that nothing is set.
    {"AutoTestTakesTheStateOnly", false, false, "ST", false, true},
    // A wait woke on the handle: Test then confirms and takes the state.
    {"AutoWaitLeavesTheStateToTest", false, false, "SW", true, false},
    {"AutoSetAfterATestSetsAgain", false, false, "STS", true, true},
};

class FlaggedEvents : public ::testing::TestWithParam<FlaggedCase> {};

TEST_P(FlaggedEvents, TestTellsWhatTheHandleWould) {
    const FlaggedCase& c = GetParam();
    vd::FlaggedEvent event(c.manualReset, c.initiallySet);
    ASSERT_TRUE(event.valid());
    for (const char* step = c.steps; *step; ++step) {
        switch (*step) {
            case 'S':
                event.Set();
                break;
            case 'R':
                event.Reset();
                break;
            case 'T':
                event.Test();
                break;
            case 'W':
                ASSERT_TRUE(HandleSet(event.handle())) << "step " << step - c.steps;
                break;
        }
    }
    EXPECT_EQ(event.Test(), c.testSays);
    EXPECT_EQ(HandleSet(event.handle()), c.handleSet);
}

INSTANTIATE_TEST_SUITE_P(Sync, FlaggedEvents, ::testing::ValuesIn(kFlaggedCases),
                         [](const ::testing::TestParamInfo<FlaggedCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(TwoWayEvents, TestAndBothHandlesFollowSetAndReset) {
    struct Step {
        char op;  // S Set, R Reset, - nothing
        bool set;
    };
    const Step steps[] = {{'-', false}, {'S', true}, {'S', true}, {'R', false}, {'R', false}, {'S', true}};
    vd::TwoWayEvent event(false);
    ASSERT_TRUE(event.valid());
    for (const Step& step : steps) {
        if (step.op == 'S') event.Set();
        if (step.op == 'R') event.Reset();
        SCOPED_TRACE(std::string(1, step.op));
        EXPECT_EQ(event.Test(), step.set);
        EXPECT_EQ(HandleSet(event.setHandle()), step.set);
        EXPECT_EQ(HandleSet(event.clearedHandle()), !step.set);
    }
    vd::TwoWayEvent initiallySet(true);
    EXPECT_TRUE(initiallySet.Test());
    EXPECT_FALSE(HandleSet(initiallySet.clearedHandle()));
}

// The display thread gives the bytes of the picture it takes off display;
// the intake takes them for its next copy. One picture's bytes are kept.
TEST(SparePictures, OnePictureIsKeptUntilTaken) {
    vd::SparePicture spare;
    EXPECT_FALSE(spare.Take().HasData()) << "nothing is kept at first";

    vd::QueuedFrame first, second, empty;
    ASSERT_TRUE(first.Allocate(100));
    ASSERT_TRUE(second.Allocate(200));
    const std::uint8_t* firstData = first.data.get();
    spare.Give(empty);  // a frame without bytes gives nothing
    spare.Give(first);
    EXPECT_FALSE(first.HasData()) << "kept";
    spare.Give(second);
    EXPECT_TRUE(second.HasData()) << "left with its holder: one is kept already";

    vd::QueuedFrame taken = spare.Take();
    EXPECT_EQ(taken.data.get(), firstData);
    EXPECT_EQ(taken.size, 100);
    EXPECT_FALSE(spare.Take().HasData()) << "taken once";
}

// The picture taken off display is handed back to the caller, not freed.
TEST(SparePictures, ReplacingThePictureOnDisplayHandsTheOldOneBack) {
    vd::CurrentFrame current;
    vd::QueuedFrame first, second;
    ASSERT_TRUE(first.Allocate(10));
    ASSERT_TRUE(second.Allocate(20));
    const std::uint8_t* firstData = first.data.get();
    current.Replace(first);
    EXPECT_FALSE(first.HasData()) << "nothing was on display";
    current.Replace(second);
    EXPECT_EQ(second.data.get(), firstData);
    EXPECT_EQ(current.OwnerView().size, 20);
}

}  // namespace
}  // namespace vdtest
