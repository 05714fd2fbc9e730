// Which video output a port shows its pictures through, decided beside the
// display loop: the loop asks the chooser for the output of each picture and
// only draws; the chooser owns the outputs, the forced setting, the trial,
// the formats DirectDraw refused and the engine's verdict.
//
// DirectDraw is the first choice: the display hardware scales and converts.
// Where it is emulated in software (Wine without a GPU, remote sessions) a
// blit can cost ten times what our own conversion and a DrawDib draw cost,
// so a port in automatic mode shows its first pictures through both,
// alternately, and keeps the output that cost clearly less. DrawDib goes
// first, so the first picture is on screen at once. One port at a time makes
// the trial and its verdict holds for every port of the engine: a wall of
// sixteen cameras does not make sixteen DirectDraw devices to learn the same
// thing. The verdict, once given, does not change. A trial always ends: an
// output that keeps failing loses it, and one that has not decided after
// kMaxPictures pictures leaves DrawDib.
#ifndef VD_VIDEO_OUTPUT_CHOOSER_H
#define VD_VIDEO_OUTPUT_CHOOSER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "port/queued_frame.h"
#include "video/video_output.h"

namespace vd {

enum class OutputSetting { kAuto, kDirectDraw, kDrawDib };

// The environment variable that forces an output for every port started
// after it is set: "ddraw", "drawdib" or "auto" (the default; any other
// value counts as "auto"), in any case.
constexpr char kOutputSettingVariable[] = "VD_VIDEO_OUTPUT";

OutputSetting ParseOutputSetting(const char* value);
// The setting as the process's environment has it now (read when a port
// starts playing).
OutputSetting ReadOutputSetting();

// Pictures in a row an output may fail (a failed blit or copy) before it is
// given up: a failing DirectDraw goes as a lost one does.
constexpr int kFailuresToGiveUp = 3;

class OutputTrial {
public:
    static constexpr int kWarmUpPictures = 1;   // per output, not counted (surfaces made, caches filled)
    static constexpr int kCountedPictures = 5;  // per output
    // However the pictures go (failing, not shown), the trial ends after
    // this many: undecided, with DrawDib.
    static constexpr int kMaxPictures = 4 * 2 * (kWarmUpPictures + kCountedPictures);

    enum class Pick { kUndecided, kDirectDraw, kDrawDib };

    // Which output the next picture goes through while undecided.
    bool NextIsDirectDraw() const { return next_ == 0; }
    // What showing the last picture cost through that output, in
    // microseconds; decides once both outputs have been counted enough.
    void Record(bool directDraw, std::int64_t costUs);
    // The picture failed through that output: kFailuresToGiveUp in a row
    // and the other output is picked.
    void RecordFailure(bool directDraw);
    // A picture that reached no window (a zero-sized one, or no output could
    // take it): only counted towards kMaxPictures.
    void RecordNothingShown();
    Pick pick() const { return pick_; }
    // Why the pick: "cheaper" (measured) or "unavailable" (the other output
    // failed, or nothing could be measured).
    const char* reason() const { return reason_; }
    // Median costs of the counted pictures (0 before any).
    std::int64_t MedianUs(bool directDraw) const;

    // DirectDraw is dropped when it costs more than this many times
    // DrawDib's, and by at least kMarginUs.
    static constexpr double kCostFactor = 1.5;
    static constexpr std::int64_t kMarginUs = 500;
    // A DirectDraw picture that takes this long (five picture intervals at
    // 25/s) cannot keep up with any stream: DrawDib at once.
    static constexpr std::int64_t kHopelessUs = 200000;

private:
    void Decide(Pick pick, const char* reason);
    void CountPicture();

