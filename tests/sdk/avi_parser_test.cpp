#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "core/avi_parser.h"
#include "core/frame_layout.h"
#include "sdk/sample_avi.h"

using namespace demoplay;

namespace {

AviStatus Parse(const std::vector<uint8_t>& bytes, AviFileInfo* info) {
    MemorySource src(bytes.data(), bytes.size());
    return ParseAviFile(src, info);
}

std::vector<uint8_t> ChunkBytes(const std::vector<uint8_t>& file, const ChunkRef& r) {
    return std::vector<uint8_t>(file.begin() + r.offset, file.begin() + r.offset + r.size);
}

struct LayoutCase {
    vdsample::Video video;
    vdsample::Index index;
    bool recLists;
    int expectedKind;
    AviFileInfo::IndexSource expectedSource;
};

class ParserLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ParserLayouts, FindsEveryPictureAndSoundChunk) {
    const LayoutCase& c = GetParam();
    vdsample::Recipe recipe;
    recipe.video = c.video;
    recipe.index = c.index;
    recipe.recLists = c.recLists;
    recipe.frames = 9;
    recipe.framesPerRiff = 4;
    recipe.audioRate = 11025;
    recipe.audioChannels = 2;
    vdsample::File file = vdsample::Make(recipe);

    AviFileInfo info;
    ASSERT_EQ(Parse(file.bytes, &info), AviStatus::kOk);
    EXPECT_EQ(info.indexSource, c.expectedSource);
    EXPECT_EQ(info.openDml, c.index == vdsample::Index::kOpenDml);
    if (c.index == vdsample::Index::kOpenDml) {
        EXPECT_EQ(info.movi.size(), 3u);  // 4 + 4 + 1 pictures
    }
    ASSERT_EQ(info.videoChunks.size(), 9u);
    ASSERT_EQ(info.audioChunks.size(), 9u);
    for (int n = 0; n < 9; ++n) {
        if (c.video != vdsample::Video::kMjpeg) {
            EXPECT_EQ(ChunkBytes(file.bytes, info.videoChunks[n]), vdsample::StoredPicture(recipe, n))
                << "picture " << n;
        }
        EXPECT_EQ(info.audioChunks[n].size, uint32_t(vdsample::SamplesForPicture(recipe, n) * 4)) << "sound " << n;
    }
    const AviHeaders& h = info.headers;
    EXPECT_EQ(h.FramesPerSecond(), 25);
    EXPECT_EQ(h.FrameMicroseconds(), 40000u);
    ASSERT_TRUE(h.hasAudio);
    EXPECT_TRUE(h.audio.pcm);
    EXPECT_EQ(h.audio.channels, 2);
    EXPECT_EQ(h.audio.samplesPerSec, 11025u);
    VideoLayout layout;
    ASSERT_EQ(DescribeVideo(h.video, &layout), LayoutStatus::kOk);
    EXPECT_EQ(layout.kind, c.expectedKind);
    EXPECT_EQ(layout.width, 32);
    EXPECT_EQ(layout.height, 16);
    EXPECT_EQ(layout.mjpeg, c.video == vdsample::Video::kMjpeg);
}

using S = AviFileInfo::IndexSource;
INSTANTIATE_TEST_SUITE_P(
    All, ParserLayouts,
    ::testing::Values(LayoutCase{vdsample::Video::kI420, vdsample::Index::kIdx1, false, kKindI420, S::kIdx1},
                      LayoutCase{vdsample::Video::kYv12, vdsample::Index::kIdx1Absolute, false, kKindYv12, S::kIdx1},
                      LayoutCase{vdsample::Video::kYuy2, vdsample::Index::kNone, false, kKindYuy2, S::kScan},
                      LayoutCase{vdsample::Video::kUyvy, vdsample::Index::kNone, true, kKindUyvy, S::kScan},
                      LayoutCase{vdsample::Video::kRgb32, vdsample::Index::kIdx1, true, kKindRgb32, S::kIdx1},
                      LayoutCase{vdsample::Video::kRgb32TopDown, vdsample::Index::kOpenDml, false, kKindRgb32,
                                 S::kSuperIndex},
                      LayoutCase{vdsample::Video::kMjpeg, vdsample::Index::kOpenDml, true, kKindRgb32, S::kSuperIndex},
                      LayoutCase{vdsample::Video::kMjpeg, vdsample::Index::kIdx1, false, kKindRgb32, S::kIdx1},
                      LayoutCase{vdsample::Video::kRgb24, vdsample::Index::kNone, true, kKindRgb32, S::kScan}),
    [](const ::testing::TestParamInfo<LayoutCase>& i) {
        return std::string(vdsample::VideoName(i.param.video)) + "_" + vdsample::IndexName(i.param.index) +
               (i.param.recLists ? "_rec" : "");
    });

