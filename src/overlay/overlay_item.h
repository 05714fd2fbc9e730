// One overlay shape read from a side file: a polyline or a text, with the time
// span (milliseconds, as the frames are stamped) in which it is drawn.
// Plain data, shared by the side-file reader and the drawing.
#ifndef VD_OVERLAY_OVERLAY_ITEM_H
#define VD_OVERLAY_OVERLAY_ITEM_H

#include <cstdint>
#include <string>
#include <vector>

namespace vd {

// Only the low 4 bits of a kind are ever compared.
enum OverlayKind : uint32_t {
    kOverlayLine = 0,  // a polyline through `points`
    kOverlayText = 1,  // `text` drawn from `textPos`
};

constexpr uint32_t OverlayKindBits(uint32_t kind) { return kind & 0xF; }

// Same layout as the platform's POINT: two signed 32-bit coordinates.
struct OverlayPoint {
    int32_t x = 0;
    int32_t y = 0;
};

inline bool operator==(const OverlayPoint& a, const OverlayPoint& b) { return a.x == b.x && a.y == b.y; }

constexpr uint32_t kOverlayOpenEnded = 0xFFFFFFFF;

struct OverlayItem {
    std::string id;                      // compared byte for byte
    uint32_t beginMs = 0;                // stamp of the group that defined it
    uint32_t endMs = kOverlayOpenEnded;  // stamp of the last group that mentioned it again
    uint32_t kind = kOverlayLine;
    uint32_t color = 0;                // 0x00BBGGRR
    std::vector<OverlayPoint> points;  // vertices of a Line, in file order
    OverlayPoint textPos;              // where a Text starts
    std::string text;                  // ANSI code page
};

// Drawn on a picture stamped `stampMs` (both ends inclusive, unsigned).
inline bool OverlayItemCovers(const OverlayItem& item, uint32_t stampMs) {
    return item.beginMs <= stampMs && stampMs <= item.endMs;
}

// On a stream port, an item whose span ended before the picture's stamp is
// gone for good.
inline bool OverlayItemExpired(const OverlayItem& item, uint32_t stampMs) { return item.endMs < stampMs; }

}  // namespace vd

#endif
