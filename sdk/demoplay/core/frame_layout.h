// How the pictures of a video stream are delivered: which frame kind, how
// many bytes one stored picture takes, and whether it must be decoded first.
#ifndef DEMOPLAY_CORE_FRAME_LAYOUT_H
#define DEMOPLAY_CORE_FRAME_LAYOUT_H

#include <cstddef>
#include <cstdint>

#include "core/avi_parser.h"
#include "core/video_codec.h"

namespace demoplay {

// Frame kinds handed to the frame callback.
enum FrameKind : int {
    kKindNotify = 0,
    kKindSound = 1,
    kKindRgb32 = 2,
    kKindYv12 = 3,
    kKindUyvy = 4,
    kKindI420 = 5,
    kKindYuy2 = 6,
};

// Largest picture side accepted from a file or a stream.
constexpr int kMaxPictureSide = 8192;

struct VideoLayout {
    bool mjpeg = false;
    VideoCodec codec = VideoCodec::kNone;  // H.264 or H.265: decoded to I420
    int kind = 0;                          // delivered kind (2 for decoded Motion-JPEG)
    int width = 0;
    int height = 0;             // always positive
    bool topDown = false;       // RGB stored with a negative height
    bool rgb24 = false;         // 24-bit RGB, delivered as 32-bit
    size_t frameBytes = 0;      // bytes of one stored picture (0 for Motion-JPEG, H.264, H.265)
    size_t deliveredBytes = 0;  // bytes of one delivered picture

    // Stored RGB pictures that are not already 32-bit bottom-up.
    bool needsConversion() const { return !mjpeg && kind == 2 && (topDown || rgb24); }
    bool compressed() const { return mjpeg || codec != VideoCodec::kNone; }
};

// Bytes of an I420 picture; odd sides round the chroma planes up.
size_t I420Bytes(int width, int height);

enum class LayoutStatus { kOk, kUnsupportedCodec, kBadSize };

LayoutStatus DescribeVideo(const VideoStreamInfo& video, VideoLayout* out);

// Converts a stored RGB picture (32-bit or 24-bit with rows padded to 4
// bytes, bottom-up or top-down) to 32-bit bottom-up rows. `stored` holds
// layout.frameBytes, `out` layout.deliveredBytes.
void ConvertStoredRgb(const VideoLayout& layout, const uint8_t* stored, uint8_t* out);

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_FRAME_LAYOUT_H