TEST(AviParser, OpenDmlWithoutSuperIndexScansEveryRiff) {
    vdsample::Recipe recipe;
    recipe.index = vdsample::Index::kOpenDml;
    recipe.frames = 10;
    vdsample::File file = vdsample::Make(recipe);
    // Blank the super-index's type so that it no longer counts as one: the
    // first RIFF's idx1 covers only 4 pictures, the scan finds all 10.
    size_t at = std::string(file.bytes.begin(), file.bytes.end()).find("indx");
    ASSERT_NE(at, std::string::npos);
    file.bytes[at + 8 + 3] = 0x7F;
    AviFileInfo info;
    ASSERT_EQ(Parse(file.bytes, &info), AviStatus::kOk);
    EXPECT_EQ(info.indexSource, S::kScan);
    ASSERT_EQ(info.videoChunks.size(), 10u);
    EXPECT_EQ(ChunkBytes(file.bytes, info.videoChunks[9]), vdsample::StoredPicture(recipe, 9));
}

TEST(AviParser, RejectsWhatIsNotAnAviFile) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        AviStatus expected;
    };
    vdsample::Recipe recipe;
    std::vector<uint8_t> good = vdsample::Make(recipe).bytes;
    std::vector<uint8_t> wave = good;
    wave.at(8) = 'W', wave.at(9) = 'A', wave.at(10) = 'V', wave.at(11) = 'E';
    std::vector<uint8_t> noStreams = good;
    size_t strl = std::string(good.begin(), good.end()).find("strl");
    std::memcpy(&noStreams[strl], "xxxx", 4);  // the stream list is no longer one
    std::vector<uint8_t> audioOnly = good;
    std::memcpy(&audioOnly[std::string(good.begin(), good.end()).find("vids")], "auds", 4);
    std::vector<uint8_t> hugeHeader = good;
    size_t hdrl = std::string(good.begin(), good.end()).find("hdrl");
    hugeHeader[hdrl - 1] = 0x7F;  // header list size near 2 GiB
    const Case cases[] = {
        {"empty", {}, AviStatus::kNotAvi},
        {"short", {'R', 'I', 'F', 'F'}, AviStatus::kNotAvi},
        {"wave", wave, AviStatus::kNotAvi},
        {"headers cut", std::vector<uint8_t>(good.begin(), good.begin() + 100), AviStatus::kTruncated},
        {"no stream list", noStreams, AviStatus::kNoVideo},
        {"sound only", audioOnly, AviStatus::kNoVideo},
        {"huge header list", hugeHeader, AviStatus::kCorrupt},
    };
    for (const Case& c : cases) {
        AviFileInfo info;
        EXPECT_EQ(Parse(c.bytes, &info), c.expected) << c.name;
    }
}

// Every prefix of a file parses without reading outside it; the chunks found
// are whole chunks of the original.
TEST(AviParser, TruncatedFilesKeepOnlyWholeChunks) {
    for (vdsample::Index index : {vdsample::Index::kIdx1, vdsample::Index::kNone, vdsample::Index::kOpenDml}) {
        vdsample::Recipe recipe;
        recipe.index = index;
        recipe.frames = 6;
        recipe.framesPerRiff = 2;
        recipe.audioRate = 8000;
        std::vector<uint8_t> full = vdsample::Make(recipe).bytes;
        for (size_t cut = 0; cut < full.size(); cut += 13) {
            std::vector<uint8_t> part(full.begin(), full.begin() + cut);
            AviFileInfo info;
            if (Parse(part, &info) != AviStatus::kOk) continue;
            for (size_t n = 0; n < info.videoChunks.size(); ++n) {
                const ChunkRef& r = info.videoChunks[n];
                ASSERT_LE(r.offset + r.size, cut);
                EXPECT_EQ(ChunkBytes(part, r), vdsample::StoredPicture(recipe, int(n))) << "cut " << cut;
            }
        }
    }
}

