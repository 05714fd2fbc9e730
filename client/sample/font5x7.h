// A 5 x 7 pixel font for the texts burnt into the sample pictures (the clock,
// the frame number, a caption). Upper-case letters, digits and a few signs.
#ifndef VD_SAMPLE_FONT5X7_H
#define VD_SAMPLE_FONT5X7_H

#include <cstdint>

namespace vdsample {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// Seven rows of five bits (bit 4 is the left column) for a character; a
// blank glyph for characters the font does not have. Lower-case letters are
// drawn as upper-case ones.
const uint8_t* Glyph(char c);

}  // namespace vdsample

#endif  // VD_SAMPLE_FONT5X7_H
