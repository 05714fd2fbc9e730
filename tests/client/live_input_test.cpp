// What vdplay works out from a live stream as it arrives: where each picture
// of a raw H.264/H.265 stream ends and when, how late pictures reach the
// decode callback and the screen, and the AVI stream an RTSP camera is
// handed on as.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/avi_parser.h"
#include "core/stream_assembler.h"
#include "player/camera_stream.h"
#include "player/live_latency.h"
#include "player/picture_arrivals.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Unit(std::initializer_list<uint8_t> header, size_t payload, bool longStartCode = true) {
    Bytes b = longStartCode ? Bytes{0, 0, 0, 1} : Bytes{0, 0, 1};
    b.insert(b.end(), header);
    for (size_t i = 0; i < payload; ++i) b.push_back(uint8_t(0x55 + i % 7));  // never two zeros
    return b;
}

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Five pictures each (the last one unfinished): parameter sets, pictures of
// two slices, SEI and delimiters before pictures, a one-byte unit, short
// start codes.
std::vector<Bytes> H264Pictures() {
    return {Join({Unit({0x67, 0x42}, 9), Unit({0x68, 0xCE}, 3), Unit({0x65, 0x88}, 40)}),
            Join({Unit({0x41, 0x9A}, 20, false)}),
            Join({Unit({0x41, 0x9A}, 12), Unit({0x41, 0x3A}, 12), Unit({0x0C}, 0)}),  // second slice, filler
            Join({Unit({0x09, 0xF0}, 0), Unit({0x06, 0x05}, 6), Unit({0x41, 0x9A}, 15)}),
            Join({Unit({0x41, 0x9A}, 8)})};
}

std::vector<Bytes> H265Pictures() {
    return {Join({Unit({0x40, 0x01, 0x0C}, 8), Unit({0x42, 0x01, 0x01}, 9), Unit({0x44, 0x01, 0xC1}, 3),
                  Unit({0x26, 0x01, 0xAF}, 30)}),
            Join({Unit({0x02, 0x01, 0xD0}, 20), Unit({0x02, 0x01, 0x50}, 20)}),        // two slice segments
            Join({Unit({0x4E, 0x01, 0x05}, 4), Unit({0x02, 0x01, 0xD0}, 10, false)}),  // prefix SEI first
            Join({Unit({0x46, 0x01, 0x50}, 0), Unit({0x02, 0x01, 0xD0}, 10)}),         // delimiter first
            Join({Unit({0x02, 0x01, 0xD0}, 10)})};
}

TEST(PictureArrivals, FindsEveryPictureInPiecesOfAnySize) {
    struct Case {
        const char* name;
        std::vector<Bytes> pictures;
        vdplay::StreamCodec codec;
    } cases[] = {{"H.264", H264Pictures(), vdplay::StreamCodec::kH264},
                 {"H.265", H265Pictures(), vdplay::StreamCodec::kH265}};
    for (const Case& c : cases) {
        const Bytes stream = Join(c.pictures);
        for (size_t piece : {size_t(1), size_t(2), size_t(3), size_t(5), size_t(7), size_t(64), stream.size()}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            vdplay::PictureArrivals arrivals;
            std::vector<vdplay::PictureArrival> done;
            for (size_t at = 0; at < stream.size(); at += piece)
                arrivals.Add(&stream[at], std::min(piece, stream.size() - at), int64_t(at), &done);
            EXPECT_EQ(arrivals.codec(), c.codec);
            EXPECT_EQ(arrivals.picturesBegun(), 5);
            ASSERT_EQ(done.size(), 4u);
            size_t end = 0;
            for (size_t i = 0; i < done.size(); ++i) {
                EXPECT_EQ(done[i].index, int64_t(i));
                end += c.pictures[i].size();
                // Stamped with the piece that held the picture's last byte.
                EXPECT_EQ(done[i].lastByteUs, int64_t((end - 1) / piece * piece)) << "picture " << i;
            }
        }
    }
}

