#include "common/codec_clips.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace vdtest {

std::string ClipPath(const std::string& name) {
  std::string dir = VD_CLIPS_DIR;
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;  // the build's host path, seen from Wine
  return dir + "/" + name;
}

std::vector<uint8_t> ReadClip(const std::string& name) {
  std::ifstream in(ClipPath(name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::vector<uint8_t>> ReferencePictures(const std::string& yuvName, int width, int height) {
  const std::vector<uint8_t> all = ReadClip(yuvName);
  const size_t w = size_t(width), h = size_t(height);
  const size_t bytes = w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
  std::vector<std::vector<uint8_t>> pictures;
  for (size_t at = 0; bytes > 0 && at + bytes <= all.size(); at += bytes)
    pictures.emplace_back(all.begin() + ptrdiff_t(at), all.begin() + ptrdiff_t(at + bytes));
  return pictures;
}

int FindPicture(const std::vector<std::vector<uint8_t>>& pictures, const uint8_t* data, size_t size, size_t from) {
  for (size_t i = from; i < pictures.size(); ++i)
    if (pictures[i].size() == size && std::memcmp(pictures[i].data(), data, size) == 0) return int(i);
  return -1;
}

}  // namespace vdtest
