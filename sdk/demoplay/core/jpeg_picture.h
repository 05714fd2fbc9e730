// Decodes one Motion-JPEG picture into a 32-bit RGB picture (blue, green, red,
// unused byte) with bottom-up rows, the layout of frame kind 2.
#ifndef DEMOPLAY_CORE_JPEG_PICTURE_H
#define DEMOPLAY_CORE_JPEG_PICTURE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace demoplay {

// Fails (returns false) for data that is not a decodable JPEG or whose
// picture is larger than maxWidth x maxHeight; nothing is allocated for such
// a picture beyond what the decoder needs to read its header.
bool DecodeJpegPicture(const uint8_t* data, size_t size, int maxWidth, int maxHeight, std::vector<uint8_t>* out,
                       int* width, int* height);

// Decodes the picture of one Motion-JPEG chunk in the same layout. An
// interlaced chunk holds two JPEG fields of half height, the top one first;
// they are woven into one picture of full height. A lone field of half the
// stream's height (its other field lost) has its lines doubled.
bool DecodeMotionJpeg(const uint8_t* data, size_t size, int streamWidth, int streamHeight, std::vector<uint8_t>* out,
                      int* width, int* height);

// Where the second JPEG of a chunk starts (after the end of the first
// one's scans), or 0 when there is none.
size_t SecondFieldAt(const uint8_t* data, size_t size);

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_JPEG_PICTURE_H
