// The SDK's frame kinds, and what a picture of a given kind and size needs:
// the byte count its planes take, and whether a delivered buffer really holds
// them. The frame intake checks each picture once, as it queues a copy (see
// QueuedFrame::AllocatePicture); whoever holds a queued picture reads its
// planes without checking again.
#ifndef VD_PORT_FRAME_LAYOUT_H
#define VD_PORT_FRAME_LAYOUT_H

#include <cstdint>

namespace vd {

// The SDK's frame kinds. The type is the SDK's int, so a number the SDK
// sends that is none of these is carried as it is (and shown nowhere).
enum FrameKind : int {
    kKindNotification = 0,
    kKindSound = 1,
    kKindRgb32 = 2,
    kKindYv12 = 3,
    kKindUyvy = 4,
    kKindI420 = 5,
    kKindYuy2 = 6,
};

// Largest width or height taken as a picture; anything larger is a broken
// frame, not a picture (and would overflow the size arithmetic).
constexpr int kMaxPictureSide = 16384;

// Kinds whose bytes are a picture of known layout (RGB32 and the four YUV kinds).
bool IsPictureKind(int kind);

// Kinds the display can show (the four YUV kinds; RGB32 is converted first).
bool IsDisplayKind(int kind);

// Planar 4:2:0 kinds (YV12, I420).
inline bool IsPlanar420(int kind) { return kind == kKindYv12 || kind == kKindI420; }

// Bytes a picture of this kind and size occupies: 4 per pixel for RGB32, 2
// for the packed 4:2:2 kinds, the Y plane plus two planes of a quarter of it
// (width * height / 4 each) for the planar kinds. -1 for any other kind or a
// size outside 1..kMaxPictureSide.
std::int64_t PictureBytes(int kind, int width, int height);

// True when a frame of this kind, size and byte count can be read as a
// picture: its sides are within range and size covers PictureBytes.
bool PictureFits(int kind, int width, int height, std::int64_t size);

// Offsets of the second and third planes of a planar 4:2:0 picture, in the
// order they are stored (V then U for YV12, U then V for I420).
inline std::int64_t SecondPlaneOffset(int width, int height) { return static_cast<std::int64_t>(width) * height; }
inline std::int64_t ThirdPlaneOffset(int width, int height) {
    const std::int64_t luma = static_cast<std::int64_t>(width) * height;
    return luma + luma / 4;
}

}  // namespace vd

#endif