// Counts that claim far more than the file holds are bounded by the file.
TEST(AviParser, HostileCountsAreBoundedByTheFile) {
    vdsample::Recipe recipe;
    recipe.index = vdsample::Index::kOpenDml;
    recipe.frames = 5;
    vdsample::File f = vdsample::Make(recipe);
    std::string s(f.bytes.begin(), f.bytes.end());

    std::vector<uint8_t> superCount = f.bytes;  // nEntriesInUse of the super-index
    size_t indx = s.find("indx");
    superCount[indx + 12] = 0xFF, superCount[indx + 13] = 0xFF, superCount[indx + 14] = 0xFF;
    std::vector<uint8_t> stdCount = f.bytes;  // nEntriesInUse of a standard index
    size_t ix = s.find("ix00");
    std::memset(&stdCount[ix + 12], 0xFF, 4);
    std::vector<uint8_t> stdSize = f.bytes;  // size of the standard index chunk
    std::memset(&stdSize[ix + 4], 0xFF, 4);
    std::vector<uint8_t> badOffset = f.bytes;  // base offset past the end
    std::memset(&badOffset[ix + 20], 0x7F, 8);

    for (const auto& bytes : {superCount, stdCount, stdSize, badOffset}) {
        AviFileInfo info;
        ASSERT_EQ(Parse(bytes, &info), AviStatus::kOk);
        EXPECT_LE(info.videoChunks.size(), 5u);
        for (const ChunkRef& r : info.videoChunks) EXPECT_LE(r.offset + r.size, bytes.size());
    }

    vdsample::Recipe plain;
    vdsample::File p = vdsample::Make(plain);
    std::string ps(p.bytes.begin(), p.bytes.end());
    std::vector<uint8_t> idxSize = p.bytes;
    size_t idx1 = ps.rfind("idx1");
    std::memset(&idxSize[idx1 + 4], 0xFF, 4);
    AviFileInfo info;
    ASSERT_EQ(Parse(idxSize, &info), AviStatus::kOk);
    EXPECT_EQ(info.videoChunks.size(), size_t(plain.frames));
}

// Crafted super-indexes cost no more than the file's size: one standard
// index named 60,000 times is read once, and 60,000 distinct but
// overlapping ones (every 8 bytes of one region reads as an index header)
// stop when the entries examined reach the size of the file / 8.
TEST(AviParser, SuperIndexWorkIsBoundedByTheFileSize) {
    std::vector<uint8_t> oneIndex = vdsample::SuperIndexOnOneIndex(60000, 400000);

    std::vector<uint8_t> overlapping = vdsample::SuperIndexOnOneIndex(60000, 131072);
    std::string text(overlapping.begin(), overlapping.end());
    const size_t superAt = text.find("indx") + 8 + 24;
    const size_t ixAt = text.rfind("ix00");
    const size_t region = overlapping.size() - ixAt - 64;
    for (size_t at = ixAt; at + 8 <= overlapping.size(); at += 8) {
        const uint8_t word[8] = {2, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0x00};  // a header every 8 bytes
        std::memcpy(&overlapping[at], word, 8);
    }
    for (size_t i = 0; i < 60000; ++i) PutLe64(&overlapping[superAt + 16 * i], ixAt + 8 * (i % (region / 8)));

    struct Case {
        const char* name;
        const std::vector<uint8_t>& bytes;
        uint64_t examined;  // exactly, where known
    };
    const Case cases[] = {
        {"one index named 60000 times", oneIndex, 60000 + 400000},
        {"60000 overlapping indexes", overlapping, overlapping.size() / 8},
    };
    for (const Case& c : cases) {
        AviFileInfo info;
        ASSERT_EQ(Parse(c.bytes, &info), AviStatus::kOk) << c.name;
        EXPECT_EQ(info.headers.video.superIndex.size(), 60000u) << c.name;
        EXPECT_EQ(info.indexEntriesExamined, c.examined) << c.name;
        EXPECT_LE(info.indexEntriesExamined, c.bytes.size() / 8) << c.name;
        // No entry points into the file: the one picture is found by a scan.
        EXPECT_EQ(info.indexSource, S::kScan) << c.name;
        ASSERT_EQ(info.videoChunks.size(), 1u) << c.name;
    }
}

