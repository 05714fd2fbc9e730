// Which video output a port keeps: the setting that forces one, and the
// trial that compares what the first pictures cost through each.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "video/output_choice.h"

namespace vd {
namespace {

TEST(OutputChoice, SettingValues) {
    const struct {
        const char* value;
        OutputSetting setting;
    } cases[] = {
        {nullptr, OutputSetting::kAuto},       {"", OutputSetting::kAuto},
        {"auto", OutputSetting::kAuto},        {"ddraw", OutputSetting::kDirectDraw},
        {"DDraw", OutputSetting::kDirectDraw}, {"drawdib", OutputSetting::kDrawDib},
        {"DRAWDIB", OutputSetting::kDrawDib},  {"gdi", OutputSetting::kAuto},
        {"ddraw ", OutputSetting::kAuto},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseOutputSetting(c.value), c.setting) << (c.value ? c.value : "(null)");
    }
}

// Feeds the trial alternately, as the display thread does, with each
// output's costs in turn (the warm-up picture included), and returns the
// verdict and how many pictures it took.
OutputTrial::Pick RunTrial(const std::vector<std::int64_t>& directDrawUs, const std::vector<std::int64_t>& drawDibUs,
                           int* pictures) {
    OutputTrial trial;
    std::size_t next[2] = {0, 0};
    *pictures = 0;
    while (trial.pick() == OutputTrial::Pick::kUndecided) {
        const bool directDraw = trial.NextIsDirectDraw();
        const std::vector<std::int64_t>& costs = directDraw ? directDrawUs : drawDibUs;
        std::size_t& i = next[directDraw ? 0 : 1];
        if (i == costs.size()) break;
        trial.Record(directDraw, costs[i++]);
        ++*pictures;
    }
    return trial.pick();
}

TEST(OutputChoice, TrialKeepsTheClearlyCheaperOutput) {
    using Pick = OutputTrial::Pick;
    const std::vector<std::int64_t> dib(6, 2000);  // 2 ms a picture through DrawDib
    const struct {
        const char* what;
        std::vector<std::int64_t> directDraw;
        Pick pick;
        int pictures;
    } cases[] = {
        {"hardware blits", std::vector<std::int64_t>(6, 200), Pick::kDirectDraw, 12},
        {"as dear as DrawDib", std::vector<std::int64_t>(6, 2000), Pick::kDirectDraw, 12},
        {"1.5 times: not clearly dearer", std::vector<std::int64_t>(6, 3000), Pick::kDirectDraw, 12},
        {"twice as dear", std::vector<std::int64_t>(6, 4000), Pick::kDrawDib, 12},
        {"the median counts, not one slow picture", {900000, 200, 200, 90000, 200, 200}, Pick::kDirectDraw, 12},
        {"a hopeless picture decides at once", {900000, 250000}, Pick::kDrawDib, 4},
        {"the warm-up picture never decides", {900000, 200, 200, 200, 200, 200}, Pick::kDirectDraw, 12},
    };
    for (const auto& c : cases) {
        int pictures = 0;
        EXPECT_EQ(RunTrial(c.directDraw, dib, &pictures), c.pick) << c.what;
        EXPECT_EQ(pictures, c.pictures) << c.what;
    }
}

TEST(OutputChoice, TheTrialStartsWithDrawDibAndAlternates) {
    OutputTrial trial;
    EXPECT_FALSE(trial.NextIsDirectDraw());
    trial.Record(false, 1000);
    EXPECT_TRUE(trial.NextIsDirectDraw());
    trial.Record(true, 1000);
    EXPECT_FALSE(trial.NextIsDirectDraw());
}

TEST(OutputChoice, OneTrialAtATimeAndTheFirstVerdictStays) {
    OutputVerdict verdict;
    EXPECT_TRUE(verdict.TryBeginTrial());
    EXPECT_FALSE(verdict.TryBeginTrial());  // another port waits
    verdict.AbandonTrial();                 // the trial's port stopped
    EXPECT_TRUE(verdict.TryBeginTrial());
    verdict.Publish(OutputTrial::Pick::kDrawDib, "format");
    EXPECT_EQ(verdict.Get(), OutputTrial::Pick::kDrawDib);
    EXPECT_STREQ(verdict.reason(), "format");
    EXPECT_FALSE(verdict.TryBeginTrial());  // nothing left to try
    verdict.Publish(OutputTrial::Pick::kDirectDraw);
    EXPECT_EQ(verdict.Get(), OutputTrial::Pick::kDrawDib);
    EXPECT_STREQ(verdict.reason(), "format");
}

}  // namespace
}  // namespace vd
