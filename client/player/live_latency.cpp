#include "player/live_latency.h"

#include <algorithm>

namespace vdplay {
namespace {

// About three hours at 25 pictures a second, some 50 bytes each; a view that
// runs longer goes on unmeasured.
constexpr size_t kMaxPictures = 1 << 18;
constexpr size_t kLookBack = 256;  // decoded pictures the screen may still be behind
constexpr int kCodeModulo = 1 << 16;
constexpr int kLongestSkip = 250;  // a larger jump in the numbers is a sender that started over

}  // namespace

LatencyFigures FiguresOf(std::vector<int64_t> d) {
    LatencyFigures f;
    f.pictures = d.size();
    if (d.empty()) return f;
    std::sort(d.begin(), d.end());
    const size_t n = d.size();
    f.medianMs = (n % 2 ? double(d[n / 2]) : (double(d[n / 2 - 1]) + double(d[n / 2])) / 2.0) / 1000.0;
    const size_t p95 = std::min(n - 1, (n * 95 + 99) / 100 - 1);
    f.p95Ms = double(d[p95]) / 1000.0;
    return f;
}

void LiveLatency::Arrived(const PictureArrival& a) {
    if (a.index < 0 || size_t(a.index) >= kMaxPictures) return;
    if (arrivalUs_.size() <= size_t(a.index)) arrivalUs_.resize(size_t(a.index) + 1, -1);
    arrivalUs_[size_t(a.index)] = a.lastByteUs;
}

void LiveLatency::Decoded(int code, int64_t nowUs) {
    if (decoded_.size() >= kMaxPictures) return;
    int64_t step = 1;
    if (code >= 0 && lastCode_ >= 0) {
        const int delta = (code - lastCode_ + kCodeModulo) % kCodeModulo;
        if (delta >= 1 && delta <= kLongestSkip) step = delta;
    }
    const int64_t index = decoded_.empty() ? 0 : nextArrivalIndex_ - 1 + step;
    nextArrivalIndex_ = index + 1;
    decoded_.push_back(DecodedPicture{code, index, nowUs, decoded_.empty() ? 0 : step - 1});
    lastCode_ = code;
}

void LiveLatency::Shown(int code, int64_t nowUs) {
    if (code < 0 || shown_.size() >= kMaxPictures) return;
    for (size_t back = 1; back <= kLookBack && back <= decoded_.size(); ++back) {
        if (decoded_[decoded_.size() - back].code != code) continue;
        shown_.push_back(ShownPicture{decoded_.size() - back, nowUs});
        return;
    }
}

std::vector<LiveLatency::Sample> LiveLatency::Samples() const {
    std::vector<Sample> out;
    for (const ShownPicture& s : shown_) {
        const DecodedPicture& d = decoded_[s.decoded];
        if (d.arrivalIndex < 0 || size_t(d.arrivalIndex) >= arrivalUs_.size()) continue;
        const int64_t arrived = arrivalUs_[size_t(d.arrivalIndex)];
        // Not tied to an arrival, or tied wrongly (nothing is decoded before
        // its bytes came).
        if (arrived < 0 || arrived > d.us) continue;
        out.push_back(Sample{s.us, d.us - arrived, s.us - arrived});
    }
    return out;
}

LatencyFigures LiveLatency::ToScreen(int64_t fromUs, int64_t toUs) const {
    std::vector<int64_t> d;
    for (const Sample& s : Samples())
        if (s.shownUs >= fromUs && s.shownUs <= toUs) d.push_back(s.arrivalToScreenUs);
    return FiguresOf(std::move(d));
}

LatencyFigures LiveLatency::ToDecoded(int64_t fromUs, int64_t toUs) const {
    std::vector<int64_t> d;
    for (const Sample& s : Samples())
        if (s.shownUs >= fromUs && s.shownUs <= toUs) d.push_back(s.arrivalToDecodedUs);
    return FiguresOf(std::move(d));
}

LiveLatency::Breakdown LiveLatency::BreakdownOf(int64_t fromUs, int64_t toUs, int64_t intervalUs) const {
    Breakdown b;
    std::vector<int64_t> toDecoded, decodedToScreen, toScreen;
    for (const Sample& s : Samples()) {
        if (s.shownUs < fromUs || s.shownUs > toUs) continue;
        toDecoded.push_back(s.arrivalToDecodedUs);
        decodedToScreen.push_back(s.decodedToScreenUs());
        toScreen.push_back(s.arrivalToScreenUs);
        b.currentMs = double(s.arrivalToScreenUs) / 1000.0;
    }
    b.toDecoded = FiguresOf(std::move(toDecoded));
    b.decodedToScreen = FiguresOf(std::move(decodedToScreen));
    b.toScreen = FiguresOf(std::move(toScreen));
    for (size_t i = 1; i < decoded_.size(); ++i) {
        const DecodedPicture& d = decoded_[i];
        if (d.us < fromUs || d.us > toUs) continue;
        b.skipped += d.skippedBefore;
        if (d.us - decoded_[i - 1].us < intervalUs / 2) ++b.caughtUp;
    }
    return b;
}

}  // namespace vdplay