TEST(PictureArrivals, PiecesAtTheirTimesAndANewConnection) {
    const std::vector<Bytes> p = H264Pictures();
    vdplay::PictureArrivals arrivals;
    std::vector<vdplay::PictureArrival> done;
    arrivals.Add(p[0].data(), p[0].size(), 100, &done);
    arrivals.Add(p[1].data(), p[1].size(), 200, &done);
    arrivals.Add(p[2].data(), 10, 300, &done);  // picture 2 in two pieces
    arrivals.Add(p[2].data() + 10, p[2].size() - 10, 400, &done);
    arrivals.Add(p[3].data(), p[3].size(), 500, &done);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0].lastByteUs, 100);
    EXPECT_EQ(done[1].lastByteUs, 200);
    EXPECT_EQ(done[2].lastByteUs, 400);
    // The connection drops mid-picture: that picture never completes; counting
    // goes on with the new connection's pictures.
    arrivals.Restart();
    arrivals.Add(p[0].data(), p[0].size(), 600, &done);
    arrivals.Add(p[1].data(), p[1].size(), 700, &done);
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(done[3].index, 4);
    EXPECT_EQ(done[3].lastByteUs, 600);
    // Garbage without start codes belongs to the picture being received.
    const Bytes garbage(1000, 0xA5);
    arrivals.Add(garbage.data(), garbage.size(), 800, &done);
    arrivals.Add(p[4].data(), p[4].size(), 900, &done);
    ASSERT_EQ(done.size(), 5u);
    EXPECT_EQ(done[4].lastByteUs, 800);
}

// Bytes beyond what a unit may hold are dropped up to the next start code,
// which is handed on whole however the pieces cut it.
TEST(PictureArrivals, OversizedUnitsAreCutAtTheLimit) {
    const Bytes good = Join(H264Pictures());
    const Bytes garbage(100, 0xA5);
    struct Case {
        const char* name;
        Bytes stream;
        Bytes expect;
    } cases[] = {
        {"a stream within the limit", good, good},
        {"garbage after a start code", Join({Unit({0x65}, 0), garbage, good}),
         Join({Unit({0x65}, 0), Bytes(garbage.begin(), garbage.begin() + 63), good})},
        {"garbage before the first start code", Join({garbage, good}),
         Join({Bytes(garbage.begin(), garbage.begin() + 64), good})},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t(1), size_t(3), size_t(50), c.stream.size()}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            vdplay::OversizedUnitFilter filter(64);
            Bytes out, all;
            for (size_t at = 0; at < c.stream.size(); at += piece) {
                filter.Filter(&c.stream[at], std::min(piece, c.stream.size() - at), &out);
                all.insert(all.end(), out.begin(), out.end());
            }
            EXPECT_EQ(all, c.expect);
            EXPECT_EQ(filter.dropped() > 0, c.expect != c.stream);
        }
    }
}

