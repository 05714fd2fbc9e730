#include "common/codec_clips.h"

#include <algorithm>
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

std::vector<std::vector<uint8_t>> ReferencePictures(const std::string& yuvName, int width, int height, bool yuv422) {
  const std::vector<uint8_t> all = ReadClip(yuvName);
  const size_t w = size_t(width), h = size_t(height);
  const size_t bytes = w * h + 2 * ((w + 1) / 2) * (yuv422 ? h : (h + 1) / 2);
  std::vector<std::vector<uint8_t>> pictures;
  for (size_t at = 0; bytes > 0 && at + bytes <= all.size(); at += bytes)
    pictures.emplace_back(all.begin() + ptrdiff_t(at), all.begin() + ptrdiff_t(at + bytes));
  return pictures;
}

std::vector<uint8_t> SwapChromaPlanes(const std::vector<uint8_t>& picture, int width, int height) {
  const size_t luma = size_t(width) * size_t(height), chroma = size_t(width / 2) * size_t(height / 2);
  std::vector<uint8_t> out(picture);
  if (picture.size() < luma + 2 * chroma) return out;
  std::copy(picture.begin() + ptrdiff_t(luma), picture.begin() + ptrdiff_t(luma + chroma),
            out.begin() + ptrdiff_t(luma + chroma));
  std::copy(picture.begin() + ptrdiff_t(luma + chroma), picture.begin() + ptrdiff_t(luma + 2 * chroma),
            out.begin() + ptrdiff_t(luma));
  return out;
}

std::vector<uint8_t> PackYuy2(const std::vector<uint8_t>& planar422, int width, int height) {
  const size_t w = size_t(width), h = size_t(height), luma = w * h, chroma = w / 2 * h;
  std::vector<uint8_t> out(2 * luma);
  if (planar422.size() < luma + 2 * chroma) return {};
  const uint8_t* y = planar422.data();
  const uint8_t* u = y + luma;
  const uint8_t* v = u + chroma;
  for (size_t i = 0; i < luma / 2; ++i) {
    out[4 * i] = y[2 * i];
    out[4 * i + 1] = u[i];
    out[4 * i + 2] = y[2 * i + 1];
    out[4 * i + 3] = v[i];
  }
  return out;
}

int FindPicture(const std::vector<std::vector<uint8_t>>& pictures, const uint8_t* data, size_t size, size_t from) {
  for (size_t i = from; i < pictures.size(); ++i)
    if (pictures[i].size() == size && std::memcmp(pictures[i].data(), data, size) == 0) return int(i);
  return -1;
}

}  // namespace vdtest
