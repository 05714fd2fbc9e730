// How vdplay walks a recording to feed it as a live stream.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/byte_io.h"
#include "player/avi_stream_plan.h"
#include "sample/sample_recording.h"

namespace {

std::vector<uint8_t> SampleBytes(int fps, bool sound, vdsample::PictureFormat format = vdsample::PictureFormat::kYv12) {
    vdsample::RecordingPlan plan;
    plan.width = 64;
    plan.height = 48;
    plan.fps = fps;
    plan.seconds = 1.0;
    plan.sound = sound;
    plan.format = format;
    demoplay::MemorySink sink;
    EXPECT_TRUE(vdsample::WriteAvi(&sink, plan));
    return sink.bytes;
}

size_t FindMovi(const std::vector<uint8_t>& b) {
    for (size_t i = 0; i + 4 <= b.size(); ++i)
        if (std::memcmp(&b[i], "movi", 4) == 0) return i + 4;
    return 0;
}

struct Walk {
    int pictures = 0;
    int others = 0;
    int lists = 0;
    uint64_t end = 0;
};

Walk WalkFrom(const std::vector<uint8_t>& b, uint64_t pos) {
    Walk w;
    while (pos < b.size()) {
        const size_t have = std::min<size_t>(12, b.size() - size_t(pos));
        vdplay::Piece p = vdplay::NextPiece(&b[size_t(pos)], have, b.size() - pos);
        EXPECT_GT(p.length, 0u);
        if (p.length == 0) break;
        if (p.kind == vdplay::PieceKind::kPicture)
            ++w.pictures;
        else if (p.kind == vdplay::PieceKind::kListHeader)
            ++w.lists;
        else
            ++w.others;
        pos += p.length;
    }
    w.end = pos;
    return w;
}

TEST(StreamPlan, TimingComesFromTheVideoStreamHeader) {
    for (int fps : {25, 30, 12}) {
        const std::vector<uint8_t> b = SampleBytes(fps, true);
        vdplay::StreamTiming t;
        ASSERT_TRUE(vdplay::ReadStreamTiming(b.data(), b.size(), &t)) << fps;
        EXPECT_EQ(t.moviData, FindMovi(b)) << fps;
        EXPECT_EQ(t.microsPerPicture, uint32_t(1000000 / fps)) << fps;
        EXPECT_EQ(t.width, 64u);
        EXPECT_EQ(t.height, 48u);
        // The header alone, up to the picture data, is enough.
        ASSERT_TRUE(vdplay::ReadStreamTiming(b.data(), size_t(t.moviData), &t));
    }
}

TEST(StreamPlan, RefusesWhatIsNotAnAviWithPictureData) {
    const std::vector<uint8_t> b = SampleBytes(25, false);
    vdplay::StreamTiming t;
    const size_t movi = FindMovi(b);
    EXPECT_FALSE(vdplay::ReadStreamTiming(b.data(), movi - 5, &t));  // cut inside the 'movi' list header
    EXPECT_FALSE(vdplay::ReadStreamTiming(b.data(), 11, &t));
    std::vector<uint8_t> wave = b;
    std::memcpy(&wave[8], "WAVE", 4);
    EXPECT_FALSE(vdplay::ReadStreamTiming(wave.data(), wave.size(), &t));
    std::vector<uint8_t> damaged(b.begin(), b.begin() + long(movi));
    demoplay::PutLe32(&damaged[16], 0xFFFFFFF0u);  // the header list claims more than there is
    EXPECT_FALSE(vdplay::ReadStreamTiming(damaged.data(), damaged.size(), &t));
}

TEST(StreamPlan, WalkFindsEveryPictureAndEndsAtTheFileEnd) {
    for (bool sound : {false, true}) {
        const std::vector<uint8_t> b = SampleBytes(25, sound, vdsample::PictureFormat::kMjpeg);
        vdplay::StreamTiming t;
        ASSERT_TRUE(vdplay::ReadStreamTiming(b.data(), b.size(), &t));
        Walk w = WalkFrom(b, t.moviData);
        EXPECT_EQ(w.pictures, 25) << sound;
        EXPECT_EQ(w.end, b.size());
        EXPECT_GE(w.others, sound ? 26 : 1);  // sound chunks and the indexes
    }
}

TEST(StreamPlan, DamagedOrShortDataStillEnds) {
    struct Case {
        std::vector<uint8_t> head;
        uint64_t remaining;
        vdplay::PieceKind kind;
        uint64_t length;
    } cases[] = {
        {{'0', '0', 'd', 'c', 16, 0, 0, 0}, 100, vdplay::PieceKind::kPicture, 24},
        {{'0', '1', 'd', 'b', 3, 0, 0, 0}, 100, vdplay::PieceKind::kPicture, 12},  // odd size: one pad byte
        {{'0', '1', 'w', 'b', 4, 0, 0, 0}, 100, vdplay::PieceKind::kOther, 12},
        {{'0', '0', 'd', 'c', 0xFF, 0xFF, 0xFF, 0xFF}, 50, vdplay::PieceKind::kPicture, 50},  // size past the end
        {{'L', 'I', 'S', 'T', 0, 0, 1, 0, 'r', 'e', 'c', ' '}, 100, vdplay::PieceKind::kListHeader, 12},
        {{'x', 'x', 'd', 'c', 0, 0, 0, 0}, 100, vdplay::PieceKind::kOther, 8},
        {{'0', '0', 'd'}, 3, vdplay::PieceKind::kOther, 3},  // a tail shorter than a chunk header
    };
    for (const Case& c : cases) {
        vdplay::Piece p = vdplay::NextPiece(c.head.data(), c.head.size(), c.remaining);
        EXPECT_EQ(int(p.kind), int(c.kind)) << std::string(c.head.begin(), c.head.begin() + 4);
        EXPECT_EQ(p.length, c.length) << std::string(c.head.begin(), c.head.begin() + 3);
    }
    EXPECT_EQ(vdplay::NextPiece(nullptr, 0, 0).length, 0u);
}

}  // namespace
