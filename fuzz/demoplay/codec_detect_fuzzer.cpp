// Telling H.264 from H.265 at the start of a raw stream, as the first bytes
// arrive: a prefix of the bytes never contradicts what the whole says, and
// a stream taken for either codec begins with a start code.
#include <cstdlib>

#include "core/byte_io.h"
#include "core/video_codec.h"

using namespace demoplay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VideoCodec whole;
    const AnnexBStatus all = DetectAnnexB(data, size, &whole);
    if ((all == AnnexBStatus::kCodec) != (whole != VideoCodec::kNone)) std::abort();
    if (all == AnnexBStatus::kCodec && StartCodeLength(data, size) == 0) std::abort();
    for (size_t n = 0; n < size; ++n) {
        VideoCodec part;
        const AnnexBStatus s = DetectAnnexB(data, n, &part);
        // Fewer bytes may only leave the answer open.
        if (s != AnnexBStatus::kNeedMore && (s != all || part != whole)) std::abort();
    }
    // A four-character code is told the same whatever its letters' case.
    if (size >= 4) {
        uint32_t fourCc = ReadLe32(data), lower = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = uint8_t(fourCc >> (8 * i));
            if (b >= 'A' && b <= 'Z') b = uint8_t(b - 'A' + 'a');
            lower |= uint32_t(b) << (8 * i);
        }
        if (CodecOfFourCc(fourCc) != CodecOfFourCc(lower)) std::abort();
    }
    return 0;
}
