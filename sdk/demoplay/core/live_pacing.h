// The playout of a live stream's pictures. Each picture is handed over at its
// stamp on a clock that follows the arrivals: never before the picture
// arrived, and never more than a small allowance after it, so that the delay
// stays bounded whatever the camera's clock, the start and the machine do.
// Plain arithmetic on a clock the caller reads (microseconds).
#ifndef DEMOPLAY_CORE_LIVE_PACING_H
#define DEMOPLAY_CORE_LIVE_PACING_H

#include <cstddef>
#include <cstdint>
#include <deque>

#include "core/stream_assembler.h"
#include "core/video_codec.h"

namespace demoplay {

// How long a picture may be held after it arrived: two picture intervals of
// the stream's stated rate, within 40 to 200 ms. One interval absorbs the
// usual network and scheduling jitter; the second keeps a picture that came
// a little late from being followed by one shown at once. Longer holds would
// only add delay to a live view.
int64_t PlayoutAllowanceUs(uint32_t rate, uint32_t scale);

// Undecoded stream data that came over more than this means the port is far
// behind a source that keeps sending: it skips to the newest key picture
// instead of replaying the rest. Data pushed at once (a burst on connect, a
// recording handed over whole) is caught up with, never skipped.
constexpr int64_t kFarBehindUs = 1000000;

inline bool FarBehind(int64_t oldestWaitingArrivedUs, int64_t newestWaitingArrivedUs) {
    return newestWaitingArrivedUs - oldestWaitingArrivedUs > kFarBehindUs;
}

class LivePacer {
public:
    explicit LivePacer(int64_t allowanceUs = 80000) : allowanceUs_(allowanceUs) {}
    void SetAllowance(int64_t allowanceUs) { allowanceUs_ = allowanceUs; }
    int64_t allowanceUs() const { return allowanceUs_; }

    // When a picture stamped stampUs, complete at arrivedUs, is to be handed
    // over; a time already past means at once. The first picture is due as
    // it arrives.
    int64_t Due(int64_t stampUs, int64_t arrivedUs);
    // Starts afresh (the stream's data was cleared or playing restarted).
    void Reset();

    // Pictures whose time was brought forward because they had waited the
    // whole allowance (a fast camera, a burst).
    uint64_t caughtUp() const { return caughtUp_; }

private:
    int64_t allowanceUs_;
    bool started_ = false;
    int64_t base_ = 0;  // a picture is due at base_ + its stamp
    // The smallest hold of the pictures that arrived in the current window:
    // a hold that every picture of a window had is not needed for jitter and
    // is taken back, a few ms a picture.
    int64_t windowStartUs_ = 0;
    int64_t windowMinHoldUs_ = 0;
    int64_t drainUs_ = 0;
    uint64_t caughtUp_ = 0;
};

// What an Annex-B stream piece holds: the pictures that begin in it, and the
// start code from which decoding can begin afresh at its last key picture
// (its parameter sets and other units leading it), if there is one.
struct AnnexBScan {
    uint64_t pictures = 0;
    size_t lastKeyEntry = SIZE_MAX;
    uint64_t picturesBeforeKeyEntry = 0;
};
AnnexBScan ScanAnnexB(const uint8_t* data, size_t size, VideoCodec codec);

// How a port's queued video chunks are told apart.
struct StreamForm {
    bool annexB = false;  // pieces of a raw stream rather than one picture a chunk
    VideoCodec codec = VideoCodec::kNone;
    int nalLengthSize = 0;  // for AVI chunks of H.264/H.265
};

// Where a port that is far behind goes on: the queued chunk that holds the
// newest key picture and the offset of its entry in it, and what is skipped
// before it (pictures, and sound bytes of an AVI stream).
struct SkipPlan {
    bool found = false;  // a key picture later than the first chunk's start
    size_t chunk = 0;
    size_t offset = 0;
    uint64_t pictures = 0;
    uint64_t soundBytes = 0;
};
SkipPlan PlanSkipToNewestKey(const std::deque<StreamChunk>& queue, const StreamForm& form);

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_LIVE_PACING_H
