// Writes an AVI file from the chunks of a video stream and an optional audio
// stream, keeping their original formats. Files of any length: the first RIFF
// 'AVI ' carries an 'idx1' for players that know only that; when it is full
// the file goes on in OpenDML 'AVIX' extensions, and every RIFF gets standard
// indexes ('ix00', 'ix01') that super-indexes in the stream headers point to.
// Counts and sizes are written as placeholders first and completed when each
// RIFF closes and in Finish.
#ifndef DEMOPLAY_CORE_AVI_WRITER_H
#define DEMOPLAY_CORE_AVI_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/avi_parser.h"
#include "core/byte_io.h"

namespace demoplay {

struct AviWriterLimits {
    // Size of one RIFF before the next one starts (players read the first one
    // alone up to 1 GiB).
    uint64_t riffBytes = uint64_t(1) << 30;
    // Standard indexes one super-index has room for: one per RIFF.
    uint32_t maxRiffs = 1024;
};

// Headers for compressed video that came without AVI headers of its own (a
// raw H.264/H.265 stream): its four-character code, picture size and rate.
AviHeaders CompressedVideoHeaders(uint32_t fourCc, int width, int height, uint32_t rate, uint32_t scale);

class AviWriter {
public:
    explicit AviWriter(AviWriterLimits limits = AviWriterLimits()) : limits_(limits) {}

    // Writes the headers. The formats and rates are taken from `source`.
    bool Begin(ByteSink* sink, const AviHeaders& source, bool withAudio);
    // Appends one chunk; false when the sink fails or the file is full. Only
    // key pictures are flagged as such in the indexes: a reader seeks to them.
    bool AddChunk(ChunkClass cls, const uint8_t* data, size_t size, bool key = true);
    // Writes the indexes and the final sizes and counts.
    bool Finish();

    uint32_t videoFrames() const { return videoFrames_; }
    uint32_t riffCount() const { return riffCount_; }
    // A write to the sink failed; the file is spoilt.
    bool failed() const { return failed_; }

private:
    struct Entry {
        int stream;       // 0 video, 1 audio
        uint64_t offset;  // of the chunk's header
        uint32_t size;
        bool key;
    };
    struct SuperEntry {
        uint64_t offset;
        uint32_t size;
        uint32_t duration;
    };
    bool Put(const std::vector<uint8_t>& bytes);
    bool Patch32(uint64_t at, uint32_t value);
    bool CloseRiff();
    bool OpenExtension();

    AviWriterLimits limits_;
    ByteSink* sink_ = nullptr;
    bool withAudio_ = false;
    int streams_ = 1;
    uint32_t chunkIds_[2] = {0, 0};
    uint32_t audioBlockAlign_ = 1;
    bool audioPerChunk_ = false;  // AAC: the length counts chunks (frames), not blocks

    uint64_t totalFramesAt_ = 0, dmlhFramesAt_ = 0;
    uint64_t lengthAt_[2] = {0, 0};
    uint64_t superIndexAt_[2] = {0, 0};
    std::vector<SuperEntry> superIndex_[2];

    uint64_t riffAt_ = 0;  // the current RIFF's header
    uint64_t moviAt_ = 0;  // the current 'movi' list's header
    uint32_t riffCount_ = 0;
    std::vector<Entry> entries_;  // of the current RIFF
    uint32_t firstRiffFrames_ = 0;
    uint32_t videoFrames_ = 0;
    uint64_t audioBytes_ = 0;
    uint32_t audioChunks_ = 0;
    bool finished_ = false;
    bool failed_ = false;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_AVI_WRITER_H
