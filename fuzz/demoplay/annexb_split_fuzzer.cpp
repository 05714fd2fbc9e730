// The Annex-B splitters, the stream ports' and the decoder wrapper's
// (libavcodec's parser): a raw stream fed in pieces must give the same access
// units as the whole stream fed at once, whatever the pieces' sizes. The
// first byte picks the codec (bit 0) and the sizes of the pieces; the rest is
// the stream.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/video_decoder.h"
#include "core/stream_assembler.h"

using namespace demoplay;

namespace {

using Units = std::vector<std::vector<uint8_t>>;

// Feeds the stream in pieces of the sizes `next` gives, then ends it. The
// decoder is reset first, which gives the splitter a fresh start (opening a
// decoder for each way of feeding would take most of an input's time).
template <typename NextSize>
Units Split(VideoDecoder& d, const uint8_t* data, size_t size, NextSize next) {
    Units units;
    d.Reset();
    const auto keep = [&](const uint8_t* unit, size_t n) { units.emplace_back(unit, unit + n); };
    for (size_t at = 0; at < size;) {
        const size_t n = std::min(size - at, next());
        d.Split(data + at, n, keep);
        at += n;
    }
    d.Split(nullptr, 0, keep);
    return units;
}

// The stream ports' assembly, with units let out only when the next begins
// (the quiet rule depends on the time, not on the pieces).
template <typename NextSize>
Units Assemble(VideoCodec codec, const uint8_t* data, size_t size, NextSize next) {
    AnnexBAssembler assembler(codec, 0, 1 << 16);
    std::vector<AnnexBAssembler::Unit> out;
    for (size_t at = 0; at < size;) {
        const size_t n = std::min(size - at, next());
        assembler.Feed(data + at, n, 0, &out);
        at += n;
    }
    Units units;
    for (AnnexBAssembler::Unit& u : out) {
        if (u.kind != AnnexBAssembler::Kind::kWhole) std::abort();  // only the quiet rule makes others
        units.push_back(std::move(u.data));
    }
    return units;
}

void Compare(const Units& whole, const Units& pieces, const char* how) {
    if (whole == pieces) return;
    std::fprintf(stderr, "annexb_split: %zu units whole, %zu fed %s\n", whole.size(), pieces.size(), how);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const VideoCodec codec = data[0] & 1 ? VideoCodec::kH265 : VideoCodec::kH264;
    const size_t every = 1 + (data[0] >> 1);  // 1 to 128 bytes
    const uint8_t* stream = data + 1;
    const size_t length = size - 1;
    std::unique_ptr<VideoDecoder> d = VideoDecoder::Create(codec, {});
    if (!d) std::abort();  // the host's libavcodec lacks the decoder
    const Units whole = Split(*d, stream, length, [&] { return length; });
    Compare(whole, Split(*d, stream, length, [&] { return every; }), "in equal pieces");
    // Pieces of changing sizes, from 1 byte up to twice the equal ones.
    uint32_t state = 0x9E3779B9u ^ uint32_t(length);
    const auto changing = [&] {
        state = state * 1664525u + 1013904223u;
        return size_t(1 + (state >> 16) % (2 * every));
    };
    Compare(whole, Split(*d, stream, length, changing), "in pieces of changing sizes");
    const Units assembled = Assemble(codec, stream, length, [&] { return length; });
    Compare(assembled, Assemble(codec, stream, length, [&] { return every; }), "to the ports in equal pieces");
    Compare(assembled, Assemble(codec, stream, length, changing), "to the ports in pieces of changing sizes");
    return 0;
}
