#include "core/sound_format.h"

#include <algorithm>

namespace demoplay {
namespace {

constexpr uint16_t kTagAlaw = 6;
constexpr uint16_t kTagMulaw = 7;
constexpr uint16_t kTagImaAdpcm = 0x11;
constexpr uint16_t kTagRawAac = 0x00FF;
constexpr uint16_t kTagAdtsAac = 0x1600;

constexpr uint32_t kAacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};

bool SaneLayout(uint32_t rate, int channels) {
    return rate >= 1000 && rate <= 384000 && channels >= 1 && channels <= 16;
}

}  // namespace

uint64_t SoundFormat::Ms(uint64_t units) const {
    return ticksPerSecond ? units * tickUnits * 1000 / ticksPerSecond : 0;
}

uint64_t SoundFormat::UnitsAt(uint64_t ms) const {
    if (!ticksPerSecond) return 0;
    const uint64_t units = ms * ticksPerSecond / (1000 * tickUnits);
    return perChunk || blockAlign <= 1 ? units : units - units % blockAlign;
}

std::vector<uint8_t> WaveFormatExtra(const AudioStreamInfo& audio) {
    const std::vector<uint8_t>& f = audio.strf;
    if (f.size() <= 18) return {};
    const size_t size = std::min<size_t>(ReadLe16(f.data() + 16), f.size() - 18);
    return std::vector<uint8_t>(f.begin() + 18, f.begin() + 18 + ptrdiff_t(size));
}

std::vector<uint8_t> AacLcConfig(uint32_t rate, int channels) {
    const uint32_t* found = std::find(std::begin(kAacRates), std::end(kAacRates), rate);
    if (found == std::end(kAacRates) || channels < 1 || channels > 7) return {};
    const unsigned index = unsigned(found - std::begin(kAacRates));
    // Object type 2 (LC), the rate's index, the channel configuration, then
    // 1024-sample frames, no core coder delay, no extension.
    return {uint8_t((2 << 3) | (index >> 1)), uint8_t(((index & 1) << 7) | (unsigned(channels) << 3))};
}

bool StartsWithAdts(const uint8_t* data, size_t size) {
    if (size < 7 || data[0] != 0xFF || (data[1] & 0xF6) != 0xF0) return false;
    const size_t length = (size_t(data[3] & 3) << 11) | (size_t(data[4]) << 3) | (data[5] >> 5);
    return length >= ((data[1] & 1) ? 7u : 9u);
}

size_t SplitAdts(const uint8_t* data, size_t size, const std::function<void(const uint8_t*, size_t, int)>& frame) {
    size_t at = 0;
    while (at < size && StartsWithAdts(data + at, size - at)) {
        const uint8_t* h = data + at;
        const size_t length = (size_t(h[3] & 3) << 11) | (size_t(h[4]) << 3) | (h[5] >> 5);
        if (length > size - at) break;
        frame(h, length, (h[6] & 3) + 1);
        at += length;
    }
    return size - at;
}

SoundFormat DescribeSound(const AudioStreamInfo& a) {
    SoundFormat f;
    f.rate = a.samplesPerSec;
    f.channels = a.channels;
    f.bitsPerSample = a.bitsPerSample;
    f.blockAlign = a.blockAlign;
    if (!SaneLayout(f.rate, f.channels)) return SoundFormat();
    const uint32_t channels = a.channels;
    if (a.pcm || a.ieeeFloat) {
        if (a.blockAlign == 0 || a.blockAlign != channels * (a.bitsPerSample / 8u)) return SoundFormat();
        f.codec = a.pcm ? SoundCodec::kPcm : SoundCodec::kFloat;
        f.ticksPerSecond = uint64_t(f.rate) * a.blockAlign;
        return f;
    }
    switch (a.formatTag) {
        case kTagAlaw:
        case kTagMulaw:
            // One byte a sample.
            if (a.blockAlign != channels || (a.bitsPerSample != 8 && a.bitsPerSample != 0)) return SoundFormat();
            f.codec = a.formatTag == kTagAlaw ? SoundCodec::kAlaw : SoundCodec::kMulaw;
            f.bitsPerSample = 8;
            f.ticksPerSecond = uint64_t(f.rate) * a.blockAlign;
            return f;
        case kTagImaAdpcm: {
            // Blocks of a 4-byte header per channel, then 4-bit samples in groups
            // of 4 bytes per channel: the samples a block holds follow from its
            // size (as the decoder counts them, whatever the header claims).
            const uint32_t header = 4 * channels;
            if (a.bitsPerSample != 4 || a.blockAlign <= header || (a.blockAlign - header) % header != 0)
                return SoundFormat();
            f.codec = SoundCodec::kImaAdpcm;
            f.samplesPerBlock = 1 + (a.blockAlign - header) / header * 8;
            f.tickUnits = f.samplesPerBlock;
            f.ticksPerSecond = uint64_t(f.rate) * a.blockAlign;
            return f;
        }
        case kTagRawAac:
        case kTagAdtsAac:
            // Each chunk one frame, of whatever size it was coded to (the
            // format's block size says nothing; ffmpeg writes 0).
            f.codec = SoundCodec::kAac;
            f.blockAlign = 1;
            f.setUp = a.formatTag == kTagRawAac ? WaveFormatExtra(a) : std::vector<uint8_t>();
            if (f.setUp.empty()) f.setUp = AacLcConfig(f.rate, f.channels);
            f.perChunk = true;
            f.tickUnits = kAacFrameSamples;
            f.ticksPerSecond = f.rate;
            return f;
        default:
            return SoundFormat();
    }
}

}  // namespace demoplay
