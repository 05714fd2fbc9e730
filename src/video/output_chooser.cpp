#include "video/output_chooser.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "port/frame_layout.h"

namespace vd {

namespace {

// A format DirectDraw refused is tried again after this many pictures (video
// memory may have been freed meanwhile) or at once when the format changes.
constexpr int kRetryRefusedFormatAfter = 25;

}  // namespace

OutputSetting ParseOutputSetting(const char* value) {
    if (!value) return OutputSetting::kAuto;
    std::string lower(value);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "ddraw") return OutputSetting::kDirectDraw;
    if (lower == "drawdib") return OutputSetting::kDrawDib;
    return OutputSetting::kAuto;
}

OutputSetting ReadOutputSetting() {
#ifdef _WIN32
    // The process's environment as it is now: the C runtime's copy would miss
    // a setting made after the process started.
    char value[32] = {};
    const DWORD length = GetEnvironmentVariableA(kOutputSettingVariable, value, sizeof value);
    return length > 0 && length < sizeof value ? ParseOutputSetting(value) : OutputSetting::kAuto;
#else
    return ParseOutputSetting(std::getenv(kOutputSettingVariable));
#endif
}

void OutputTrial::Decide(Pick pick, const char* reason) {
    pick_ = pick;
    reason_ = reason;
}

void OutputTrial::CountPicture() {
    if (pick_ == Pick::kUndecided && ++pictures_ >= kMaxPictures) Decide(Pick::kDrawDib, "unavailable");
}

void OutputTrial::Record(bool directDraw, std::int64_t costUs) {
    if (pick_ != Pick::kUndecided) return;
    const int index = directDraw ? 0 : 1;
    next_ = 1 - index;
    failuresInARow_[index] = 0;
    if (++seen_[index] > kWarmUpPictures) {
        if (static_cast<int>(costs_[index].size()) < kCountedPictures) costs_[index].push_back(costUs < 0 ? 0 : costUs);
        if (directDraw && costUs >= kHopelessUs) {
            Decide(Pick::kDrawDib, "cheaper");
            return;
        }
        if (static_cast<int>(costs_[0].size()) >= kCountedPictures &&
            static_cast<int>(costs_[1].size()) >= kCountedPictures) {
            const std::int64_t directDrawUs = MedianUs(true);
            const std::int64_t drawDibUs = MedianUs(false);
            const bool dearer = static_cast<double>(directDrawUs) > kCostFactor * static_cast<double>(drawDibUs) &&
                                directDrawUs - drawDibUs >= kMarginUs;
            Decide(dearer ? Pick::kDrawDib : Pick::kDirectDraw, "cheaper");
            return;
        }
    }
    CountPicture();
}

void OutputTrial::RecordFailure(bool directDraw) {
    if (pick_ != Pick::kUndecided) return;
    const int index = directDraw ? 0 : 1;
    // The other output gets the next picture: a failing one is not tried
    // again and again in place of the one that works.
    next_ = 1 - index;
    if (++failuresInARow_[index] >= kFailuresToGiveUp) {
        Decide(directDraw ? Pick::kDrawDib : Pick::kDirectDraw, "unavailable");
        return;
    }
    CountPicture();
}

void OutputTrial::RecordNothingShown() { CountPicture(); }

