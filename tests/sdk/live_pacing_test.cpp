// The playout of live stream pictures, on a clock the test drives: a stream
// port's decoding loop (take the oldest waiting picture, skip to the newest
// key picture when far behind, decode, hand over when due) against cameras
// that keep time, run fast or slow, burst, jitter, stop, and a machine that
// holds the loop up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include "core/live_pacing.h"

namespace demoplay_test {
namespace {

using demoplay::LivePacer;
using demoplay::VideoCodec;

constexpr int64_t kMs = 1000;
constexpr int64_t kInterval = 40 * kMs;  // 25 pictures a second
constexpr int64_t kAllowance = 80 * kMs;

struct Picture {
    int64_t arrived;
    int64_t stamp;
    bool key;
};

struct Camera {
    int count = 0;
    double clockRatio = 1.0;  // its real interval per stamped one (0.99: 1% fast)
    int burst = 0;            // pictures sent at once on connect, then real time
    int64_t jitter = 0;       // each picture late by up to this much
    int64_t stopAt = -1;      // sends nothing from here ...
    int64_t stopFor = 0;      // ... for this long
    int keyEvery = 50;
};

std::vector<Picture> Film(const Camera& c) {
    std::vector<Picture> out;
    uint32_t noise = 12345;
    for (int k = 0; k < c.count; ++k) {
        Picture p;
        p.stamp = k * kInterval;
        p.key = k % c.keyEvery == 0;
        const int live = std::max(0, k - std::max(0, c.burst - 1));
        p.arrived = int64_t(live * kInterval * c.clockRatio);
        if (c.jitter > 0) {
            noise = noise * 1103515245u + 12345u;
            p.arrived += int64_t((noise >> 8) % uint32_t(c.jitter));
        }
        if (c.stopAt >= 0 && p.arrived >= c.stopAt) p.arrived += c.stopFor;
        out.push_back(p);
    }
    return out;
}

struct Loop {
    int64_t decodeCost = 3 * kMs;
    int64_t holdUpAt = -1;  // the loop stands still here ...
    int64_t holdUpFor = 0;  // ... this long
};

struct Shown {
    int64_t at;
    int64_t stamp;
    int64_t delay;  // from arrival to hand-over
};

struct Playout {
    std::vector<Shown> shown;
    int skipped = 0;
    uint64_t caughtUp = 0;
};

// The port's decoding loop, as the SDK runs it, on the driven clock.
Playout Play(const std::vector<Picture>& film, const Loop& loop) {
    LivePacer pacer(kAllowance);
    Playout run;
    std::deque<Picture> waiting;
    size_t next = 0;
    int64_t now = 0;
    bool heldUp = false;
    while (next < film.size() || !waiting.empty()) {
        while (next < film.size() && film[next].arrived <= now) waiting.push_back(film[next++]);
        if (waiting.empty()) {
            now = film[next].arrived;
            continue;
        }
        if (demoplay::FarBehind(waiting.front().arrived, waiting.back().arrived)) {
            auto key = std::find_if(waiting.rbegin(), waiting.rend(), [](const Picture& p) { return p.key; });
            if (key != waiting.rend()) {
                const size_t drop = size_t(waiting.rend() - key - 1);
                run.skipped += int(drop);
                waiting.erase(waiting.begin(), waiting.begin() + ptrdiff_t(drop));
            }
        }
        const Picture p = waiting.front();
        waiting.pop_front();
        now += loop.decodeCost;
        if (!heldUp && loop.holdUpAt >= 0 && now >= loop.holdUpAt) {
            heldUp = true;
            now += loop.holdUpFor;
        }
        now = std::max(now, pacer.Due(p.stamp, p.arrived));
        run.shown.push_back({now, p.stamp, now - p.arrived});
    }
    run.caughtUp = pacer.caughtUp();
    return run;
}

int64_t LargestDelayFrom(const Playout& run, int64_t from) {
    int64_t largest = 0;
    for (const Shown& s : run.shown)
        if (s.at >= from) largest = std::max(largest, s.delay);
    return largest;
}

TEST(LivePacing, DelayStaysBoundedWhateverTheCameraAndTheMachineDo) {
    struct Case {
        const char* name;
        Camera camera;
        Loop loop;
        int64_t settledFrom;   // the delay is looked at from here on
        int64_t largestDelay;  // at most this after settledFrom
        int64_t lastDelay;     // and at most this at the end
        bool skips;
        bool catchesUp;
    };
    const int64_t kPerPicture = kAllowance + 3 * kMs;  // held the allowance, then decoded
    const Case cases[] = {
        {"steady", {1500}, {}, 0, 3 * kMs, 3 * kMs, false, false},
        {"1% fast, 10 min", {15000, 0.99}, {}, 0, kPerPicture, 10 * kMs, false, false},
        {"1% slow, 10 min", {15000, 1.01}, {}, 0, 3 * kMs, 3 * kMs, false, false},
        {"start-up burst of 2 s", {1500, 1.0, 50}, {}, 1000 * kMs, 20 * kMs, 3 * kMs, false, true},
        {"20 ms jitter", {1500, 1.0, 0, 20 * kMs}, {}, 0, 23 * kMs, 23 * kMs, false, false},
        // Held up to the jitter, and to what a fast clock adds before it is taken back.
        {"1% fast, 20 ms jitter", {15000, 0.99, 0, 20 * kMs}, {}, 0, 26 * kMs, 26 * kMs, false, false},
        {"1% slow, 20 ms jitter", {15000, 1.01, 0, 20 * kMs}, {}, 0, 23 * kMs, 23 * kMs, false, false},
        {"a 600 ms hold-up", {1500}, {3 * kMs, 20000 * kMs, 600 * kMs}, 21000 * kMs, 3 * kMs, 3 * kMs, false, false},
        {"stops for 5 s and comes back",
         {1500, 1.0, 0, 0, 20000 * kMs, 5000 * kMs},
         {},
         0,
         3 * kMs,
         3 * kMs,
         false,
         false},
        {"a 3 s backlog on a slow decoder", {1500, 1.0, 75}, {30 * kMs}, 6000 * kMs, 30 * kMs, 30 * kMs, true, true},
        // A recording handed over whole is replayed at decoding speed, not
        // skipped: it did not come over time.
        {"10 s handed over at once, slow decoder",
         {250, 1.0, 250},
         {30 * kMs},
         100000 * kMs,
         0,
         7600 * kMs,
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Picture> film = Film(c.camera);
        const Playout run = Play(film, c.loop);
        EXPECT_LE(LargestDelayFrom(run, c.settledFrom), c.largestDelay);
        EXPECT_LE(run.shown.back().delay, c.lastDelay);
        // Nothing is skipped unless the port fell more than a second behind a
        // camera that kept sending; a hold-up shorter than that, or a burst,
        // is caught up with, not skipped.
        EXPECT_EQ(run.skipped > 0, c.skips) << run.skipped;
        EXPECT_EQ(run.shown.size() + size_t(run.skipped), film.size());
        EXPECT_EQ(run.caughtUp > 0, c.catchesUp) << run.caughtUp;
        // Pictures come out in their order, never before they arrived (the
        // delay is never negative), with the camera's stamps.
        for (size_t i = 1; i < run.shown.size(); ++i) {
            ASSERT_GT(run.shown[i].stamp, run.shown[i - 1].stamp);
            ASSERT_GE(run.shown[i].at, run.shown[i - 1].at);
            ASSERT_GE(run.shown[i].delay, 0);
        }
    }
}

// A camera that keeps its rate is shown evenly: every hand-over a picture
// interval after the one before, give or take its jitter.
TEST(LivePacing, SteadyAndJitteryCamerasAreShownEvenly) {
    struct Case {
        const char* name;
        Camera camera;
        int64_t unevenness;
    } cases[] = {
        {"steady", {500}, 0},
        {"20 ms jitter", {500, 1.0, 0, 20 * kMs}, 20 * kMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Playout run = Play(Film(c.camera), {});
        for (size_t i = 50; i < run.shown.size(); ++i) {
            const int64_t gap = run.shown[i].at - run.shown[i - 1].at;
            ASSERT_LE(std::abs(gap - kInterval), c.unevenness) << "picture " << i;
        }
    }
}

// A camera slower than its stated rate is shown as it comes: no picture waits,
// so none is followed by a burst.
TEST(LivePacing, SlowCameraIsShownAsItArrives) {
    const std::vector<Picture> film = Film({1000, 1.05});
    LivePacer pacer(kAllowance);
    for (const Picture& p : film) ASSERT_EQ(pacer.Due(p.stamp, p.arrived), p.arrived) << p.stamp;
}

// Stamps that jump (a camera restarted, a wrapped clock) bound the hold in
// both directions: a picture is never held past the allowance, nor handed
// over before it arrived.
TEST(LivePacing, JumpingStampsKeepTheHoldWithinTheAllowance) {
    LivePacer pacer(kAllowance);
    struct Step {
        int64_t stamp, arrived, due;
    } steps[] = {
        {0, 1000 * kMs, 1000 * kMs},
        {40 * kMs, 1040 * kMs, 1040 * kMs},
        {3600000 * kMs, 1080 * kMs, 1080 * kMs + kAllowance},  // ahead by an hour
        {3600040 * kMs, 1120 * kMs, 1120 * kMs + kAllowance},
        {0, 1160 * kMs, 1160 * kMs},  // back to the start
        {40 * kMs, 1200 * kMs, 1200 * kMs},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.stamp);
        EXPECT_EQ(pacer.Due(s.stamp, s.arrived), s.due);
    }
    pacer.Reset();
    EXPECT_EQ(pacer.Due(80 * kMs, 5000 * kMs), 5000 * kMs);  // starts afresh
}

TEST(LivePacing, AllowanceIsTwoPictureIntervalsWithinBounds) {
    struct Case {
        uint32_t rate, scale;
        int64_t allowance;
    } cases[] = {
        {25, 1, 80 * kMs}, {30000, 1001, 66732}, {50, 1, 40 * kMs}, {120, 1, 40 * kMs},
        {5, 1, 200 * kMs}, {1, 1, 200 * kMs},    {0, 1, 80 * kMs},  {25, 0, 80 * kMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << "/" << c.scale);
        EXPECT_EQ(demoplay::PlayoutAllowanceUs(c.rate, c.scale), c.allowance);
    }
}

// Where decoding of a raw stream can start afresh: the units that lead the
// last key picture, and how many pictures begin before it.
TEST(LivePacing, AnnexBScanFindsTheLastKeyPictureAndCountsPictures) {
    const std::vector<uint8_t> sps{0, 0, 0, 1, 0x67, 0x42}, pps{0, 0, 1, 0x68, 0xCE};
    const std::vector<uint8_t> idr{0, 0, 0, 1, 0x65, 0x88}, p{0, 0, 1, 0x41, 0x9A}, p2{0, 0, 1, 0x41, 0x20};
    const std::vector<uint8_t> hevcIdr{0, 0, 1, 0x26, 0x01, 0xAF}, hevcTrail{0, 0, 1, 0x02, 0x01, 0xD0},
        hevcVps{0, 0, 1, 0x40, 0x01, 0x0C};
    auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out;
        for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
        return out;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        VideoCodec codec;
        uint64_t pictures;
        size_t keyEntry;
        uint64_t before;
    };
    const Case cases[] = {
        {"sets and a key picture", join({sps, pps, idr, p}), VideoCodec::kH264, 2, 0, 0},
        {"the last of two keys", join({idr, p, p, sps, pps, idr, p}), VideoCodec::kH264, 5, 16, 3},
        {"a key without sets", join({p, idr}), VideoCodec::kH264, 2, 5, 1},
        {"a second slice is no picture", join({idr, p2, p}), VideoCodec::kH264, 2, 0, 0},
        {"no key", join({p, p}), VideoCodec::kH264, 2, SIZE_MAX, 0},
        {"a cut start code", {0, 0}, VideoCodec::kH264, 0, SIZE_MAX, 0},
        {"H.265", join({hevcTrail, hevcVps, hevcIdr, hevcTrail}), VideoCodec::kH265, 3, 6, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const demoplay::AnnexBScan scan = demoplay::ScanAnnexB(c.bytes.data(), c.bytes.size(), c.codec);
        EXPECT_EQ(scan.pictures, c.pictures);
        EXPECT_EQ(scan.lastKeyEntry, c.keyEntry);
        EXPECT_EQ(scan.picturesBeforeKeyEntry, c.before);
    }
}

// A port far behind goes on at the newest key picture it holds; what comes
// before it is counted, so that the stamps after it stay the camera's.
TEST(LivePacing, SkipPlanGoesToTheNewestKeyPicture) {
    using demoplay::ChunkClass;
    using demoplay::StreamChunk;
    auto chunk = [](ChunkClass cls, std::vector<uint8_t> data) {
        StreamChunk c;
        c.cls = cls;
        c.data = std::move(data);
        return c;
    };
    const std::vector<uint8_t> idr{0, 0, 0, 2, 0x65, 0x88}, p{0, 0, 0, 2, 0x41, 0x9A};  // 4-byte lengths
    const std::vector<uint8_t> rawIdr{0, 0, 1, 0x65, 0x88}, rawP{0, 0, 1, 0x41, 0x9A}, rawSps{0, 0, 1, 0x67, 0x42};
    const StreamChunk sound = chunk(ChunkClass::kAudio, std::vector<uint8_t>(100));
    struct Case {
        const char* name;
        std::deque<StreamChunk> queue;
        demoplay::StreamForm form;
        bool found;
        size_t chunk, offset;
        uint64_t pictures, soundBytes;
    };
    const demoplay::StreamForm avc{false, VideoCodec::kH264, 4}, jpeg{}, raw{true, VideoCodec::kH264, 0};
    std::vector<uint8_t> rawMix = rawP;
    rawMix.insert(rawMix.end(), rawSps.begin(), rawSps.end());
    rawMix.insert(rawMix.end(), rawIdr.begin(), rawIdr.end());
    const Case cases[] = {
        {"AVI H.264",
         {chunk(ChunkClass::kVideo, idr), sound, chunk(ChunkClass::kVideo, p), chunk(ChunkClass::kVideo, idr),
          chunk(ChunkClass::kVideo, p)},
         avc,
         true,
         3,
         0,
         2,
         100},
        {"AVI H.264, the only key first",
         {chunk(ChunkClass::kVideo, idr), chunk(ChunkClass::kVideo, p)},
         avc,
         false,
         0,
         0,
         0,
         0},
        {"AVI Motion-JPEG: the newest picture",
         {chunk(ChunkClass::kVideo, {1}), sound, chunk(ChunkClass::kVideo, {2})},
         jpeg,
         true,
         2,
         0,
         1,
         100},
        {"raw pieces",
         {chunk(ChunkClass::kVideo, rawIdr), chunk(ChunkClass::kVideo, rawP), chunk(ChunkClass::kVideo, rawMix)},
         raw,
         true,
         2,
         5,
         3,
         0},
        {"raw, no key", {chunk(ChunkClass::kVideo, rawP), chunk(ChunkClass::kVideo, rawP)}, raw, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const demoplay::SkipPlan plan = demoplay::PlanSkipToNewestKey(c.queue, c.form);
        EXPECT_EQ(plan.found, c.found);
        if (!plan.found) continue;
        EXPECT_EQ(plan.chunk, c.chunk);
        EXPECT_EQ(plan.offset, c.offset);
        EXPECT_EQ(plan.pictures, c.pictures);
        EXPECT_EQ(plan.soundBytes, c.soundBytes);
    }
}

// When a raw H.264 stream's picture is taken as whole, on a clock the test
// drives: at the next picture's start, or earlier when the input went quiet
// after its slice; a picture that then turns out cut is decoded again, whole
// and afresh, and the port waits for the next start from then on.
TEST(AnnexBAssembler, PictureIsWholeOnQuietInputUnlessItTurnsOutCut) {
    using demoplay::AnnexBAssembler;
    using Kind = AnnexBAssembler::Kind;
    using Bytes = std::vector<uint8_t>;
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
        return out;
    };
    const Bytes sps{0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1E}, pps{0, 0, 0, 1, 0x68, 0xCE, 0x38, 0x80},
        sei{0, 0, 1, 0x06, 0x05, 0x02, 0x44, 0x80};
    // Slices: first_mb_in_slice 0, and 198 (a second slice of the same picture).
    const Bytes idrHead{0, 0, 1, 0x65, 0x88, 0x84, 0x21}, idrTail{0x42, 0x77, 0x10};
    const Bytes idr = join({idrHead, idrTail}), idr2{0, 0, 1, 0x65, 0x01, 0x8F, 0x21, 0x42, 0x10},
                p{0, 0, 1, 0x41, 0x9A, 0x02, 0x03, 0x55}, p2{0, 0, 1, 0x41, 0x9B, 0x02, 0x03, 0x56};
    const Bytes hevcIdr{0, 0, 1, 0x26, 0x01, 0xAF, 0x11, 0x22}, hevcTrail{0, 0, 1, 0x02, 0x01, 0xD0, 0x33, 0x44};
    constexpr int64_t kQuiet = 3 * kMs;
    struct Step {
        int64_t at;
        Bytes bytes;  // none: the input was quiet until `at`
    };
    struct Out {
        Kind kind;
        Bytes data;
        bool restart;
    };
    struct Case {
        const char* name;
        VideoCodec codec;
        std::vector<Step> steps;
        std::vector<Out> out;
        bool ruleOnAtEnd;
    };
    const Case cases[] = {
        {"whole picture, then quiet",
         VideoCodec::kH264,
         {{0, join({sps, pps, idr})}, {kQuiet - 1, {}}, {kQuiet, {}}, {40 * kMs, p}, {43 * kMs, {}}},
         {{Kind::kEarly, join({sps, pps, idr}), false},
          {Kind::kConfirmed, join({sps, pps, idr}), false},
          {Kind::kEarly, p, false}},
         true},
        {"cut with a pause: decoded again whole, then the next start is waited for",
         VideoCodec::kH264,
         {{0, join({sps, pps, idrHead})},
          {kQuiet, {}},
          {10 * kMs, idrTail},
          {20 * kMs, {}},
          {40 * kMs, p},
          {50 * kMs, {}},
          {80 * kMs, p2}},
         {{Kind::kEarly, join({sps, pps, idrHead}), false},
          {Kind::kRedone, join({sps, pps, idr}), true},
          {Kind::kWhole, p, false}},
         false},
        {"two slices at once",
         VideoCodec::kH264,
         {{0, join({idr, idr2})}, {kQuiet, {}}, {40 * kMs, p}},
         {{Kind::kEarly, join({idr, idr2}), false}, {Kind::kConfirmed, join({idr, idr2}), false}},
         true},
        {"the second slice after a pause",
         VideoCodec::kH264,
         {{0, idr}, {kQuiet, {}}, {10 * kMs, idr2}, {20 * kMs, {}}, {40 * kMs, p}},
         {{Kind::kEarly, idr, false}, {Kind::kRedone, join({idr, idr2}), true}},
         false},
        {"parameter sets and SEI alone are no picture",
         VideoCodec::kH264,
         {{0, join({sps, pps, sei})}, {10 * kMs, {}}, {12 * kMs, idr}, {14 * kMs, {}}, {15 * kMs, {}}},
         {{Kind::kEarly, join({sps, pps, sei, idr}), false}},
         true},
        {"a start code split across pieces",
         VideoCodec::kH264,
         {{0, join({idr, {0, 0}})}, {kQuiet, {}}, {40 * kMs, {1, 0x41, 0x9A, 0x02, 0x03, 0x55}}, {50 * kMs, {}}},
         {{Kind::kEarly, idr, false}, {Kind::kConfirmed, idr, false}, {Kind::kEarly, p, false}},
         true},
        {"a burst: the last picture early",
         VideoCodec::kH264,
         {{0, join({Bytes{0x12, 0x34}, idr, p, p2})}, {kQuiet, {}}},
         {{Kind::kWhole, idr, false}, {Kind::kWhole, p, false}, {Kind::kEarly, p2, false}},
         true},
        {"a slice header still to come",
         VideoCodec::kH264,
         {{0, join({idr, {0, 0, 1, 0x41}})}, {kQuiet, {}}, {10 * kMs, {0x9A, 0x02, 0x03, 0x55}}, {13 * kMs, {}}},
         {{Kind::kWhole, idr, false}, {Kind::kEarly, p, false}},
         true},
        {"H.265 waits for the next start",
         VideoCodec::kH265,
         {{0, hevcIdr}, {kQuiet, {}}, {40 * kMs, hevcTrail}},
         {{Kind::kWhole, hevcIdr, false}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnnexBAssembler assembler(c.codec, c.codec == VideoCodec::kH264 ? kQuiet : 0, 1 << 20);
        std::vector<AnnexBAssembler::Unit> out;
        for (const Step& step : c.steps) {
            if (!step.bytes.empty()) {
                assembler.Feed(step.bytes.data(), step.bytes.size(), step.at, &out);
                continue;
            }
            AnnexBAssembler::Unit unit;
            if (assembler.TakeIfQuiet(step.at, &unit)) out.push_back(std::move(unit));
        }
        ASSERT_EQ(out.size(), c.out.size());
        for (size_t i = 0; i < out.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(out[i].kind, c.out[i].kind);
            EXPECT_EQ(out[i].data, c.out[i].data);
            EXPECT_EQ(out[i].restart, c.out[i].restart);
        }
        EXPECT_EQ(assembler.quietRuleOn(), c.ruleOnAtEnd);
    }
}

// A unit that grows past the limit is dropped, and decoding starts afresh
// at the next one.
TEST(AnnexBAssembler, OversizedUnitIsDroppedAndDecodingRestarts) {
    demoplay::AnnexBAssembler assembler(VideoCodec::kH264, 3 * kMs, 64);
    std::vector<demoplay::AnnexBAssembler::Unit> out;
    std::vector<uint8_t> huge{0, 0, 1, 0x65, 0x88};
    huge.resize(200, 0x5A);
    const std::vector<uint8_t> p{0, 0, 1, 0x41, 0x9A, 0x02}, p2{0, 0, 1, 0x41, 0x9B, 0x03};
    assembler.Feed(huge.data(), huge.size(), 0, &out);
    assembler.Feed(p.data(), p.size(), 40 * kMs, &out);
    assembler.Feed(p2.data(), p2.size(), 80 * kMs, &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].data, p);
    EXPECT_TRUE(out[0].restart);
    EXPECT_EQ(assembler.droppedUnits(), 1u);
}

}  // namespace
}  // namespace demoplay_test
