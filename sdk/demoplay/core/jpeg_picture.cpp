#include "core/jpeg_picture.h"

#include <algorithm>
#include <climits>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace demoplay {
namespace {

// The decoder builds each Huffman table in arrays of 256 symbols without
// checking that the table's code counts add up to no more; a hostile picture
// would make it write past them. Every place that could be taken for a
// table definition (FF C4) is checked before the decoder sees the data.
bool HuffmanTablesFit(const uint8_t* data, size_t size) {
  for (size_t p = 0; p + 1 < size; ++p) {
    if (data[p] != 0xFF || data[p + 1] != 0xC4) continue;
    if (p + 4 > size) return true;  // the decoder reads zeros past the end
    size_t length = (size_t(data[p + 2]) << 8) | data[p + 3];
    size_t q = p + 4;
    size_t end = std::min(size, p + 2 + length);
    while (q < end) {
      size_t n = 0;
      for (size_t i = 0; i < 16 && q + 1 + i < size; ++i) n += data[q + 1 + i];
      if (n > 256) return false;
      q += 17 + n;
    }
  }
  return true;
}

}  // namespace

bool DecodeJpegPicture(const uint8_t* data, size_t size, int maxWidth, int maxHeight, std::vector<uint8_t>* out,
                       int* width, int* height) {
  if (!data || size == 0 || size > size_t(INT_MAX)) return false;
  if (!HuffmanTablesFit(data, size)) return false;
  int w = 0, h = 0, comp = 0;
  if (!stbi_info_from_memory(data, int(size), &w, &h, &comp)) return false;
  if (w <= 0 || h <= 0 || w > maxWidth || h > maxHeight) return false;
  int dw = 0, dh = 0;
  unsigned char* rgb = stbi_load_from_memory(data, int(size), &dw, &dh, &comp, 3);
  if (!rgb) return false;
  if (dw != w || dh != h) {
    stbi_image_free(rgb);
    return false;
  }
  out->resize(size_t(w) * size_t(h) * 4);
  for (int y = 0; y < h; ++y) {
    const unsigned char* src = rgb + size_t(y) * size_t(w) * 3;
    uint8_t* dst = out->data() + size_t(h - 1 - y) * size_t(w) * 4;
    for (int x = 0; x < w; ++x) {
      dst[4 * x + 0] = src[3 * x + 2];
      dst[4 * x + 1] = src[3 * x + 1];
      dst[4 * x + 2] = src[3 * x + 0];
      dst[4 * x + 3] = 0;
    }
  }
  stbi_image_free(rgb);
  *width = w;
  *height = h;
  return true;
}

}  // namespace demoplay
