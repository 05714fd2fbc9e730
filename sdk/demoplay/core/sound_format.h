// What an AVI audio stream holds and how its position turns into time: PCM,
// and the compressed sound cameras send (G.711 A-law and mu-law, IMA ADPCM,
// AAC), with the pieces a decoder of it needs (an AAC AudioSpecificConfig,
// ADTS frames).
//
// A position in the sound counts bytes, except for AAC, whose chunks hold
// frames of varying size: there it counts chunks, each one frame long.
#ifndef DEMOPLAY_CORE_SOUND_FORMAT_H
#define DEMOPLAY_CORE_SOUND_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/avi_parser.h"

namespace demoplay {

enum class SoundCodec { kNone, kPcm, kFloat, kAlaw, kMulaw, kImaAdpcm, kAac };

// Samples in one AAC-LC frame.
constexpr uint32_t kAacFrameSamples = 1024;

struct SoundFormat {
    SoundCodec codec = SoundCodec::kNone;
    uint32_t rate = 0;  // samples per second
    int channels = 0;
    int bitsPerSample = 0;         // of PCM as stored
    uint32_t blockAlign = 1;       // bytes of one block (ADPCM) or sample frame
    uint32_t samplesPerBlock = 0;  // IMA ADPCM
    std::vector<uint8_t> setUp;    // AAC: the AudioSpecificConfig
    bool perChunk = false;         // positions count chunks rather than bytes
    // A position of n units lies at n * tickUnits / ticksPerSecond seconds.
    uint64_t tickUnits = 1;
    uint64_t ticksPerSecond = 0;

    bool usable() const { return codec != SoundCodec::kNone && ticksPerSecond > 0; }
    bool compressed() const { return codec != SoundCodec::kPcm && codec != SoundCodec::kFloat; }
    // The units a chunk of this many bytes takes up.
    uint64_t UnitsOf(size_t bytes) const { return perChunk ? 1 : bytes; }
    // The time of a position, in whole milliseconds.
    uint64_t Ms(uint64_t units) const;
    // The position at a time: the last whole block (or chunk) that starts at
    // or before it.
    uint64_t UnitsAt(uint64_t ms) const;
};

// The stream's codec and timing; codec kNone for what cannot be played
// (other format tags, layouts that contradict themselves).
SoundFormat DescribeSound(const AudioStreamInfo& audio);

// An AudioStreamInfo's codec set-up: the bytes after the 18-byte
// WAVEFORMATEX that its cbSize names (clamped to the chunk).
std::vector<uint8_t> WaveFormatExtra(const AudioStreamInfo& audio);

// The AudioSpecificConfig of AAC-LC at this rate and channel count (for streams
// that do not carry one); empty for rates AAC has no index for.
std::vector<uint8_t> AacLcConfig(uint32_t rate, int channels);

// Whether the data starts with an ADTS header (sync word, layer 0, a frame
// length that holds the header).
bool StartsWithAdts(const uint8_t* data, size_t size);
// Hands each whole ADTS frame from the start of `data` on to `frame` (with
// the raw data blocks it holds) and stops at the first byte that starts no
// whole frame (a cut or damaged frame, data that is no ADTS); returns the
// bytes from there to the end.
size_t SplitAdts(const uint8_t* data, size_t size, const std::function<void(const uint8_t*, size_t, int)>& frame);

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_SOUND_FORMAT_H
