// Cameras' compressed sound (G.711 A-law and mu-law, IMA ADPCM, AAC) decoded
// by libavcodec into interleaved PCM for the resampler: 16-bit integer
// samples for G.711 and ADPCM, 32-bit float for AAC, in the stream's rate and
// channels. A chunk is decoded block by block (an ADPCM block, an AAC
// frame); a block that is cut or does not decode becomes silence of its
// length, and no block is read past its end.
#ifndef DEMOPLAY_CODEC_SOUND_DECODER_H
#define DEMOPLAY_CODEC_SOUND_DECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/resampler.h"
#include "core/sound_format.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace demoplay {

struct LibAv;

class SoundDecoder {
public:
    // Null when the format is not compressed, the libraries are missing or
    // the decoder does not open.
    static std::unique_ptr<SoundDecoder> Create(const SoundFormat& format);
    ~SoundDecoder();
    SoundDecoder(const SoundDecoder&) = delete;
    SoundDecoder& operator=(const SoundDecoder&) = delete;

    // What the decoded samples are, for the resampler.
    SampleFormat sampleFormat() const { return float_ ? SampleFormat::kFloat : SampleFormat::kInteger; }
    int bitsPerSample() const { return float_ ? 32 : 16; }

    // Decodes one stored chunk; its samples are appended to `out`.
    void Decode(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
    // Forgets what the decoder carries from one block to the next (a seek).
    void Reset();
    // Blocks made silence because they were cut or did not decode.
    uint64_t damagedBlocks() const { return damaged_; }

private:
    SoundDecoder() = default;
    // One block: its samples, else `expected` sample frames of silence.
    void DecodeBlock(const uint8_t* data, size_t size, size_t expected, std::vector<uint8_t>* out);
    bool Append(const AVFrame* frame, std::vector<uint8_t>* out);
    void Silence(size_t frames, std::vector<uint8_t>* out);

    std::shared_ptr<const LibAv> av_;
    SoundFormat format_;
    bool float_ = false;
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    std::vector<uint8_t> padded_;
    uint64_t damaged_ = 0;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CODEC_SOUND_DECODER_H