// Ordinary files, with every kind of index, examine each entry once.
TEST(AviParser, OrdinaryIndexesAreReadInFull) {
    for (vdsample::Index index : {vdsample::Index::kIdx1, vdsample::Index::kOpenDml}) {
        vdsample::Recipe recipe;
        recipe.index = index;
        recipe.frames = 500;
        recipe.framesPerRiff = 100;
        recipe.width = 4;
        recipe.height = 2;
        recipe.audioRate = 8000;
        std::vector<uint8_t> bytes = vdsample::Make(recipe).bytes;
        AviFileInfo info;
        ASSERT_EQ(Parse(bytes, &info), AviStatus::kOk);
        ASSERT_EQ(info.videoChunks.size(), 500u) << vdsample::IndexName(index);
        ASSERT_EQ(info.audioChunks.size(), 500u) << vdsample::IndexName(index);
        // Super-index: 5 entries per stream, then every standard index entry.
        EXPECT_EQ(info.indexEntriesExamined, index == vdsample::Index::kIdx1 ? 1000u : 1010u);
    }
    EXPECT_EQ(vdsample::PlainFileOfSize(100001).size(), 100001u);
    AviFileInfo plain;
    ASSERT_EQ(Parse(vdsample::PlainFileOfSize(100000), &plain), AviStatus::kOk);
    EXPECT_GT(plain.videoChunks.size(), 2000u);
    EXPECT_EQ(plain.indexSource, S::kSuperIndex);
}

TEST(AviParser, RandomByteDamageNeverReadsOutside) {
    vdsample::Recipe recipe;
    recipe.index = vdsample::Index::kOpenDml;
    recipe.frames = 5;
    recipe.audioRate = 8000;
    std::vector<uint8_t> good = vdsample::Make(recipe).bytes;
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bad = good;
        for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = uint8_t(rng());
        AviFileInfo info;
        if (Parse(bad, &info) != AviStatus::kOk) continue;
        for (const ChunkRef& r : info.videoChunks) ASSERT_LE(r.offset + r.size, bad.size());
        for (const ChunkRef& r : info.audioChunks) ASSERT_LE(r.offset + r.size, bad.size());
    }
}

TEST(AviHeaders, FrameDurationFromRateScaleOrMainHeader) {
    struct Case {
        uint32_t rate, scale, microSecPerFrame;
        uint64_t expected;
        int fps;
    };
    const Case cases[] = {
        {25, 1, 0, 40000, 25},          {30000, 1001, 0, 33366, 30},
        {0, 1, 66666, 66666, 15},        // no rate: the main header
        {1, 1000000, 40000, 40000, 25},  // one picture in 11 days: damage
        {1000000, 1, 0, 40000, 25},      // a million per second: damage
        {0, 0, 0, 40000, 25},            // nothing given
        {1, 5, 0, 5000000, 0},           // one picture in 5 s
    };
    for (const Case& c : cases) {
        AviHeaders h;
        h.video.rate = c.rate;
        h.video.scale = c.scale;
        h.microSecPerFrame = c.microSecPerFrame;
        EXPECT_EQ(h.FrameMicroseconds(), c.expected) << c.rate << "/" << c.scale;
        EXPECT_EQ(h.FramesPerSecond(), c.fps) << c.rate << "/" << c.scale;
    }
}

