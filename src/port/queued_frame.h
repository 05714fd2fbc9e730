// One frame the plug-in keeps: a heap copy of the SDK's bytes and what the
// SDK said about them. Whoever holds the QueuedFrame owns its bytes.
#ifndef VD_PORT_QUEUED_FRAME_H
#define VD_PORT_QUEUED_FRAME_H

#include <cstdint>
#include <memory>
#include <new>

namespace vd {

struct QueuedFrame {
    std::unique_ptr<std::uint8_t[]> data;
    int size = 0;
    unsigned int stamp = 0;
    int kind = 0;
    int width = 0;
    int height = 0;
    int frameRate = 0;

    bool HasData() const { return data != nullptr; }

    // Room for size bytes, uninitialised; false (and no data) when the
    // memory is not there.
    bool Allocate(int bytes) {
        data.reset(bytes > 0 ? new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)] : nullptr);
        size = data ? bytes : 0;
        return data != nullptr;
    }
};

}  // namespace vd

#endif