TEST(LiveLatency, TiesScreenToArrivalThroughSkipsAndRestarts) {
    vdplay::LiveLatency l;
    constexpr int64_t kMs = 1000;
    for (int64_t i = 0; i < 12; ++i) l.Arrived(vdplay::PictureArrival{i, i * 40 * kMs});
    // The SDK skips pictures 2 and 3 (damage); the sender starts over at 9
    // (its numbers begin again at 0); one picture's code cannot be read.
    const struct {
        int code;
        int64_t arrival;  // the picture it is
    } decoded[] = {{100, 0}, {101, 1}, {104, 4}, {105, 5}, {-1, 6}, {107, 7}, {108, 8}, {0, 9}, {1, 10}};
    for (const auto& d : decoded) {
        l.Decoded(d.code, d.arrival * 40 * kMs + 10 * kMs);
        l.Shown(d.code, d.arrival * 40 * kMs + 25 * kMs);
    }
    l.Shown(555, 999 * kMs);  // never decoded: not counted
    const std::vector<vdplay::LiveLatency::Sample> samples = l.Samples();
    ASSERT_EQ(samples.size(), 8u);  // all but the unreadable one
    for (const auto& s : samples) {
        EXPECT_EQ(s.arrivalToDecodedUs, 10 * kMs);
        EXPECT_EQ(s.arrivalToScreenUs, 25 * kMs);
    }
    EXPECT_DOUBLE_EQ(l.ToScreen().medianMs, 25.0);
    EXPECT_DOUBLE_EQ(l.ToDecoded().p95Ms, 10.0);
    // Only the pictures shown in a window of time.
    EXPECT_EQ(l.ToScreen(300 * kMs, 400 * kMs).pictures, 3u);  // pictures 7, 8 and 9
    // A picture decoded before its arrival is known counts once the arrival
    // is; one tied to an arrival after its decoding is not counted.
    vdplay::LiveLatency late;
    late.Decoded(7, 50 * kMs);
    late.Shown(7, 60 * kMs);
    EXPECT_EQ(late.Samples().size(), 0u);
    late.Arrived(vdplay::PictureArrival{0, 45 * kMs});
    EXPECT_DOUBLE_EQ(late.ToScreen().medianMs, 15.0);
    late.Decoded(8, 70 * kMs);
    late.Arrived(vdplay::PictureArrival{1, 80 * kMs});
    late.Shown(8, 90 * kMs);
    EXPECT_EQ(late.Samples().size(), 1u);
}

