// The ".lti" side file of the sample: an XML overlay that draws a green box
// around the moving square, a tag that follows it, and a fixed caption in the
// bottom right corner, on the dark band.
//
// Overlay items end at the last stamp group that mentions them again without
// a colour, and that end is inclusive. So each picture's box is defined in a
// group at that picture's stamp and ended in a group one millisecond before
// the next picture's: exactly one box is visible on every picture.
#ifndef VD_SAMPLE_OVERLAY_FILE_H
#define VD_SAMPLE_OVERLAY_FILE_H

#include <cstdint>
#include <string>

namespace vdsample {

struct OverlayPlan {
    int width = 0;
    int height = 0;
    int fps = 25;
    int pictures = 0;
    std::string caption = "CAMERA 1";
};

// The whole side file.
std::string OverlayDocument(const OverlayPlan& plan);

// A stamp attribute value that reads back (decimal seconds times 1000,
// truncated) as exactly `ms`.
std::string StampText(uint32_t ms);

// Overlay colours are written "rrggbb" in lower case.
constexpr const char* kBoxColour = "00ff00";
constexpr const char* kTagColour = "ffff00";
constexpr const char* kCaptionColour = "ffffff";

}  // namespace vdsample

#endif  // VD_SAMPLE_OVERLAY_FILE_H
