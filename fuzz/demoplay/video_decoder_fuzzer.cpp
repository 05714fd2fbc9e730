// The SDK's decoder wrapper over the host's libavcodec, fed as a port feeds
// it: access units split from a raw stream, joined in the middle, damaged,
// cut short, with seeks to random units, draining and going on, and streams
// whose picture size changes. Every picture handed out must be whole, a
// picture fed since the last seek, and the first one after a seek a key
// picture; presentation order keeps to the positions fed.
//
// Bytes: 8 control bytes (codec, join, damage, truncation, seek, drain,
// extra steps, seed of the choices), then the raw Annex-B stream.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/video_decoder.h"
#include "core/presentation_order.h"

using namespace demoplay;

namespace {

[[noreturn]] void Finding(const char* what) {
    std::fprintf(stderr, "video_decoder: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    const uint8_t* c = data;
    const VideoCodec codec = c[0] & 1 ? VideoCodec::kH265 : VideoCodec::kH264;
    std::unique_ptr<VideoDecoder> decoder = VideoDecoder::Create(codec, {});
    if (!decoder) std::abort();  // the host's libavcodec lacks the decoder
    std::vector<std::vector<uint8_t>> units;
    const auto keep = [&](const uint8_t* unit, size_t n) { units.emplace_back(unit, unit + n); };
    decoder->Split(data + 8, size - 8, keep);
    decoder->Split(nullptr, 0, keep);
    if (units.empty()) return 0;

    uint32_t state = c[7] * 0x01000193u + 1;
    const auto chance = [&](uint8_t per256) {
        state = state * 1664525u + 1013904223u;
        return (state >> 24) < per256;
    };
    const auto pick = [&](size_t n) {
        state = state * 1664525u + 1013904223u;
        return size_t(state >> 8) % n;
    };

    PresentationOrder order;
    uint64_t position = 0, sinceSeek = 0;
    // After a seek nothing is shown before a key picture. A fresh decoder
    // trusts libavcodec's damage flags alone, which come in presentation order:
    // a damaged stream can show a picture ahead of the damaged key picture it
    // depends on.
    bool waitForKey = false;
    const PictureSink sink = [&](const DecodedPicture& p) {
        const size_t w = size_t(p.width), h = size_t(p.height);
        if (p.width <= 0 || p.height <= 0 || !p.data || p.size != w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2))
            Finding("a picture of the wrong size");
        uint8_t sum = 0;  // every byte of it is there to be read
        for (size_t i = 0; i < p.size; ++i) sum = uint8_t(sum + p.data[i]);
        (void)sum;
        if (p.position < sinceSeek || p.position >= position) Finding("a picture not fed since the last seek");
        if (waitForKey && !p.key) Finding("a picture shown before a key picture");
        waitForKey = false;
        const uint64_t shown = order.Next(p.position, p.key);
        if (shown < sinceSeek || shown >= position) Finding("a place in time that was never fed");
    };

    size_t next = c[1] % units.size();  // joining in the middle
    const size_t steps = 2 * units.size() + c[6];
    std::vector<uint8_t> unit;
    for (size_t step = 0; step < steps; ++step) {
        if (chance(c[4])) {  // a seek
            decoder->Reset();
            order.Reset();
            sinceSeek = position;
            waitForKey = true;
            next = pick(units.size());
        }
        if (next >= units.size()) {  // the end of the stream, then from the start again
            decoder->Drain(sink);
            next = 0;
        }
        unit = units[next++];
        if (chance(c[3])) unit.resize(pick(unit.size() + 1));
        if (chance(c[2]) && !unit.empty()) {
            for (int k = 0; k < 4; ++k) unit[pick(unit.size())] ^= uint8_t(1 + pick(255));
        }
        if (chance(c[5])) decoder->Drain(sink);
        order.Fed(position);
        decoder->Decode(unit.data(), unit.size(), position++, sink);
    }
    decoder->Drain(sink);
    return 0;
}