std::int64_t OutputTrial::MedianUs(bool directDraw) const {
    std::vector<std::int64_t> sorted = costs_[directDraw ? 0 : 1];
    if (sorted.empty()) return 0;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

OutputChooser::OutputChooser(OutputVerdict& verdict, OutputSetting setting, int port,
                             std::unique_ptr<VideoOutput> drawDib, DirectDrawMaker makeDirectDraw, TraceSink trace)
    : verdict_(verdict),
      setting_(setting),
      port_(port),
      dib_(std::move(drawDib)),
      makeDirectDraw_(std::move(makeDirectDraw)),
      trace_(std::move(trace)) {}

OutputChooser::~OutputChooser() {
    if (trialOwner_) verdict_.AbandonTrial();
}

void OutputChooser::Settle(VideoOutput& output, const char* reason) {
    if (settled_ == &output) return;
    settled_ = &output;
    char line[96] = {};
    std::snprintf(line, sizeof line, "video output: port=%d output=%s reason=%s\n", port_, output.name(), reason);
    if (trace_) trace_(line);
}

VideoOutput* OutputChooser::DirectDraw() {
    if (!directDrawTried_) {
        directDrawTried_ = true;
        if (makeDirectDraw_) directDraw_ = makeDirectDraw_();
        if (!directDraw_) {
            // Without DirectDraw (no display driver, a session without one)
            // the pictures go through DrawDib rather than nowhere; no other
            // port need try.
            if (setting_ == OutputSetting::kAuto) verdict_.Publish(OutputTrial::Pick::kDrawDib, "unavailable");
            trialOwner_ = false;
            Settle(*dib_, "unavailable");
        }
    }
    return directDraw_.get();
}

void OutputChooser::DropDirectDraw(const char* reason) {
    directDraw_.reset();
    directDrawTried_ = true;  // not made again for this port
    if (active_ != dib_.get()) active_ = nullptr;
    Settle(*dib_, reason);
}

void OutputChooser::EndTrial(OutputTrial::Pick pick, const char* reason) {
    char line[96] = {};
    std::snprintf(line, sizeof line, "video output costs: port=%d ddraw_us=%lld drawdib_us=%lld\n", port_,
                  static_cast<long long>(trial_.MedianUs(true)), static_cast<long long>(trial_.MedianUs(false)));
    if (trace_) trace_(line);
    verdict_.Publish(pick, reason);
    trialOwner_ = false;
    // DirectDraw goes with its device where DrawDib is the verdict.
    if (verdict_.Get() == OutputTrial::Pick::kDrawDib) DropDirectDraw(verdict_.reason());
}

VideoOutput* OutputChooser::Wanted() {
    switch (setting_) {
        case OutputSetting::kDrawDib:
            Settle(*dib_, "forced");
            return dib_.get();
        case OutputSetting::kDirectDraw:
            if (VideoOutput* directDraw = DirectDraw()) return directDraw;
            return dib_.get();
        case OutputSetting::kAuto:
            break;
    }
    if (directDrawTried_ && !directDraw_) return dib_.get();
    const OutputTrial::Pick verdict = verdict_.Get();
    // Another port's verdict came first (or was there before this port's
    // trial began): nothing is left to measure here.
    if (trialOwner_ && verdict != OutputTrial::Pick::kUndecided) {
        trialOwner_ = false;
        verdict_.AbandonTrial();
    }
    switch (verdict) {
        case OutputTrial::Pick::kDrawDib:
            Settle(*dib_, verdict_.reason());
            return dib_.get();
        case OutputTrial::Pick::kDirectDraw:
            if (!DirectDraw()) return dib_.get();
            Settle(*directDraw_, verdict_.reason());
            return directDraw_.get();
        case OutputTrial::Pick::kUndecided:
            break;
    }
    // Undecided: the port that makes the trial alternates; the others wait
    // for its verdict on DrawDib.
    if (!trialOwner_) trialOwner_ = verdict_.TryBeginTrial();
    if (!trialOwner_ || !trial_.NextIsDirectDraw()) return dib_.get();
    if (!DirectDraw()) return dib_.get();
    return directDraw_.get();
}

VideoOutput* OutputChooser::OutputFor(const QueuedFrame& frame) {
    // Intake queues only whole pictures, RGB32 ones made YV12; a kind of the
    // SDK's own is not ours to draw.
    if (!IsDisplayKind(frame.kind)) {
        if (directDraw_) directDraw_->Release();
        active_ = nullptr;
        return nullptr;
    }
    VideoOutput* wanted = Wanted();
    if (wanted != dib_.get()) {
        const bool refused = frame.kind == refusedKind_ && frame.width == refusedWidth_ &&
                             frame.height == refusedHeight_ && ++picturesSinceRefusal_ < kRetryRefusedFormatAfter;
        if (refused || !directDraw_->Prepare(frame.kind, frame.width, frame.height)) {
            // The display cannot take this format: convert and draw through
            // DrawDib, and try DirectDraw again later.
            if (!refused) {
                refusedKind_ = frame.kind;
                refusedWidth_ = frame.width;
                refusedHeight_ = frame.height;
                picturesSinceRefusal_ = 0;
            }
            wanted = dib_.get();
            Settle(*dib_, "format");
            // A display without surfaces for the trial's pictures: every
            // port draws through DrawDib.
            if (trialOwner_) EndTrial(OutputTrial::Pick::kDrawDib, "format");
        } else {
            refusedKind_ = refusedWidth_ = refusedHeight_ = 0;
            if (setting_ == OutputSetting::kDirectDraw) Settle(*wanted, "forced");
        }
    }
    if (wanted == dib_.get() && !dib_->Prepare(frame.kind, frame.width, frame.height)) wanted = nullptr;
    active_ = wanted;
    // A picture that can go nowhere still counts towards the trial's end.
    if (!active_ && trialOwner_) {
        trial_.RecordNothingShown();
        if (trial_.pick() != OutputTrial::Pick::kUndecided) EndTrial(trial_.pick(), trial_.reason());
    }
    return active_;
}

void OutputChooser::Drawn(VideoOutput& output, ShowResult result, std::int64_t costUs) {
    const bool directDraw = &output != dib_.get();
    if (directDraw && output.lost()) result = ShowResult::kLost;
    if (result == ShowResult::kLost) {
        // The device is gone for good: this port draws through DrawDib, and
        // a trial that depended on it ends there.
        if (trialOwner_) EndTrial(OutputTrial::Pick::kDrawDib, "unavailable");
        if (directDraw) DropDirectDraw("unavailable");
        return;
    }
    if (trialOwner_) {
        switch (result) {
            case ShowResult::kShown:
                trial_.Record(directDraw, costUs);
                break;
            case ShowResult::kFailed:
                trial_.RecordFailure(directDraw);
                break;
            default:
                trial_.RecordNothingShown();
                break;
        }
        if (trial_.pick() != OutputTrial::Pick::kUndecided) EndTrial(trial_.pick(), trial_.reason());
        return;
    }
    if (!directDraw) return;
    if (result == ShowResult::kFailed) {
        // A DirectDraw that keeps failing shows nothing: it goes as a lost
        // one does.
        if (++directDrawFailures_ >= kFailuresToGiveUp) DropDirectDraw("unavailable");
    } else if (result == ShowResult::kShown) {
        directDrawFailures_ = 0;
    }
}

}  // namespace vd
