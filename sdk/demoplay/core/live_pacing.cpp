#include "core/live_pacing.h"

#include <algorithm>

#include "core/nal_units.h"

namespace demoplay {
namespace {

// The window over which a hold every picture had counts as not needed, and
// how much of it is taken back per picture (pictures come that much early,
// at most a fifth of an interval at 25/s while it lasts).
constexpr int64_t kHoldWindowUs = 250000;
constexpr int64_t kDrainStepUs = 8000;

}  // namespace

int64_t PlayoutAllowanceUs(uint32_t rate, uint32_t scale) {
    if (rate == 0 || scale == 0) return 80000;
    const int64_t interval = int64_t(uint64_t(scale) * 1000000 / rate);
    return std::clamp<int64_t>(2 * interval, 40000, 200000);
}

void LivePacer::Reset() {
    started_ = false;
    drainUs_ = 0;
}

int64_t LivePacer::Due(int64_t stampUs, int64_t arrivedUs) {
    if (!started_) {
        started_ = true;
        base_ = arrivedUs - stampUs;
        windowStartUs_ = arrivedUs;
        windowMinHoldUs_ = INT64_MAX;
        drainUs_ = 0;
    }
    const int64_t step = std::min(drainUs_, kDrainStepUs);
    base_ -= step;
    drainUs_ -= step;
    // Not before it arrived: a camera slower than its rate, or one that
    // stopped, is shown as it comes, and the clock follows it.
    const int64_t earliest = arrivedUs - stampUs;
    // Not more than the allowance after: a fast camera or a backlog is caught
    // up with, and the clock moves forward to it.
    const int64_t latest = earliest + allowanceUs_;
    if (base_ < earliest) base_ = earliest;
    if (base_ > latest) {
        base_ = latest;
        ++caughtUp_;
    }
    const int64_t due = base_ + stampUs;
    windowMinHoldUs_ = std::min(windowMinHoldUs_, due - arrivedUs);
    if (arrivedUs - windowStartUs_ >= kHoldWindowUs) {
        drainUs_ = windowMinHoldUs_;
        windowMinHoldUs_ = INT64_MAX;
        windowStartUs_ = arrivedUs;
    }
    return due;
}

AnnexBScan ScanAnnexB(const uint8_t* data, size_t size, VideoCodec codec) {
    AnnexBScan scan;
    const bool h265 = codec == VideoCodec::kH265;
    const size_t header = h265 ? 2 : 1;
    size_t unitsBefore = SIZE_MAX;  // where the units ahead of the next picture began
    for (size_t i = 0; i + 3 + header < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
        const size_t start = i > 0 && data[i - 1] == 0 ? i - 1 : i;
        const uint8_t* unit = data + i + 3;
        const int type = h265 ? (unit[0] >> 1) & 0x3F : unit[0] & 0x1F;
        const bool slice = h265 ? type <= 31 : (type == 1 || type == 5);
        if (!slice) {
            if (unitsBefore == SIZE_MAX) unitsBefore = start;
            i += 2;
            continue;
        }
        // The first slice of a picture: first_mb_in_slice 0 (H.264, an ue(v)
        // whose first bit is 1) or first_slice_segment_in_pic_flag (H.265).
        const bool first = (unit[header] & 0x80) != 0;
        if (first) {
            const bool key = h265 ? (type >= 16 && type <= 23) : type == 5;
            if (key) {
                scan.lastKeyEntry = unitsBefore != SIZE_MAX ? unitsBefore : start;
                scan.picturesBeforeKeyEntry = scan.pictures;
            }
            ++scan.pictures;
        }
        unitsBefore = SIZE_MAX;
        i += 2;
    }
    return scan;
}

SkipPlan PlanSkipToNewestKey(const std::deque<StreamChunk>& queue, const StreamForm& form) {
    SkipPlan plan;
    for (size_t i = queue.size(); i-- > 0 && !plan.found;) {
        const StreamChunk& c = queue[i];
        if (c.movieEnd || c.cls != ChunkClass::kVideo) continue;
        if (form.annexB) {
            const AnnexBScan scan = ScanAnnexB(c.data.data(), c.data.size(), form.codec);
            if (scan.lastKeyEntry == SIZE_MAX || (i == 0 && scan.lastKeyEntry == 0)) continue;
            plan = {true, i, scan.lastKeyEntry, scan.picturesBeforeKeyEntry, 0};
        } else {
            // Pictures that are not H.264/H.265 each stand alone.
            const bool key = form.codec == VideoCodec::kNone ||
                             DescribeAccessUnit(c.data.data(), c.data.size(), form.nalLengthSize, form.codec).key;
            if (!key || i == 0) continue;
            plan = {true, i, 0, 0, 0};
        }
    }
    if (!plan.found) return plan;
    for (size_t i = 0; i < plan.chunk; ++i) {
        const StreamChunk& c = queue[i];
        if (c.movieEnd) continue;
        if (c.cls == ChunkClass::kAudio) {
            plan.soundBytes += c.data.size();
        } else if (form.annexB) {
            plan.pictures += ScanAnnexB(c.data.data(), c.data.size(), form.codec).pictures;
        } else {
            ++plan.pictures;
        }
    }
    return plan;
}

}  // namespace demoplay
