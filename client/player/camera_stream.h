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

}  // namespace vdplay

#endif  // VD_PLAYER_CAMERA_STREAM_H
