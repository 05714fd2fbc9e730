// Writes an AVI file (one RIFF 'AVI ' with 'idx1') from the chunks of a video
// stream and an optional audio stream, keeping their original formats. The
// header is written first with placeholder counts and completed by Finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/avi_parser.h"
#include "core/byte_io.h"

namespace demoplay {

// A single RIFF of the classic layout stays below 1 GiB so that every player
// reads it; chunks beyond that are refused.
constexpr uint64_t kMaxRecordingBytes = uint64_t(1) << 30;

class AviWriter {
 public:
  // Writes the headers. The formats and rates are taken from `source`.
  bool Begin(ByteSink* sink, const AviHeaders& source, bool withAudio);
  // Appends one chunk; false when the sink fails or the file is full.
  bool AddChunk(ChunkClass cls, const uint8_t* data, size_t size);
  // Writes the index and the final sizes and counts.
  bool Finish();

  uint32_t videoFrames() const { return videoFrames_; }
  // A write to the sink failed; the file is spoilt.
  bool failed() const { return failed_; }

 private:
  struct Entry {
    uint32_t id;
    uint32_t flags;
    uint32_t offset;
    uint32_t size;
  };
  ByteSink* sink_ = nullptr;
  bool withAudio_ = false;
  uint32_t videoId_ = 0, audioId_ = 0;
  uint64_t riffSizeAt_ = 0, moviSizeAt_ = 0, moviListAt_ = 0;
  uint64_t totalFramesAt_ = 0, videoLengthAt_ = 0, audioLengthAt_ = 0;
  uint32_t audioBlockAlign_ = 1;
  uint32_t videoFrames_ = 0;
  uint64_t audioBytes_ = 0;
  uint32_t largestChunk_ = 0;
  std::vector<Entry> index_;
  bool failed_ = false;
};

}  // namespace demoplay