// The report's breakdown: arrival to the decode callback to the screen, the
// pictures the SDK caught up with (handed over close behind the one before)
// and skipped, and the delay of the last picture shown.
TEST(LiveLatency, BreakdownSaysWhereTheTimeWentAndWhatTheSdkDid) {
    constexpr int64_t kMs = 1000;
    vdplay::LiveLatency l;
    for (int64_t i = 0; i < 20; ++i) l.Arrived(vdplay::PictureArrival{i, i * 40 * kMs});
    // Pictures 0-4 on time; 5-9 held up and then handed over 5 ms apart;
    // 10 and 11 skipped; 12-19 on time again.
    for (int i = 0; i < 20; ++i) {
        if (i == 10 || i == 11) continue;
        const int64_t decoded = i < 5    ? i * 40 * kMs + 10 * kMs
                                : i < 10 ? 400 * kMs + (i - 5) * 5 * kMs
                                         : i * 40 * kMs + 10 * kMs;
        l.Decoded(i, decoded);
        l.Shown(i, decoded + 8 * kMs);
    }
    struct Case {
        int64_t from, to;
        size_t pictures;
        double toDecodedMedian, toScreenP95, decodedToScreenMedian;
        int64_t caughtUp, skipped;
        double current;
    } cases[] = {
        {0, 200 * kMs, 5, 10, 18, 8, 0, 0, 18},
        {390 * kMs, 440 * kMs, 5, 130, 208, 8, 4, 0, 68},
        {470 * kMs, 2000 * kMs, 8, 10, 18, 8, 0, 2, 18},
        {5000 * kMs, 6000 * kMs, 0, 0, 0, 0, 0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        const vdplay::LiveLatency::Breakdown b = l.BreakdownOf(c.from, c.to, 40 * kMs);
        EXPECT_EQ(b.toScreen.pictures, c.pictures);
        EXPECT_DOUBLE_EQ(b.toDecoded.medianMs, c.toDecodedMedian);
        EXPECT_DOUBLE_EQ(b.toScreen.p95Ms, c.toScreenP95);
        EXPECT_DOUBLE_EQ(b.decodedToScreen.medianMs, c.decodedToScreenMedian);
        EXPECT_EQ(b.caughtUp, c.caughtUp);
        EXPECT_EQ(b.skipped, c.skipped);
        EXPECT_DOUBLE_EQ(b.currentMs, c.current);
    }
}

TEST(LiveLatency, MedianAndP95) {
    struct Case {
        std::vector<int64_t> us;
        double median, p95;
    } cases[] = {
        {{}, 0, 0},
        {{5000}, 5, 5},
        {{3000, 1000, 2000, 4000}, 2.5, 4},
        {[] {
             std::vector<int64_t> v;
             for (int i = 100; i >= 1; --i) v.push_back(i * 1000);
             return v;
         }(),
         50.5, 95},
    };
    for (const Case& c : cases) {
        const vdplay::LatencyFigures f = vdplay::FiguresOf(c.us);
        EXPECT_EQ(f.pictures, c.us.size());
        EXPECT_DOUBLE_EQ(f.medianMs, c.median);
        EXPECT_DOUBLE_EQ(f.p95Ms, c.p95);
    }
}

Bytes Hex(const char* text) {
    Bytes b;
    for (size_t i = 0; text[i] && text[i + 1]; i += 2)
        b.push_back(uint8_t(std::stoi(std::string(text + i, 2), nullptr, 16)));
    return b;
}

// Sequence parameter sets as encoders write them, and JPEG frame headers.
TEST(CameraStream, PictureSizeFromParameterSetsAndJpegHeaders) {
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x4A, 0x46, 0xFF, 0xDB, 0x00, 0x03, 0x00,
                        0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0xE0, 0x02, 0x80, 0x03, 0x01, 0x22, 0x00};
    struct Case {
        const char* name;
        vdplay::CameraCodec codec;
        Bytes data;
        bool found;
        int width, height;
    } cases[] = {
        {"H.264 high, CIF", vdplay::CameraCodec::kH264,
         Hex("0000016764000dacd9416096c044000003000400000300c83c50a65800"), true, 352, 288},
        {"H.264 high, 1080p (cropped from 1088)", vdplay::CameraCodec::kH264,
         Hex("00000167640028acd940780227e5c044000003000400000300c83c60c65800"), true, 1920, 1080},
        {"H.264 baseline, after other units", vdplay::CameraCodec::kH264,
         Join({Unit({0x09, 0xF0}, 0), Hex("0000016742c00dd90141fb011000000300100000030320f142a48000")}), true, 320,
         240},
        {"H.265, CIF", vdplay::CameraCodec::kH265,
         Hex("00000142010101600000030090000003000003003ca00b08048596566924caf0168080000003008000000c8400"), true, 352,
         288},
        {"H.265, 1080p", vdplay::CameraCodec::kH265,
         Hex("000001420101016000000300900000030000030078a003c08010e596566924caf0168080000003008000000c8400"), true,
         1920, 1080},
        {"JPEG", vdplay::CameraCodec::kMjpeg, jpeg, true, 640, 480},
        {"H.264 without a parameter set", vdplay::CameraCodec::kH264, Join({Unit({0x65, 0x88}, 40)}), false, 0, 0},
        {"H.264 parameter set cut short", vdplay::CameraCodec::kH264, Hex("0000016764000dacd9"), false, 0, 0},
        {"H.265 parameter set cut short", vdplay::CameraCodec::kH265, Hex("00000142010101600000030090"), false, 0, 0},
        {"JPEG cut before its frame header", vdplay::CameraCodec::kMjpeg, Bytes(jpeg.begin(), jpeg.begin() + 15), false,
         0, 0},
        {"not a JPEG", vdplay::CameraCodec::kMjpeg, Bytes(20, 0x11), false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int w = 0, h = 0;
        EXPECT_EQ(vdplay::CameraPictureSize(c.codec, c.data.data(), c.data.size(), &w, &h), c.found);
        if (!c.found) continue;
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
}

// The header is one the play SDK reads as a live stream's, naming the video
// and the sound; the chunks after it come out whole however they are cut.
TEST(CameraStream, HeaderAndChunksAreAnAviStreamTheSdkReads) {
    vdplay::CameraSound mulaw;
    mulaw.formatTag = vdplay::kWaveMulaw;
    vdplay::CameraSound alaw;
    alaw.formatTag = vdplay::kWaveAlaw;
    alaw.channels = 2;
    alaw.samplesPerSecond = 16000;
    vdplay::CameraSound aac;
    aac.formatTag = vdplay::kWaveRawAac;
    aac.samplesPerSecond = 48000;
    aac.bitsPerSample = 0;
    aac.extra = {0x11, 0x90};
    struct Case {
        const char* name;
        vdplay::CameraVideo video;
        const vdplay::CameraSound* sound;
        uint32_t fourCc;
    } cases[] = {
        {"H.264, no sound", {vdplay::CameraCodec::kH264, 352, 288, 25, 1}, nullptr, 0x34363248},
        {"H.265, mu-law", {vdplay::CameraCodec::kH265, 1920, 1080, 30000, 1001}, &mulaw, 0x43564548},
        {"Motion-JPEG, A-law stereo", {vdplay::CameraCodec::kMjpeg, 640, 480, 10, 1}, &alaw, 0x47504A4D},
        {"H.264, AAC", {vdplay::CameraCodec::kH264, 1280, 720, 25, 1}, &aac, 0x34363248},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes header = vdplay::CameraStreamHeader(c.video, c.sound);
        demoplay::AviHeaders h;
        size_t moviEnd = 0;
        ASSERT_EQ(demoplay::ParseStreamHeader(header.data(), header.size(), &h, &moviEnd), demoplay::AviStatus::kOk);
        EXPECT_EQ(moviEnd, header.size());
        EXPECT_EQ(h.video.compression, c.fourCc);
        EXPECT_EQ(h.video.width, c.video.width);
        EXPECT_EQ(h.video.height, c.video.height);
        EXPECT_EQ(h.video.rate, c.video.rate);
        EXPECT_EQ(h.video.scale, c.video.scale);
        ASSERT_EQ(h.hasAudio, c.sound != nullptr);
        if (c.sound) {
            EXPECT_EQ(h.audio.formatTag, c.sound->formatTag);
            EXPECT_EQ(h.audio.channels, c.sound->channels);
            EXPECT_EQ(h.audio.samplesPerSec, uint32_t(c.sound->samplesPerSecond));
            EXPECT_EQ(h.audio.bitsPerSample, c.sound->bitsPerSample);
            // The AAC configuration follows the 18 bytes of the format.
            ASSERT_EQ(h.audio.strf.size(), 18 + c.sound->extra.size());
            EXPECT_EQ(Bytes(h.audio.strf.begin() + 18, h.audio.strf.end()), c.sound->extra);
        }
        // A picture of odd size, sound, a picture: whole, in order, however cut.
        const Bytes picture = Join({Unit({0x65, 0x88}, 41)}), block(160, 0xFF);
        Bytes body;
        vdplay::AppendCameraChunk(&body, true, picture.data(), picture.size());
        if (c.sound) vdplay::AppendCameraChunk(&body, false, block.data(), block.size());
        vdplay::AppendCameraChunk(&body, true, picture.data(), picture.size());
        for (size_t piece : {size_t(1), size_t(7), body.size()}) {
            demoplay::StreamAssembler assembler(h, 1 << 20);
            std::vector<demoplay::StreamChunk> chunks;
            for (size_t at = 0; at < body.size(); at += piece)
                assembler.Feed(&body[at], std::min(piece, body.size() - at), &chunks);
            ASSERT_EQ(chunks.size(), c.sound ? 3u : 2u) << "pieces of " << piece;
            EXPECT_EQ(chunks[0].cls, demoplay::ChunkClass::kVideo);
            EXPECT_EQ(Bytes(chunks[0].data.begin(), chunks[0].data.begin() + ptrdiff_t(picture.size())), picture);
            if (c.sound) {
                EXPECT_EQ(chunks[1].cls, demoplay::ChunkClass::kAudio);
                EXPECT_EQ(Bytes(chunks[1].data.begin(), chunks[1].data.begin() + ptrdiff_t(block.size())), block);
            }
            EXPECT_EQ(chunks.back().cls, demoplay::ChunkClass::kVideo);
        }
    }
}

// A slice's first bytes: its header byte, then first_mb_in_slice 0, the
// slice type (P or I), parameter set 0 and a 4-bit frame number.
Bytes Slice(uint8_t header, bool intra, int frameNum) {
    std::string bits = std::string("1") + (intra ? "011" : "1") + "1";
    for (int b = 3; b >= 0; --b) bits += char('0' + ((frameNum >> b) & 1));
    bits += "1";
    while (bits.size() % 8) bits += '0';
    Bytes b = {0, 0, 0, 1, header};
    for (size_t i = 0; i < bits.size(); i += 8) b.push_back(uint8_t(std::stoi(bits.substr(i, 8), nullptr, 2)));
    for (int i = 0; i < 20; ++i) b.push_back(uint8_t(0x55 + i % 7));
    return b;
}

// A reference picture lost on the way shows as a gap in the frame numbers;
// the pictures after it are not the camera's up to the next key picture.
TEST(CameraStream, FrameNumberGapsHoldPicturesToTheNextKeyPicture) {
    const Bytes sps = Hex("0000016742c00dd90141fb011000000300100000030320f142a48000");  // 4-bit frame numbers
    struct Picture {
        uint8_t header;  // 0x65 key, 0x41 reference, 0x01 not a reference
        int frameNum;
        bool continues;
    };
    struct Case {
        const char* name;
        std::vector<Picture> pictures;
    } cases[] = {
        {"every picture in turn", {{0x65, 0, true}, {0x41, 1, true}, {0x41, 2, true}, {0x41, 3, true}}},
        {"a picture lost",
         {{0x65, 0, true}, {0x41, 1, true}, {0x41, 3, false}, {0x41, 4, false}, {0x65, 0, true}, {0x41, 1, true}}},
        {"pictures that are no reference",
         {{0x65, 0, true}, {0x41, 1, true}, {0x01, 2, true}, {0x01, 2, true}, {0x41, 2, true}, {0x41, 3, true}}},
        {"the numbers wrap around",
         [] {
             std::vector<Picture> p = {{0x65, 0, true}};
             for (int i = 1; i <= 17; ++i) p.push_back({0x41, i % 16, true});
             return p;
         }()},
        {"before the first key picture", {{0x41, 5, false}, {0x41, 6, false}, {0x65, 0, true}, {0x41, 1, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vdplay::FrameNumberCheck check;
        check.Continues(sps.data(), sps.size());  // the session description's parameter sets
        for (size_t i = 0; i < c.pictures.size(); ++i) {
            const Picture& p = c.pictures[i];
            const Bytes picture = Join({Unit({0x09, 0xF0}, 0), Slice(p.header, p.header == 0x65, p.frameNum)});
            EXPECT_EQ(check.Continues(picture.data(), picture.size()), p.continues) << "picture " << i;
        }
    }
    // Without the parameter sets the frame numbers cannot be read: the
    // pictures go on, gaps or not, until a parameter set comes.
    vdplay::FrameNumberCheck blind;
    for (int n : {0, 1, 3, 9}) {
        const Bytes picture = Slice(n == 0 ? 0x65 : 0x41, n == 0, n);
        EXPECT_TRUE(blind.Continues(picture.data(), picture.size())) << n;
    }
    const Bytes withSps = Join({sps, Slice(0x65, true, 0)}), gap = Slice(0x41, false, 5);
    EXPECT_TRUE(blind.Continues(withSps.data(), withSps.size()));
    EXPECT_FALSE(blind.Continues(gap.data(), gap.size()));
}

}  // namespace
