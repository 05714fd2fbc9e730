// The H.264, H.265 and Motion-JPEG clips that tests/demoplay/make-clips makes
// at test time (a ctest fixture step), with ffmpeg's own decode of each.
#pragma once

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

}  // namespace vdtest