    std::vector<std::int64_t> costs_[2];  // [0] DirectDraw, [1] DrawDib
    int seen_[2] = {0, 0};
    int failuresInARow_[2] = {0, 0};
    int pictures_ = 0;
    int next_ = 1;
    Pick pick_ = Pick::kUndecided;
    const char* reason_ = "cheaper";
};

// The verdict every port of an engine shares, and who may make the trial.
class OutputVerdict {
public:
    OutputTrial::Pick Get() const {
        const int pick = pick_.load();
        return pick == kPublishing ? OutputTrial::Pick::kUndecided : static_cast<OutputTrial::Pick>(pick);
    }
    // Why: "cheaper" (the trial), "format" (DirectDraw took no surface of the
    // trial's pictures) or "unavailable" (no DirectDraw at all, or a failing
    // one).
    const char* reason() const { return reason_.load(); }
    // True for the one caller that may make the trial now.
    bool TryBeginTrial() {
        bool expected = false;
        if (Get() != OutputTrial::Pick::kUndecided || !trialRunning_.compare_exchange_strong(expected, true)) {
            return false;
        }
        // A verdict published since the first look: there is nothing left
        // to try, and a trial begun now could never finish.
        if (Get() != OutputTrial::Pick::kUndecided) {
            trialRunning_.store(false);
            return false;
        }
        return true;
    }
    // The trial's result (the first one given stays).
    void Publish(OutputTrial::Pick pick, const char* reason = "cheaper") {
        int expected = static_cast<int>(OutputTrial::Pick::kUndecided);
        if (pick_.compare_exchange_strong(expected, kPublishing)) {
            reason_.store(reason);
            pick_.store(static_cast<int>(pick));
        }
        trialRunning_.store(false);
    }
    // The trial's port stopped before it was done: another port may try.
    void AbandonTrial() { trialRunning_.store(false); }

private:
    static constexpr int kPublishing = -1;  // the reason is being stored; the pick follows
    std::atomic<int> pick_{static_cast<int>(OutputTrial::Pick::kUndecided)};
    std::atomic<bool> trialRunning_{false};
    std::atomic<const char*> reason_{"cheaper"};
};

// One port's outputs and the choice between them.
class OutputChooser {
public:
    // Makes the DirectDraw output on first use; null when DirectDraw cannot
    // be used at all.
    using DirectDrawMaker = std::function<std::unique_ptr<VideoOutput>()>;
    // Takes one trace line ("video output: ..." when the port settles on an
    // output, "video output costs: ..." when its trial ends).
    using TraceSink = std::function<void(const char*)>;

    OutputChooser(OutputVerdict& verdict, OutputSetting setting, int port, std::unique_ptr<VideoOutput> drawDib,
                  DirectDrawMaker makeDirectDraw, TraceSink trace);
    // Gives the trial back to the other ports when it is not done.
    ~OutputChooser();
    OutputChooser(const OutputChooser&) = delete;
    OutputChooser& operator=(const OutputChooser&) = delete;

    // Picks the output for the picture and makes it ready for its kind and
    // size; null when it can be drawn nowhere (not a kind the display shows,
    // or no output could take it).
    VideoOutput* OutputFor(const QueuedFrame& frame);
    // The output the picture on display was made ready in, for redraws;
    // null once that output is gone.
    VideoOutput* prepared() const { return active_; }
    // True while this port makes the trial: the pictures are timed (drawn,
    // shown and finished) and reported with their cost.
    bool timing() const { return trialOwner_; }
    // What drawing the picture through the prepared output came to, and
    // what it cost when timed.
    void Drawn(VideoOutput& output, ShowResult result, std::int64_t costUs);

private:
    // The output the next picture should go through.
    VideoOutput* Wanted();
    // DirectDraw's output, made on first use; null when it cannot be used.
    VideoOutput* DirectDraw();
    void DropDirectDraw(const char* reason);
    // The trial ends with this port: the verdict goes to every port.
    void EndTrial(OutputTrial::Pick pick, const char* reason);
    // Traces the output the port settles on (once per output it moves to).
    void Settle(VideoOutput& output, const char* reason);

    OutputVerdict& verdict_;
    const OutputSetting setting_;
    const int port_;
    std::unique_ptr<VideoOutput> dib_;
    DirectDrawMaker makeDirectDraw_;
    TraceSink trace_;
    std::unique_ptr<VideoOutput> directDraw_;
    bool directDrawTried_ = false;   // made, or found unusable, once
    VideoOutput* active_ = nullptr;  // the output the picture on display is prepared in
    VideoOutput* settled_ = nullptr;
    bool trialOwner_ = false;
    OutputTrial trial_;
    int directDrawFailures_ = 0;  // pictures in a row DirectDraw failed, outside the trial
    int refusedKind_ = 0, refusedWidth_ = 0, refusedHeight_ = 0;
    int picturesSinceRefusal_ = 0;
};

}  // namespace vd

#endif
