// The picture information a port keeps, in the play SDK's own layout.
#ifndef VD_PORT_MEDIA_INFO_H
#define VD_PORT_MEDIA_INFO_H

#include <cstdint>

namespace vd {

// The SDK's 12-byte picture-information block. Only width, height and frame
// rate are read; the rest belongs to the SDK.
#pragma pack(push, 1)
struct MediaInfo {
    std::int16_t width;
    std::int16_t height;
    std::uint8_t frameRate;
    std::uint8_t sdkOwned[7];
};
#pragma pack(pop)
static_assert(sizeof(MediaInfo) == 12, "the SDK fills exactly 12 bytes");

}  // namespace vd

#endif
