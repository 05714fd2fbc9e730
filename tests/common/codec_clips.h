// The H.264, H.265 and Motion-JPEG clips that tests/sdk/make-clips makes
// at test time (a ctest fixture step), with ffmpeg's own decode of each.
#ifndef VD_TESTS_COMMON_CODEC_CLIPS_H
#define VD_TESTS_COMMON_CODEC_CLIPS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vdtest {

// The Windows path of a clip ("h264.avi", "hevc.h265", ...), in the folder
// the fixture step fills (VD_CLIPS_DIR, the build's host path).
std::string ClipPath(const std::string& name);
// The whole file; empty when it cannot be read.
std::vector<uint8_t> ReadClip(const std::string& name);

// ffmpeg's pictures of a clip: raw planar pictures of one size one after the
// other (4:2:0, or 4:2:2 with yuv422), cut into pictures.
std::vector<std::vector<uint8_t>> ReferencePictures(const std::string& yuvName, int width, int height,
                                                    bool yuv422 = false);

// The same pictures in the SDK's other layouts: planar 4:2:0 with the chroma
// planes swapped (YV12), planar 4:2:2 packed as Y0 U Y1 V (YUY2).
std::vector<uint8_t> SwapChromaPlanes(const std::vector<uint8_t>& picture, int width, int height);
std::vector<uint8_t> PackYuy2(const std::vector<uint8_t>& planar422, int width, int height);

// Where a picture lies among the reference pictures (-1: nowhere), looking
// from `from` on.
int FindPicture(const std::vector<std::vector<uint8_t>>& pictures, const uint8_t* data, size_t size, size_t from = 0);

// An AVI file cut as a live sender sends it: the headers up to and including
// the movie list's header, then each chunk of the list (its header, data and
// pad byte) on its own, then the rest (the index).
struct AviPieces {
    size_t headerLength = 0;
    struct Chunk {
        size_t offset, length;
        bool video;
    };
    std::vector<Chunk> chunks;
    size_t restOffset = 0;
};
AviPieces CutAvi(const std::vector<uint8_t>& file);

// What the machine's ffmpeg makes of a file (a Windows path): the error
// messages of ffprobe and of a whole decode (empty for a clean file), the
// video stream's frame count in its header and the packets it holds, and
// the pictures ffmpeg decodes (one thread, as planar 4:2:0 of the given size,
// or 4:2:2 with yuv422; topFieldFirst tells the decoder the order of the
// fields of interlaced Motion-JPEG, which an AVI file does not say), and
// the key flag of each video packet in file order ('K' or '_'; its H.264 and
// H.265 parsers set them from the pictures themselves, not from the index).
struct FfmpegView {
    bool ran = false;
    std::string errors;
    int headerFrames = -1;
    int packets = -1;
    std::string keyFlags;
    std::vector<std::vector<uint8_t>> pictures;
};
FfmpegView ViewWithFfmpeg(const std::string& windowsPath, int width, int height, bool yuv422 = false,
                          bool topFieldFirst = false);

// ffmpeg's decode of a file's sound as raw samples of `format` ("s16le",
// "f32le"), in its own rate and channels; `errors` gets what ffmpeg
// complains of (empty for a clean file).
std::vector<uint8_t> FfmpegSound(const std::string& windowsPath, const char* format, std::string* errors);

// The data of the AVI file's sound chunks (the first movie list's), one after
// the other, and how many chunks there are.
std::vector<uint8_t> SoundChunkData(const std::vector<uint8_t>& file, size_t* chunks = nullptr);

}  // namespace vdtest

#endif  // VD_TESTS_COMMON_CODEC_CLIPS_H
