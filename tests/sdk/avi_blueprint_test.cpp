// The structure-aware fuzzer's file builder: a few bytes of blueprint give
// the large and deep files it exists for, within its size limit.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "avi_blueprint.h"
#include "core/avi_parser.h"

using namespace demoplay_test;
using demoplay::AviFileInfo;
using demoplay::AviStatus;
using S = AviFileInfo::IndexSource;

namespace {

AviStatus Parse(const std::vector<uint8_t>& bytes, AviFileInfo* info) {
    demoplay::MemorySource src(bytes.data(), bytes.size());
    return demoplay::ParseAviFile(src, info);
}

StreamPlan Video(uint16_t superEntries = 0, SuperAim aim = SuperAim::kOwnIndexes) {
    StreamPlan p;
    p.kind = 0;
    p.codec = 0;  // I420
    p.superEntries = superEntries;
    p.superAim = aim;
    return p;
}

StreamPlan Sound(uint16_t superEntries = 0) {
    StreamPlan p = Video(superEntries);
    p.kind = 1;
    p.codec = 0;  // PCM
    p.bits = 1;   // 16
    return p;
}

struct Expected {
    AviStatus status;
    size_t minBytes, maxBytes;
    int streams;
    size_t superEntries;
    S source;
    size_t video, audio;
    uint64_t examined;  // exactly
};

struct Case {
    const char* name;
    Blueprint blueprint;
    Expected expected;
};

Blueprint Plain() { return Blueprint(); }

Blueprint SuperIndexOnOneIndex() {
    Blueprint b;
    b.flags = 0;
    b.streams = {Video(60000, SuperAim::kOneIndex)};
    b.chunks = 1;
    b.indexEntries = 400000;
    b.indexAim = EntryAim::kPastTheEnd;
    return b;
}

Blueprint DeepOpenDml() {
    Blueprint b;
    b.flags = Blueprint::kIdx1 | Blueprint::kRecLists;
    b.streamCode = 1;
    b.streams = {Video(64), Sound(64)};
    b.chunks = 20000;
    b.chunkBytes = 24;
    b.riffs = 15;          // 16 RIFFs
    b.indexesPerRiff = 1;  // two standard indexes per stream in each
    return b;
}

Blueprint LongIdx1() {
    Blueprint b;
    b.chunks = 1000;
    b.chunkBytes = 16;
    b.idx1Entries = 500000;  // the 1000 chunks over and over
    return b;
}

Blueprint Streams(uint8_t code) {
    Blueprint b;
    b.streamCode = code;
    b.streams = {Video(), Sound()};
    b.chunks = 200;
    return b;
}

Blueprint AsLargeAsAllowed() {
    Blueprint b;
    b.chunks = UINT32_MAX;
    b.chunkBytes = 65535;
    b.jitter = 255;
    b.idx1Entries = UINT32_MAX;
    return b;
}

// Asks for more than the file holds: super-indexes of 65535 entries in 8 of
// 99 streams (a header list the parser refuses as larger than 1 MB), and 16
// RIFFs of 4 standard indexes for each of them.
Blueprint MoreIndexesThanRoom() {
    Blueprint b = AsLargeAsAllowed();
    b.streamCode = 0xF9;  // 99 streams
    b.streams = {Video(65535), Sound(65535)};
    b.riffs = 15;
    b.indexEntries = UINT32_MAX;
    b.indexesPerRiff = 3;
    return b;
}

const Case kCases[] = {
    {"plain", Plain(), {AviStatus::kOk, 500, 4000, 1, 0, S::kIdx1, 8, 0, 8}},
    {"super-index on one index",
     SuperIndexOnOneIndex(),
     {AviStatus::kOk, 4000000, 4300000, 1, 60000, S::kScan, 1, 0, 460000}},
    {"deep OpenDML",
     DeepOpenDml(),
     {AviStatus::kOk, 600000, 2000000, 2, 64, S::kSuperIndex, 10000, 10000, 2 * 64 + 20000}},
    {"long idx1", LongIdx1(), {AviStatus::kOk, 8000000, 8100000, 1, 0, S::kIdx1, 500000, 0, 500000}},
    {"95 streams", Streams(0xF5), {AviStatus::kOk, 20000, 100000, 95, 0, S::kIdx1, 3, 3, 200}},
    {"105 streams", Streams(0xFF), {AviStatus::kCorrupt, 20000, 100000, 0, 0, S::kScan, 0, 0, 0}},
    {"as large as allowed",
     AsLargeAsAllowed(),
     {AviStatus::kOk, kMaxBlueprintBytes - 70000, kMaxBlueprintBytes, 1, 0, S::kIdx1, 0, 0, 0}},
    {"more indexes than room",
     MoreIndexesThanRoom(),
     {AviStatus::kCorrupt, kMaxBlueprintBytes - 70000, kMaxBlueprintBytes, 0, 0, S::kScan, 0, 0, 0}},
};

TEST(AviBlueprint, BuildsTheLargeAndDeepFilesItIsMadeFor) {
    for (const Case& c : kCases) {
        // Through its bytes, as the fuzzer gets it.
        const std::vector<uint8_t> code = c.blueprint.Encode();
        EXPECT_LT(code.size(), 200u) << c.name;
        const std::vector<uint8_t> file = BuildAvi(Blueprint::Decode(code.data(), code.size()));
        EXPECT_GE(file.size(), c.expected.minBytes) << c.name;
        EXPECT_LE(file.size(), c.expected.maxBytes) << c.name;
        AviFileInfo info;
        ASSERT_EQ(Parse(file, &info), c.expected.status) << c.name;
        if (c.expected.status != AviStatus::kOk) continue;
        EXPECT_EQ(info.headers.streamCount, c.expected.streams) << c.name;
        EXPECT_EQ(info.headers.video.superIndex.size(), c.expected.superEntries) << c.name;
        EXPECT_EQ(info.indexSource, c.expected.source) << c.name;
        EXPECT_LE(info.indexEntriesExamined, file.size() / 8) << c.name;
        if (c.expected.examined) {
            EXPECT_EQ(info.videoChunks.size(), c.expected.video) << c.name;
            EXPECT_EQ(info.audioChunks.size(), c.expected.audio) << c.name;
            EXPECT_EQ(info.indexEntriesExamined, c.expected.examined) << c.name;
        }
        for (const auto* refs : {&info.videoChunks, &info.audioChunks})
            for (const demoplay::ChunkRef& r : *refs) ASSERT_LE(r.offset + r.size, file.size()) << c.name;
    }
}

TEST(AviBlueprint, BytesReadBackAsTheSameBlueprintAndFile) {
    for (const Case& c : kCases) {
        const std::vector<uint8_t> code = c.blueprint.Encode();
        const Blueprint back = Blueprint::Decode(code.data(), code.size());
        EXPECT_EQ(back.Encode(), code) << c.name;
        if (code.size() < 100) {
            EXPECT_EQ(BuildAvi(back), BuildAvi(c.blueprint)) << c.name;
        }
    }
    // Missing bytes read as zero: the empty blueprint still makes a file.
    std::vector<uint8_t> empty = BuildAvi(Blueprint::Decode(nullptr, 0));
    AviFileInfo info;
    EXPECT_NE(Parse(empty, &info), AviStatus::kNotAvi);
}

// Whatever the bytes, the file stays within the limit and its parse within
// the work the file's size allows.
TEST(AviBlueprint, AnyBytesGiveABoundedFile) {
    std::mt19937 rng(11);
    for (int round = 0; round < 12; ++round) {
        std::vector<uint8_t> code(size_t(rng() % 160));
        for (uint8_t& x : code) x = uint8_t(rng());
        const std::vector<uint8_t> file = BuildAvi(Blueprint::Decode(code.data(), code.size()));
        ASSERT_LE(file.size(), kMaxBlueprintBytes) << round;
        AviFileInfo info;
        Parse(file, &info);
        EXPECT_LE(info.indexEntriesExamined, file.size() / 8) << round;
    }
}

}  // namespace
