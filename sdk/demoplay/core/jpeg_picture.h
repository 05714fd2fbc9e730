// Decodes one Motion-JPEG picture into a 32-bit RGB picture (blue, green, red,
// unused byte) with bottom-up rows, the layout of frame kind 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace demoplay {

// Fails (returns false) for data that is not a decodable JPEG or whose
// picture is larger than maxWidth x maxHeight; nothing is allocated for such
// a picture beyond what the decoder needs to read its header.
bool DecodeJpegPicture(const uint8_t* data, size_t size, int maxWidth, int maxHeight, std::vector<uint8_t>* out,
                       int* width, int* height);

}  // namespace demoplay
