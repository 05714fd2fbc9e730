#include "core/frame_layout.h"

#include <cstring>

namespace demoplay {

size_t I420Bytes(int width, int height) {
    const size_t cw = (size_t(width) + 1) / 2, ch = (size_t(height) + 1) / 2;
    return size_t(width) * size_t(height) + 2 * cw * ch;
}

LayoutStatus DescribeVideo(const VideoStreamInfo& video, VideoLayout* out) {
    *out = VideoLayout();
    int64_t w = video.width;
    int64_t h = video.height < 0 ? -int64_t(video.height) : int64_t(video.height);
    const uint32_t c = video.compression;
    const VideoCodec codec = CodecOfFourCc(c);
    if (codec != VideoCodec::kNone) {
        // Decoded pictures bring their own size; the header's is what to expect.
        if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) return LayoutStatus::kBadSize;
        out->codec = codec;
        out->kind = kKindI420;
        out->width = int(w);
        out->height = int(h);
        out->deliveredBytes = I420Bytes(int(w), int(h));
        return LayoutStatus::kOk;
    }
    const bool mjpeg = c == FourCc('M', 'J', 'P', 'G') || c == FourCc('m', 'j', 'p', 'g');
    int kind = -1;
    size_t bytesPerFour = 0;  // bytes per 4 pixels
    if (mjpeg) {
        kind = kKindRgb32;
    } else if (c == FourCc('I', '4', '2', '0') || c == FourCc('I', 'Y', 'U', 'V')) {
        kind = kKindI420;
        bytesPerFour = 6;
    } else if (c == FourCc('Y', 'V', '1', '2')) {
        kind = kKindYv12;
        bytesPerFour = 6;
    } else if (c == FourCc('Y', 'U', 'Y', '2') || c == FourCc('Y', 'U', 'Y', 'V')) {
        kind = kKindYuy2;
        bytesPerFour = 8;
    } else if (c == FourCc('U', 'Y', 'V', 'Y')) {
        kind = kKindUyvy;
        bytesPerFour = 8;
    } else if (c == 0 && (video.bitCount == 32 || video.bitCount == 24)) {
        kind = kKindRgb32;
        bytesPerFour = 16;
    }
    if (kind < 0) return LayoutStatus::kUnsupportedCodec;
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) return LayoutStatus::kBadSize;
    // The 4:2:0 and 4:2:2 layouts need even sides.
    if (kind != kKindRgb32 && ((w & 1) || (h & 1))) return LayoutStatus::kBadSize;
    if ((kind == kKindI420 || kind == kKindYv12) && (h & 1)) return LayoutStatus::kBadSize;
    out->mjpeg = mjpeg;
    out->kind = kind;
    out->width = int(w);
    out->height = int(h);
    out->topDown = !mjpeg && kind == kKindRgb32 && video.height < 0;
    out->rgb24 = !mjpeg && kind == kKindRgb32 && video.bitCount == 24;
    out->frameBytes = mjpeg ? 0 : size_t(w) * size_t(h) * bytesPerFour / 4;
    if (out->rgb24) out->frameBytes = (size_t(w) * 3 + 3) / 4 * 4 * size_t(h);
    out->deliveredBytes = mjpeg || out->rgb24 ? size_t(w) * size_t(h) * 4 : out->frameBytes;
    return LayoutStatus::kOk;
}

void ConvertStoredRgb(const VideoLayout& layout, const uint8_t* stored, uint8_t* out) {
    const size_t w = size_t(layout.width);
    const size_t outStride = w * 4;
    const size_t inStride = layout.rgb24 ? (w * 3 + 3) / 4 * 4 : outStride;
    for (int y = 0; y < layout.height; ++y) {
        const uint8_t* src = stored + size_t(y) * inStride;
        uint8_t* dst = out + size_t(layout.topDown ? layout.height - 1 - y : y) * outStride;
        if (!layout.rgb24) {
            std::memcpy(dst, src, outStride);
            continue;
        }
        for (size_t x = 0; x < w; ++x) {
            dst[4 * x + 0] = src[3 * x + 0];
            dst[4 * x + 1] = src[3 * x + 1];
            dst[4 * x + 2] = src[3 * x + 2];
            dst[4 * x + 3] = 0;
        }
    }
}

}  // namespace demoplay
