// What vdplay hands the plug-in for a camera watched over RTSP: an AVI
// stream, the form the play SDK reads for video with sound. Its header names
// the video (H.264, H.265 or Motion-JPEG, with the picture size) and, when
// the camera sends sound, the sound (G.711 A-law or mu-law, AAC); then come
// chunks, one picture ('00dc') or one block of sound ('01wb') each, as the
// RTP depacketizer gave them. The movie list has no size: it lasts as long
// as the session.
#ifndef VD_PLAYER_CAMERA_STREAM_H
#define VD_PLAYER_CAMERA_STREAM_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vdplay {

enum class CameraCodec { kH264, kH265, kMjpeg };

struct CameraVideo {
    CameraCodec codec = CameraCodec::kH264;
    int width = 0, height = 0;
    uint32_t rate = 25, scale = 1;  // pictures per second = rate / scale
};

// The sound's format as a WAVEFORMATEX names it.
struct CameraSound {
    uint16_t formatTag = 0;  // kWaveMulaw, kWaveAlaw, kWaveRawAac
    int channels = 1;
    int samplesPerSecond = 8000;
    int bitsPerSample = 8;       // 0 for AAC
    std::vector<uint8_t> extra;  // AAC: the AudioSpecificConfig
};

constexpr uint16_t kWaveAlaw = 0x0006;
constexpr uint16_t kWaveMulaw = 0x0007;
constexpr uint16_t kWaveRawAac = 0x00FF;  // raw access units, the configuration in the format

// The stream's header, up to and including the 'movi' list's header.
std::vector<uint8_t> CameraStreamHeader(const CameraVideo& video, const CameraSound* sound);

// Appends one chunk of the video ('00dc') or the sound ('01wb').
void AppendCameraChunk(std::vector<uint8_t>* out, bool video, const uint8_t* data, size_t size);

// The picture size from the first sequence parameter set in Annex-B bytes
// (H.264, H.265), or from a JPEG's frame header; false when there is none
// or it cannot be read.
bool CameraPictureSize(CameraCodec codec, const uint8_t* data, size_t size, int* width, int* height);

// Follows an H.264 camera's pictures by their frame numbers: a reference
// picture lost on the way (a datagram dropped) shows as a gap, and every
// picture after it refers to what is not there, up to the next key picture.
class FrameNumberCheck {
public:
    // One picture (Annex-B, the parameter sets in it are taken note of):
    // false when it, or a picture before it since the last key picture,
    // follows a gap, so it cannot be decoded as the camera coded it. True
    // while the frame numbers cannot be read (no parameter set yet).
    bool Continues(const uint8_t* data, size_t size);

private:
    int frameNumBits_ = 0;
    bool separatePlanes_ = false;
    bool known_ = false;  // a key picture came since the last gap
    uint32_t lastReference_ = 0;
};

}  // namespace vdplay

#endif  // VD_PLAYER_CAMERA_STREAM_H
