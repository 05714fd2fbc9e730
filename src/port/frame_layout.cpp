#include "port/frame_layout.h"

namespace vd {

bool IsPictureKind(int kind) { return kind >= kKindRgb32 && kind <= kKindYuy2; }

bool IsDisplayKind(int kind) { return kind >= kKindYv12 && kind <= kKindYuy2; }

std::int64_t PictureBytes(int kind, int width, int height) {
    if (!IsPictureKind(kind)) return -1;
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return -1;
    const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
    switch (kind) {
        case kKindRgb32:
            return 4 * pixels;
        case kKindUyvy:
        case kKindYuy2:
            return 2 * pixels;
        default:
            return pixels + 2 * (pixels / 4);
    }
}

bool PictureFits(int kind, int width, int height, std::int64_t size) {
    const std::int64_t needed = PictureBytes(kind, width, height);
    return needed > 0 && size >= needed;
}

}  // namespace vd
