// Which video output a port keeps: the setting that forces one, the trial
// that compares what the first pictures cost through each, and the chooser
// that drives both over outputs that work, refuse, fail or get lost.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "port/frame_layout.h"
#include "video/output_chooser.h"

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

// An output as the chooser sees it, doing what it is told.
struct Behaviour {
    bool prepares = true;                   // Prepare takes every picture
    bool draws = true;                      // DrawPicture copies it
    ShowResult shows = ShowResult::kShown;  // what Show answers
    std::int64_t costUs = 1000;             // what a timed picture costs
    int lostAfter = -1;                     // Show answers kLost from this picture on (-1: never)
};

class FakeOutput final : public VideoOutput {
public:
    FakeOutput(const char* name, Behaviour behaviour) : name_(name), behaviour_(behaviour) {}
    const char* name() const override { return name_; }
    bool Prepare(int, int, int) override { return behaviour_.prepares; }
    bool DrawPicture(const QueuedFrame&) override { return behaviour_.draws; }
    OverlayContext BeginOverlay() override { return nullptr; }
    void EndOverlay(OverlayContext) override {}
    bool keysMagenta() const override { return false; }
    ShowResult Show() override {
        if (behaviour_.lostAfter >= 0 && shown_ >= behaviour_.lostAfter) lost_ = true;
        ++shown_;
        return lost_ ? ShowResult::kLost : behaviour_.shows;
    }
    void Release() override {}
    bool lost() const override { return lost_; }
    std::int64_t costUs() const { return behaviour_.costUs; }

private:
    const char* name_;
    Behaviour behaviour_;
    int shown_ = 0;
    bool lost_ = false;
};

QueuedFrame Picture() {
    QueuedFrame frame;
    frame.AllocatePicture(kKindYv12, 16, 16);
    return frame;
}

// One port's chooser over fake outputs, with its traces kept.
struct Port {
    Port(OutputVerdict& verdict, OutputSetting setting, Behaviour directDraw, Behaviour drawDib,
         bool directDrawUsable = true)
        : chooser(
              verdict, setting, 1, std::unique_ptr<VideoOutput>(new FakeOutput("drawdib", drawDib)),
              [=]() -> std::unique_ptr<VideoOutput> {
                  if (!directDrawUsable) return nullptr;
                  return std::unique_ptr<VideoOutput>(new FakeOutput("ddraw", directDraw));
              },
              [this](const char* line) { traces += line; }) {}

    // Shows one picture as the display thread does; the output it went
    // through ("" for none).
    std::string ShowOne() {
        const QueuedFrame frame = Picture();
        VideoOutput* output = chooser.OutputFor(frame);
        if (!output) return "";
        const std::string name = output->name();
        ShowResult shown = ShowResult::kFailed;
        if (output->DrawPicture(frame)) shown = output->Show();
        chooser.Drawn(*output, shown, chooser.timing() ? static_cast<FakeOutput*>(output)->costUs() : 0);
        return name;
    }

    OutputChooser chooser;
    std::string traces;
};

