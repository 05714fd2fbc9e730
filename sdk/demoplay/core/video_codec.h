// Which compressed video a stream holds: the AVI four-character codes of
// H.264 and H.265, and the first bytes of a raw Annex-B elementary stream.
#ifndef DEMOPLAY_CORE_VIDEO_CODEC_H
#define DEMOPLAY_CORE_VIDEO_CODEC_H

#include <cstddef>
#include <cstdint>

namespace demoplay {

enum class VideoCodec { kNone, kH264, kH265 };

// "H264", "X264", "AVC1" (start codes inside) and "HEVC", "H265", "HVC1", in
// either letter case; kNone for anything else.
VideoCodec CodecOfFourCc(uint32_t fourCc);

// Length of the Annex-B start code at data (3 or 4 bytes), or 0.
size_t StartCodeLength(const uint8_t* data, size_t size);

enum class AnnexBStatus { kCodec, kNeedMore, kNotAnnexB };

// Tells H.264 from H.265 by the header of the stream's first NAL unit, which
// follows its start code. kNeedMore while the bytes cannot tell yet.
AnnexBStatus DetectAnnexB(const uint8_t* data, size_t size, VideoCodec* codec);

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_VIDEO_CODEC_H
