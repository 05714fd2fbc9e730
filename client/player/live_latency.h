// How late live pictures reach the screen. Each picture is seen three times:
// its last byte arrives (PictureArrivals), the play SDK delivers it decoded
// to the decode callback, and the screen shows it. The pictures carry their
// number (the sample pattern's picture code), which ties what the screen
// shows to a decoded picture; a decoded picture is tied to its arrival by
// order (a stream without B-pictures is decoded in the order it arrives),
// and a jump in the numbers between two decoded pictures is a jump over
// pictures the SDK skipped.
#ifndef VD_PLAYER_LIVE_LATENCY_H
#define VD_PLAYER_LIVE_LATENCY_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/picture_arrivals.h"

namespace vdplay {

struct LatencyFigures {
    size_t pictures = 0;
    double medianMs = 0;
    double p95Ms = 0;
};

// The median and 95th percentile of durations in microseconds.
LatencyFigures FiguresOf(std::vector<int64_t> durationsUs);

class LiveLatency {
public:
    // In the order the pictures arrive.
    void Arrived(const PictureArrival& arrival);
    // The next picture the decode callback saw, with its number (-1: none read).
    void Decoded(int code, int64_t nowUs);
    // The screen began to show the picture numbered `code`.
    void Shown(int code, int64_t nowUs);

    struct Sample {
        int64_t shownUs;
        int64_t arrivalToDecodedUs;
        int64_t arrivalToScreenUs;
        int64_t decodedToScreenUs() const { return arrivalToScreenUs - arrivalToDecodedUs; }
    };
    // Every picture seen in all three places, in the order shown. A picture's
    // arrival is known only once the next one begins, so this is worked out
    // when asked.
    std::vector<Sample> Samples() const;
    // Arrival to screen (or to the decode callback) for the pictures shown
    // from `fromUs` to `toUs`.
    LatencyFigures ToScreen(int64_t fromUs = INT64_MIN, int64_t toUs = INT64_MAX) const;
    LatencyFigures ToDecoded(int64_t fromUs = INT64_MIN, int64_t toUs = INT64_MAX) const;

    // Where the time went for the pictures shown from `fromUs` to `toUs`,
    // and what the SDK did to keep up: pictures it handed over less than
    // half an interval after the one before (caught up with rather than
    // paced) and pictures it skipped (jumps in the numbers), among those
    // decoded in the same span.
    struct Breakdown {
        LatencyFigures toDecoded, decodedToScreen, toScreen;
        int64_t caughtUp = 0;
        int64_t skipped = 0;
        double currentMs = -1;  // the last picture shown; -1: none
    };
    Breakdown BreakdownOf(int64_t fromUs, int64_t toUs, int64_t intervalUs) const;

private:
    struct DecodedPicture {
        int code = -1;
        int64_t arrivalIndex = -1;
        int64_t us = 0;
        int64_t skippedBefore = 0;
    };
    struct ShownPicture {
        size_t decoded;  // in decoded_
        int64_t us;
    };

    std::vector<int64_t> arrivalUs_;  // by picture index; -1: not seen
    std::vector<DecodedPicture> decoded_;
    std::vector<ShownPicture> shown_;
    int64_t nextArrivalIndex_ = 0;  // of the next decoded picture
    int lastCode_ = -1;
};

}  // namespace vdplay

#endif  // VD_PLAYER_LIVE_LATENCY_H