// However the outputs behave, the trial ends within a bounded number of
// pictures, with a verdict every port gets, and the port goes on through the
// output the verdict names.
TEST(OutputChooser, EveryTrialEnds) {
    using Pick = OutputTrial::Pick;
    Behaviour works;
    Behaviour cheap;
    cheap.costUs = 100;
    Behaviour blitFails = cheap;  // cheap, as a blit that did nothing would be timed
    blitFails.shows = ShowResult::kFailed;
    Behaviour copyFails;
    copyFails.draws = false;
    Behaviour lostSoon = cheap;
    lostSoon.lostAfter = 2;
    Behaviour emptyWindow;
    emptyWindow.shows = ShowResult::kNotShown;
    const struct {
        const char* what;
        Behaviour directDraw, drawDib;
        Pick pick;
        const char* reason;
        const char* then;  // the output of the pictures after the trial
    } cases[] = {
        {"both work, DirectDraw cheaper", cheap, works, Pick::kDirectDraw, "cheaper", "ddraw"},
        {"DirectDraw's blit fails", blitFails, works, Pick::kDrawDib, "unavailable", "drawdib"},
        {"DirectDraw cannot copy the picture", copyFails, works, Pick::kDrawDib, "unavailable", "drawdib"},
        {"DrawDib cannot copy the picture", works, copyFails, Pick::kDirectDraw, "unavailable", "ddraw"},
        {"DirectDraw lost during the trial", lostSoon, works, Pick::kDrawDib, "unavailable", "drawdib"},
        {"nothing reaches the window", emptyWindow, emptyWindow, Pick::kDrawDib, "unavailable", "drawdib"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OutputVerdict verdict;
        Port port(verdict, OutputSetting::kAuto, c.directDraw, c.drawDib);
        int pictures = 0;
        while (verdict.Get() == Pick::kUndecided && pictures <= OutputTrial::kMaxPictures) {
            port.ShowOne();
            ++pictures;
        }
        EXPECT_EQ(verdict.Get(), c.pick) << port.traces;
        EXPECT_STREQ(verdict.reason(), c.reason);
        EXPECT_LE(pictures, OutputTrial::kMaxPictures);
        EXPECT_EQ(port.ShowOne(), c.then) << port.traces;
        EXPECT_FALSE(port.chooser.timing());  // no read-back once the trial is over
        EXPECT_FALSE(verdict.TryBeginTrial());
    }
}

// A port that became the trial's owner although the verdict had come
// meanwhile (another port published between its look and its claim) stops
// timing at its next picture and follows the verdict.
TEST(OutputChooser, AVerdictFromAnotherPortEndsThisPortsTrial) {
    OutputVerdict verdict;
    Port port(verdict, OutputSetting::kAuto, Behaviour{}, Behaviour{});
    EXPECT_EQ(port.ShowOne(), "drawdib");
    ASSERT_TRUE(port.chooser.timing());
    verdict.Publish(OutputTrial::Pick::kDirectDraw);
    EXPECT_EQ(port.ShowOne(), "ddraw");
    EXPECT_FALSE(port.chooser.timing());
    EXPECT_FALSE(verdict.TryBeginTrial());
}

// Outside the trial: what the setting forces, what the verdict says, and a
// DirectDraw that cannot be made, refuses the format or keeps failing.
TEST(OutputChooser, ThePortSettlesOnAnOutputAndSaysWhy) {
    Behaviour refuses;
    refuses.prepares = false;
    Behaviour blitFails;
    blitFails.shows = ShowResult::kFailed;
    const struct {
        const char* what;
        OutputSetting setting;
        Behaviour directDraw;
        bool directDrawUsable;
        const char* output;  // of the last of a few pictures
        const char* trace;   // the last trace
    } cases[] = {
        {"forced DrawDib", OutputSetting::kDrawDib, Behaviour{}, true, "drawdib", "output=drawdib reason=forced"},
        {"forced DirectDraw", OutputSetting::kDirectDraw, Behaviour{}, true, "ddraw", "output=ddraw reason=forced"},
        {"forced, no DirectDraw", OutputSetting::kDirectDraw, Behaviour{}, false, "drawdib",
         "output=drawdib reason=unavailable"},
        {"forced, format refused", OutputSetting::kDirectDraw, refuses, true, "drawdib",
         "output=drawdib reason=format"},
        {"forced, every blit fails", OutputSetting::kDirectDraw, blitFails, true, "drawdib",
         "output=drawdib reason=unavailable"},
        {"automatic, no DirectDraw", OutputSetting::kAuto, Behaviour{}, false, "drawdib",
         "output=drawdib reason=unavailable"},
        {"automatic, format refused", OutputSetting::kAuto, refuses, true, "drawdib", "output=drawdib reason=format"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OutputVerdict verdict;
        Port port(verdict, c.setting, c.directDraw, Behaviour{}, c.directDrawUsable);
        std::string last;
        for (int i = 0; i < 2 * kFailuresToGiveUp + 2; ++i) last = port.ShowOne();
        EXPECT_EQ(last, c.output);
        const std::size_t at = port.traces.rfind("video output: ");
        ASSERT_NE(at, std::string::npos) << port.traces;
        EXPECT_NE(port.traces.find(c.trace, at), std::string::npos) << port.traces;
    }
}

// A forced DirectDraw keeps going through a failed blit now and then; only
// failures in a row give it up.
TEST(OutputChooser, OnlyFailuresInARowGiveDirectDrawUp) {
    OutputVerdict verdict;
    Port port(verdict, OutputSetting::kDirectDraw, Behaviour{}, Behaviour{});
    const QueuedFrame frame = Picture();
    for (int i = 0; i < 4 * kFailuresToGiveUp; ++i) {
        VideoOutput* output = port.chooser.OutputFor(frame);
        ASSERT_NE(output, nullptr);
        EXPECT_STREQ(output->name(), "ddraw") << i;
        const bool fails = i % kFailuresToGiveUp != 0;  // one short of giving up
        port.chooser.Drawn(*output, fails ? ShowResult::kFailed : ShowResult::kShown, 0);
    }
}

}  // namespace
}  // namespace vd
