#include "sdk_paths.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/avi_parser.h"
#include "core/frame_layout.h"
#include "core/jpeg_picture.h"
#include "core/resampler.h"
#include "core/stream_assembler.h"

using namespace demoplay;

namespace {

// Chunks larger than this are not worth decoding here.
constexpr size_t kMaxChunkUsed = size_t(1) << 20;

// Pieces of 1 to `spread` bytes, as the input's size picks, but no more
// than 65536 of them: a file of megabytes fed a byte at a time would spend
// the input's time budget on calls alone.
size_t PieceSize(size_t size, size_t spread) { return std::max<size_t>(1 + size % spread, size / 65536); }

[[noreturn]] void Finding(const char* what) {
    std::fprintf(stderr, "sdk_paths: %s\n", what);
    std::abort();
}

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
            } else if (layout.needsConversion() && c.size() >= layout.frameBytes &&
                       layout.deliveredBytes <= (1u << 20)) {
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

void ParseAsFile(const uint8_t* data, size_t size) {
    MemorySource src(data, size);
    AviFileInfo info;
    AviStatus status = ParseAviFile(src, &info);
    if (info.indexEntriesExamined > size / 8) Finding("index work beyond the file's size");
    if (status != AviStatus::kOk) return;
    std::vector<std::vector<uint8_t>> video, audio;
    for (int s = 0; s < 2; ++s) {
        const std::vector<ChunkRef>& refs = s == 0 ? info.videoChunks : info.audioChunks;
        for (size_t i = 0; i < refs.size() && i < size_t(s == 0 ? 2 : 4); ++i) {
            const ChunkRef& r = refs[i];
            if (r.size > kMaxChunkUsed) continue;
            std::vector<uint8_t> c(r.size);
            if (!src.Read(r.offset, c.data(), c.size())) Finding("an indexed chunk lies outside the file");
            (s == 0 ? video : audio).push_back(std::move(c));
        }
    }
    UseChunks(info.headers, video, audio);
}

void ParseAsStream(const uint8_t* data, size_t size) {
    AviHeaders headers;
    size_t moviEnd = 0;
    const AviStatus whole = ParseStreamHeader(data, size, &headers, &moviEnd);
    // The header as it arrives in pieces must give the same.
    if (size >= 12) {
        StreamHeaderParser parser;
        AviHeaders pieces;
        size_t piecesEnd = 0;
        const size_t piece = PieceSize(size, 61);
        AviStatus s = AviStatus::kTruncated;
        for (size_t have = 12;; have = std::min(size, have + piece)) {
            s = parser.Continue(data, have, &pieces, &piecesEnd);
            if (s != AviStatus::kTruncated || have == size) break;
        }
        if (s != whole || (s == AviStatus::kOk && piecesEnd != moviEnd)) Finding("a header in pieces parses otherwise");
    }
    if (whole != AviStatus::kOk) return;
    StreamAssembler assembler(headers, 1 << 16);
    std::vector<StreamChunk> chunks;
    const size_t piece = PieceSize(size, 97);
    for (size_t pos = moviEnd; pos < size; pos += piece) {
        assembler.Feed(data + pos, pos + piece < size ? piece : size - pos, &chunks);
        if (chunks.size() > 64) chunks.erase(chunks.begin() + 8, chunks.end());  // only the first few are used
    }
    std::vector<std::vector<uint8_t>> video, audio;
    for (StreamChunk& c : chunks) (c.cls == ChunkClass::kVideo ? video : audio).push_back(std::move(c.data));
    UseChunks(headers, video, audio);
}

}  // namespace

void ExerciseSdkPaths(const uint8_t* data, size_t size) {
    ParseAsFile(data, size);
    ParseAsStream(data, size);
}
