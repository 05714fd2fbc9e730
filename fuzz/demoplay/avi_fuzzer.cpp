// Feeds arbitrary bytes to the play SDK's parsing paths as a file and as a
// live stream: the AVI parser and index reader, the stream header parser and
// chunk assembler (in pieces), the picture layouts, the JPEG decoder and the
// sound resampler.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/avi_parser.h"
#include "core/frame_layout.h"
#include "core/jpeg_picture.h"
#include "core/resampler.h"
#include "core/stream_assembler.h"

using namespace demoplay;

namespace {

void UseChunks(const AviHeaders& headers, const std::vector<std::vector<uint8_t>>& video,
               const std::vector<std::vector<uint8_t>>& audio) {
  VideoLayout layout;
  if (DescribeVideo(headers.video, &layout) == LayoutStatus::kOk) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < video.size() && i < 2; ++i) {
      const std::vector<uint8_t>& c = video[i];
      if (layout.mjpeg) {
        int w = 0, h = 0;
        DecodeMotionJpeg(c.data(), c.size(), 256, 256, &out, &w, &h);
      } else if (layout.needsConversion() && c.size() >= layout.frameBytes && layout.deliveredBytes <= (1u << 20)) {
        out.resize(layout.deliveredBytes);
        ConvertStoredRgb(layout, c.data(), out.data());
      }
    }
  }
  const AudioStreamInfo& a = headers.audio;
  if (headers.hasAudio && (a.pcm || a.ieeeFloat)) {
    Resampler r;
    if (r.Configure(a.samplesPerSec, a.channels, a.bitsPerSample,
                    a.ieeeFloat ? SampleFormat::kFloat : SampleFormat::kInteger)) {
      std::vector<int16_t> pcm;
      for (size_t i = 0; i < audio.size() && i < 4; ++i) r.Process(audio[i].data(), audio[i].size(), &pcm);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    MemorySource src(data, size);
    AviFileInfo info;
    if (ParseAviFile(src, &info) == AviStatus::kOk) {
      std::vector<std::vector<uint8_t>> video, audio;
      for (size_t i = 0; i < info.videoChunks.size() && i < 2; ++i) {
        const ChunkRef& r = info.videoChunks[i];
        std::vector<uint8_t> c(r.size);
        if (src.Read(r.offset, c.data(), c.size())) video.push_back(std::move(c));
      }
      for (size_t i = 0; i < info.audioChunks.size() && i < 4; ++i) {
        const ChunkRef& r = info.audioChunks[i];
        std::vector<uint8_t> c(r.size);
        if (src.Read(r.offset, c.data(), c.size())) audio.push_back(std::move(c));
      }
      UseChunks(info.headers, video, audio);
    }
  }
  {
    AviHeaders headers;
    size_t moviEnd = 0;
    if (ParseStreamHeader(data, size, &headers, &moviEnd) == AviStatus::kOk) {
      StreamAssembler assembler(headers, 1 << 16);
      std::vector<StreamChunk> chunks;
      size_t piece = 1 + (size % 97);
      for (size_t pos = moviEnd; pos < size; pos += piece)
        assembler.Feed(data + pos, pos + piece < size ? piece : size - pos, &chunks);
      std::vector<std::vector<uint8_t>> video, audio;
      for (StreamChunk& c : chunks) (c.cls == ChunkClass::kVideo ? video : audio).push_back(std::move(c.data));
      UseChunks(headers, video, audio);
    }
  }
  return 0;
}
