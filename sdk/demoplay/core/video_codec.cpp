#include "core/video_codec.h"

#include "core/byte_io.h"

namespace demoplay {
namespace {

uint32_t UpperFourCc(uint32_t c) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = uint8_t(c >> (8 * i));
        if (b >= 'a' && b <= 'z') b = uint8_t(b - 'a' + 'A');
        out |= uint32_t(b) << (8 * i);
    }
    return out;
}

// NAL unit types a stream (or a stream joined in its middle) can begin with.
// H.265: pictures (but for TSA_R, whose header bytes 06 01 are also those
// of a common H.264 SEI), the parameter sets, access-unit delimiter, SEI.
// H.264: a slice, an IDR slice, SEI, the parameter sets, access-unit
// delimiter.
bool H265StartType(int type) {
    return (type >= 0 && type <= 9 && type != 3) || (type >= 16 && type <= 21) || (type >= 32 && type <= 35) ||
           type == 39;
}
bool H264StartType(int type) { return type == 1 || type == 5 || type == 6 || type == 7 || type == 8 || type == 9; }

}  // namespace

VideoCodec CodecOfFourCc(uint32_t fourCc) {
    switch (UpperFourCc(fourCc)) {
        case FourCc('H', '2', '6', '4'):
        case FourCc('X', '2', '6', '4'):
        case FourCc('A', 'V', 'C', '1'):
            return VideoCodec::kH264;
        case FourCc('H', 'E', 'V', 'C'):
        case FourCc('H', '2', '6', '5'):
        case FourCc('H', 'V', 'C', '1'):
            return VideoCodec::kH265;
        default:
            return VideoCodec::kNone;
    }
}

size_t StartCodeLength(const uint8_t* data, size_t size) {
    if (size >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1) return 3;
    if (size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1) return 4;
    return 0;
}

AnnexBStatus DetectAnnexB(const uint8_t* data, size_t size, VideoCodec* codec) {
    *codec = VideoCodec::kNone;
    // A start code of 3 or 4 bytes: "00 00 01" or "00 00 00 01".
    const size_t prefix[] = {3, 4};
    bool couldBe = false;
    for (size_t n : prefix) {
        bool zeros = true;
        for (size_t i = 0; i + 1 < n && i < size; ++i) zeros = zeros && data[i] == 0;
        if (!zeros) continue;
        if (size < n) {
            couldBe = true;
            continue;
        }
        if (data[n - 1] != 1) continue;
        if (size < n + 2) return AnnexBStatus::kNeedMore;
        const uint8_t a = data[n], b = data[n + 1];
        if (a & 0x80) return AnnexBStatus::kNotAnnexB;  // the forbidden bit
        // H.265's two-byte header: layer 0 and temporal id 1 make its second
        // byte 01, which no H.264 unit a stream starts with has there.
        if (b == 0x01 && (a & 0x01) == 0 && H265StartType(a >> 1)) {
            *codec = VideoCodec::kH265;
            return AnnexBStatus::kCodec;
        }
        if (H264StartType(a & 0x1F)) {
            *codec = VideoCodec::kH264;
            return AnnexBStatus::kCodec;
        }
        return AnnexBStatus::kNotAnnexB;
    }
    return couldBe ? AnnexBStatus::kNeedMore : AnnexBStatus::kNotAnnexB;
}

}  // namespace demoplay
