// The SDK's decoder of cameras' sound over the host's libavcodec, fed chunk
// by chunk as a port feeds it, with damaged, cut and empty chunks and resets
// (seeks) between them. Every chunk gives whole sample frames, and G.711 and
// ADPCM chunks exactly the samples their bytes hold (a block that does not
// decode is silence of its length); the sanitizers watch that no block is
// read past its end.
//
// Bytes: 1 byte choosing the format, then chunks, each a 2-byte length
// (little-endian) and its bytes, cut where the input ends; the length 0xFFFF
// resets the decoder.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/sound_decoder.h"
#include "core/sound_format.h"

using namespace demoplay;

namespace {

[[noreturn]] void Finding(const char* what) {
    std::fprintf(stderr, "sound_decoder: %s\n", what);
    std::abort();
}

struct Choice {
    uint16_t tag;
    uint16_t channels;
    uint32_t rate;
    uint16_t blockAlign;
    uint16_t bits;
    std::vector<uint8_t> extra;
};

SoundFormat FormatOf(uint8_t pick) {
    static const Choice kChoices[] = {
        {6, 1, 8000, 1, 8, {}},
        {7, 2, 8000, 2, 8, {}},
        {0x11, 1, 8000, 256, 4, {}},
        {0x11, 2, 16000, 512, 4, {}},
        {0xFF, 1, 16000, 0, 0, {0x14, 0x08}},
        {0x1600, 2, 8000, 0, 0, {}},
    };
    const Choice& c = kChoices[pick % (sizeof kChoices / sizeof kChoices[0])];
    AudioStreamInfo a;
    a.formatTag = c.tag;
    a.channels = c.channels;
    a.samplesPerSec = c.rate;
    a.blockAlign = c.blockAlign;
    a.bitsPerSample = c.bits;
    a.strf.assign(18, 0);
    a.strf[16] = uint8_t(c.extra.size());
    a.strf.insert(a.strf.end(), c.extra.begin(), c.extra.end());
    return DescribeSound(a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const SoundFormat format = FormatOf(data[0]);
    std::unique_ptr<SoundDecoder> decoder = SoundDecoder::Create(format);
    if (!decoder) Finding("the host's libavcodec does not open the decoder");
    const size_t frameBytes = size_t(format.channels) * size_t(decoder->bitsPerSample() / 8);
    std::vector<uint8_t> out;
    for (size_t at = 1; at + 2 <= size;) {
        const size_t length = size_t(data[at]) | (size_t(data[at + 1]) << 8);
        at += 2;
        if (length == 0xFFFF) {
            decoder->Reset();
            continue;
        }
        // Each chunk in a buffer of its own size, so that a read past it is seen.
        const size_t n = std::min(length, size - at);
        std::vector<uint8_t> chunk(data + at, data + at + n);
        at += n;
        out.clear();
        decoder->Decode(chunk.data(), chunk.size(), &out);
        if (out.size() % frameBytes != 0) Finding("a cut sample frame");
        const size_t samples = out.size() / frameBytes;
        switch (format.codec) {
            case SoundCodec::kAlaw:
            case SoundCodec::kMulaw:
                if (samples != n / size_t(format.channels)) Finding("G.711: not a sample a byte");
                break;
            case SoundCodec::kImaAdpcm: {
                const size_t block = format.blockAlign, perBlock = format.samplesPerBlock;
                if (samples != n / block * perBlock + n % block * perBlock / block)
                    Finding("ADPCM: not the samples its blocks hold");
                break;
            }
            default:
                if (samples == 0) Finding("AAC: a chunk without sound or silence");
                break;
        }
    }
    return 0;
}
