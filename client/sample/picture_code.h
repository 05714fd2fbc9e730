// The picture number the sample pattern carries where a machine can read it
// back, from a decoded picture or from the screen: two rows of 16 square
// cells at the bottom right, the number's bits (most significant first, white
// for one) above their complement. A reader that finds a cell equal to its
// complement has a damaged, torn or foreign picture and says so.
#ifndef VD_SAMPLE_PICTURE_CODE_H
#define VD_SAMPLE_PICTURE_CODE_H

#include <cstddef>
#include <cstdint>

namespace vdsample {

constexpr int kPictureCodeBits = 16;

struct PictureCodeLayout {
    bool fits = false;  // pictures narrower than 160 or lower than 96 carry no code
    int left = 0, top = 0, cell = 0;
};

PictureCodeLayout PictureCodeLayoutFor(int width, int height);

// Samples of one channel (luma, or one colour of an RGB image), `pixelStep`
// bytes apart in a row and `rowStride` bytes from row to row (negative for
// bottom-up images), covering an image of imageWidth x imageHeight that shows
// a picture of pictureWidth x pictureHeight scaled to it.
struct SampleGrid {
    const uint8_t* first = nullptr;  // the sample at (0, firstRow)
    int firstRow = 0;                // a strip of the image starts at this row
    ptrdiff_t pixelStep = 1;
    ptrdiff_t rowStride = 0;
    int imageWidth = 0, imageHeight = 0;
    int pictureWidth = 0, pictureHeight = 0;
};

// The picture number modulo 65536, or -1 when the code is not whole.
int ReadPictureCode(const SampleGrid& grid);

// How far a decoded picture's luma (width x height, rowStride bytes a row)
// lies from the pattern's own picture `index` at `fps`: the largest mean
// absolute difference of a 16 x 16 block, 0 to 255. A picture coded well
// stays within a few steps; a damaged one (a slice lost, a block concealed
// from another picture) is far off where the damage is.
int WorstBlockDifference(const uint8_t* luma, ptrdiff_t rowStride, int width, int height, int index, int fps);

}  // namespace vdsample

#endif  // VD_SAMPLE_PICTURE_CODE_H
