// One frame the plug-in keeps: a heap copy of the SDK's bytes and what the
// SDK said about them. Whoever holds the QueuedFrame owns its bytes. A frame
// of a picture kind always holds the whole picture: only AllocatePicture,
// which checks the kind and size, makes one.
#ifndef VD_PORT_QUEUED_FRAME_H
#define VD_PORT_QUEUED_FRAME_H

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "port/frame_layout.h"

namespace vd {

struct QueuedFrame {
    std::unique_ptr<std::uint8_t[]> data;
    int size = 0;
    unsigned int stamp = 0;
    FrameKind kind = kKindNotification;
    int width = 0;
    int height = 0;
    int frameRate = 0;

    bool HasData() const { return data != nullptr; }

    // Room for size bytes of a frame that is not a picture (sound),
    // uninitialised; false (and no data) when the memory is not there.
    bool Allocate(int bytes) {
        data.reset(bytes > 0 ? new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)] : nullptr);
        size = data ? bytes : 0;
        return data != nullptr;
    }

    // Room for the planes of a picture of this kind and size (exactly
    // PictureBytes), uninitialised, with kind, width and height set; false
    // (and no data) for a kind or size that is not a picture's, or when the
    // memory is not there. The bytes of `spare` are taken when there are
    // exactly as many as the picture needs (a picture done with, of the same
    // size); otherwise new ones are allocated and spare is left as it was.
    bool AllocatePicture(FrameKind pictureKind, int pictureWidth, int pictureHeight, QueuedFrame* spare = nullptr) {
        data.reset();
        size = 0;
        const std::int64_t bytes = PictureBytes(pictureKind, pictureWidth, pictureHeight);
        if (bytes <= 0 || bytes > INT32_MAX) return false;
        if (spare && spare->data && spare->size == bytes) {
            data = std::move(spare->data);
            size = spare->size;
            spare->size = 0;
        } else if (!Allocate(static_cast<int>(bytes))) {
            return false;
        }
        kind = pictureKind;
        width = pictureWidth;
        height = pictureHeight;
        return true;
    }
};

}  // namespace vd

#endif