// Picture times come from the video stream's rate and scale exactly: 120
// pictures at 30 per second last 4 s, not the 3.99996 s of the main
// header's rounded 33333 microseconds.
TEST(AviHeaders, PictureTimesAreExactForRateAndScale) {
    struct Case {
        const char* name;
        uint32_t rate, scale, microSecPerFrame;
        uint64_t picture, stampMs;    // PictureStampMs(picture) == stampMs
        uint64_t atMs, firstPicture;  // FirstPictureAtOrAfter(atMs) == firstPicture
        int fps;
    };
    const Case cases[] = {
        {"30/1, 120 pictures", 30, 1, 33333, 120, 4000, 1000, 30, 30},
        {"30/1, the last picture", 30, 1, 33333, 119, 3966, 1001, 31, 30},
        {"NTSC", 30000, 1001, 33366, 30000, 1001000, 1001, 30, 30},
        {"main header only", 0, 0, 33333, 120, 3999, 4000, 121, 30},
        {"nothing given", 0, 0, 0, 50, 2000, 2000, 50, 25},
        {"0.2 per second", 1, 5, 0, 3, 15000, 15001, 4, 0},
        // Beyond a 64-bit product: picture 2^31 of 2999999999/99999999.
        {"large terms", 2999999999u, 99999999u, 0, uint64_t(1) << 31, 71582787574u, 5000000, 150001, 30},
    };
    for (const Case& c : cases) {
        AviHeaders h;
        h.video.rate = c.rate;
        h.video.scale = c.scale;
        h.microSecPerFrame = c.microSecPerFrame;
        EXPECT_EQ(h.PictureStampMs(c.picture), c.stampMs) << c.name;
        EXPECT_EQ(h.FirstPictureAtOrAfter(c.atMs), c.firstPicture) << c.name;
        EXPECT_EQ(h.FramesPerSecond(), c.fps) << c.name;
        // The first picture at or after a picture's own time is that picture.
        EXPECT_EQ(h.FirstPictureAtOrAfter(h.PictureStampMs(c.firstPicture)), c.firstPicture) << c.name;
    }
    AviHeaders h;
    h.video.rate = 30;
    h.video.scale = 1;
    EXPECT_EQ(h.PictureStampMs(UINT64_MAX), UINT64_MAX);                  // saturates
    EXPECT_EQ(h.PictureStampMs(uint64_t(3) << 56), uint64_t(100) << 56);  // through 128 bits
}

TEST(FrameLayout, KindsSizesAndRefusals) {
    struct Case {
        uint32_t compression;
        uint16_t bits;
        int32_t width, height;
        LayoutStatus status;
        int kind;
        size_t frameBytes;
    };
    const Case cases[] = {
        {FourCc('I', '4', '2', '0'), 12, 352, 288, LayoutStatus::kOk, kKindI420, 352 * 288 * 3 / 2},
        {FourCc('I', 'Y', 'U', 'V'), 12, 16, 8, LayoutStatus::kOk, kKindI420, 16 * 8 * 3 / 2},
        {FourCc('Y', 'V', '1', '2'), 12, 16, 8, LayoutStatus::kOk, kKindYv12, 16 * 8 * 3 / 2},
        {FourCc('Y', 'U', 'Y', '2'), 16, 16, 8, LayoutStatus::kOk, kKindYuy2, 16 * 8 * 2},
        {FourCc('U', 'Y', 'V', 'Y'), 16, 16, 8, LayoutStatus::kOk, kKindUyvy, 16 * 8 * 2},
        {0, 32, 15, -7, LayoutStatus::kOk, kKindRgb32, 15 * 7 * 4},
        {0, 24, 15, 7, LayoutStatus::kOk, kKindRgb32, 48 * 7},  // rows of 45 bytes padded to 48
        {FourCc('M', 'J', 'P', 'G'), 24, 64, 48, LayoutStatus::kOk, kKindRgb32, 0},
        {0, 16, 16, 8, LayoutStatus::kUnsupportedCodec, 0, 0},
        {FourCc('H', '2', '6', '4'), 24, 16, 8, LayoutStatus::kOk, kKindI420, 0},  // decoded, of no stored size
        {FourCc('H', '2', '6', '3'), 24, 16, 8, LayoutStatus::kUnsupportedCodec, 0, 0},
        {FourCc('I', '4', '2', '0'), 12, 15, 8, LayoutStatus::kBadSize, 0, 0},
        {FourCc('Y', 'U', 'Y', '2'), 16, 0, 8, LayoutStatus::kBadSize, 0, 0},
        {0, 32, 100000, 10, LayoutStatus::kBadSize, 0, 0},
        {0, 32, 16, int32_t(0x80000000), LayoutStatus::kBadSize, 0, 0},
    };
    for (const Case& c : cases) {
        VideoStreamInfo v;
        v.compression = c.compression;
        v.bitCount = c.bits;
        v.width = c.width;
        v.height = c.height;
        VideoLayout layout;
        EXPECT_EQ(DescribeVideo(v, &layout), c.status) << c.width << "x" << c.height;
        if (c.status != LayoutStatus::kOk) continue;
        EXPECT_EQ(layout.kind, c.kind);
        EXPECT_EQ(layout.frameBytes, c.frameBytes);
        EXPECT_EQ(layout.topDown, c.height < 0);
    }
}

}  // namespace
