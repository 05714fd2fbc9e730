// Builds an AVI file from a short blueprint, so that a fuzzer mutating a few
// dozen bytes reaches the large and deep files that raw byte mutation never
// grows to: OpenDML super-indexes of tens of thousands of entries, standard
// indexes of hundreds of thousands, many streams, long 'idx1' tables, many
// 'AVIX' extensions, with the indexes pointing where they should or, by
// choice, all at one index, at overlapping ones or past the end.
//
// Any byte string is a blueprint (missing bytes read as zero); the file is
// at most kMaxBlueprintBytes long. The same blueprint always gives the same
// file.
#ifndef VD_FUZZ_DEMOPLAY_AVI_BLUEPRINT_H
#define VD_FUZZ_DEMOPLAY_AVI_BLUEPRINT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace demoplay_test {

constexpr size_t kMaxBlueprintBytes = size_t(8) << 20;

// How the entries of a super-index are aimed.
enum class SuperAim : uint8_t {
    kOwnIndexes = 0,  // the stream's standard indexes in turn (again from the first when there are more entries)
    kOneIndex,        // all at the stream's first standard index
    kOverlapping,     // 8 bytes apart inside the first standard index
    kScattered,       // anywhere in the file
    kPastTheEnd,
    kCount
};

// How the entries of standard indexes and 'idx1' are aimed.
enum class EntryAim : uint8_t {
    kOwnChunks = 0,  // the stream's chunks in turn
    kOneChunk,       // all at the stream's first chunk
    kPastTheEnd,
    kScattered,
    kCount
};

struct StreamPlan {
    uint8_t kind = 0;   // 0 and 3 video, 1 sound, 2 text
    uint8_t codec = 0;  // an index into a table of codecs (video) or formats (sound)
    uint32_t rate = 25;
    uint32_t scale = 1;
    uint8_t channels = 1;
    uint32_t samplesPerSec = 16000;
    uint8_t bits = 1;           // an index into 8, 16, 24, 32, 64, 12
    uint16_t superEntries = 0;  // 0: no super-index
    SuperAim superAim = SuperAim::kOwnIndexes;
};

struct Blueprint {
    enum Flag : uint8_t {
        kIdx1 = 1,
        kIdx1Absolute = 2,
        kRecLists = 4,
        kInterrupted = 8,  // sizes of the last RIFF and 'movi' list left 0
        kJunk = 16,
        kCut = 32,
        kOddSizes = 64,
    };
    uint8_t flags = kIdx1;
    uint32_t microSecPerFrame = 40000;
    uint16_t width = 32, height = 16;
    uint8_t streamCode = 0;                         // 1 + code % 8 streams; codes from 0xF0 give 90 to 105
    std::vector<StreamPlan> streams{StreamPlan{}};  // the first 8; later ones repeat the last
    uint32_t chunks = 8;                            // data chunks, spread over the streams
    uint16_t chunkBytes = 64;                       // every data chunk's size, give or take jitter
    uint8_t jitter = 0;
    uint8_t riffs = 0;           // 1 + riffs % 16 RIFFs: the first and its 'AVIX' extensions
    uint32_t indexEntries = 0;   // per standard index; 0: the RIFF's chunks shared between its indexes
    uint8_t indexesPerRiff = 0;  // 1 + this % 4 standard indexes per stream in each RIFF
    EntryAim indexAim = EntryAim::kOwnChunks;
    uint32_t idx1Entries = 0;  // 0: one per chunk of the first RIFF
    EntryAim idx1Aim = EntryAim::kOwnChunks;
    uint32_t cut = 0;   // with kCut: the file is cut to cut % size bytes
    uint32_t seed = 1;  // for scattered aims

    int StreamCount() const;
    // The bytes that read back as this blueprint.
    std::vector<uint8_t> Encode() const;
    static Blueprint Decode(const uint8_t* data, size_t size);
};

std::vector<uint8_t> BuildAvi(const Blueprint& blueprint);

}  // namespace demoplay_test

#endif  // VD_FUZZ_DEMOPLAY_AVI_BLUEPRINT_H
