// The values of an overlay side file: colours, stamps and points, as text.
#ifndef VD_OVERLAY_OVERLAY_VALUES_H
#define VD_OVERLAY_OVERLAY_VALUES_H

#include <cstdint>
#include <string_view>

#include "overlay/overlay_item.h"
#include "xml/char_class.h"

namespace vd {

// "Color": six hexadecimal digits in either case, red, green and blue, give
// 0x00BBGGRR; any other text gives black (0). The text ends at a NUL.
uint32_t ParseOverlayColor(std::string_view value);

// "Stamp": decimal seconds (read as the C library's atof reads them in the
// "C" locale, but never as hexadecimal, infinity or NaN) times 1000,
// truncated toward zero; the low 32 bits of that 64-bit number. Text that is
// no number, and products beyond 64 bits, give 0.
uint32_t ParseOverlayStamp(std::string_view value);

// A point "x,y" ("Point" text and "Pos"): split at the first comma (stepping
// over the double-byte characters of `classes`), each side stripped of
// blanks (' ' only), neither side empty; each side read as atoi reads it,
// limited to the 32-bit range. False, with `point` untouched, when invalid.
bool ParseOverlayPoint(std::string_view value, const CharClasses& classes, OverlayPoint& point);

}  // namespace vd

#endif
