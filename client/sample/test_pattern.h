// The sample recording's pictures: colour bars over a band in which a white
// square moves to and fro, with a running clock and the picture number burnt
// in (and the number again as a code a machine reads back, picture_code.h).
// Everything is a function of the picture's time, so the overlay file and
// the checks of a snapshot can tell where each part is.
#ifndef VD_SAMPLE_TEST_PATTERN_H
#define VD_SAMPLE_TEST_PATTERN_H

#include <cstdint>
#include <string>
#include <vector>

namespace vdsample {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Rect {
    int left, top, right, bottom;  // right and bottom exclusive
};

// A picture of 24-bit pixels, rows top-down, red, green, blue per pixel.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    Image(int w, int h) : width(w), height(h), rgb(size_t(w) * size_t(h) * 3, 0) {}
    Rgb At(int x, int y) const;
    void Fill(const Rect& r, Rgb c);
    // Text in the 5 x 7 font, each font pixel scale x scale; clipped.
    void Text(int x, int y, int scale, const std::string& text, Rgb c);
};

constexpr int kBarCount = 8;

// The bars, left to right: white, yellow, cyan, green, magenta, red, blue,
// black, at 75 % level.
Rgb BarColour(int index);
// Where bar `index` lies in a picture of the given size (static over time).
Rect BarRect(int width, int height, int index);
// Where the moving square is at time `ms`: it crosses the lower band in
// two seconds and comes back in two more.
Rect SquareRect(int width, int height, uint32_t ms);
// "HH:MM:SS.mmm" for a time in milliseconds.
std::string ClockText(uint32_t ms);
// Draws picture `index` of a recording at `fps` pictures per second.
Image RenderPicture(int width, int height, int index, int fps);
// Time stamp of picture `index`, in whole milliseconds, as a player gives it.
uint32_t PictureStampMs(int index, int fps);

}  // namespace vdsample

#endif  // VD_SAMPLE_TEST_PATTERN_H
