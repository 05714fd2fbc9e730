// The overlay side file of a recording ("<media path with extension .lti>"):
// an XML document of stamp groups holding "Line" and "Text" elements, read
// once when the file port opens into the port's overlay items.
//
//   <Overlay>
//     <Group Stamp="1.5">                       seconds
//       <Line ID="a" Color="ff0000"><Point>10, 20</Point><Point>30,40</Point></Line>
//       <Text ID="t" Color="00FF00" Pos="5,5">speed &gt; 50</Text>
//     </Group>
//     <Group Stamp="2"><Line ID="a"/></Group>   ends "a" at 2000 ms
//   </Overlay>
//
// An item is defined by the first group that names its ID (per kind); each
// later group naming the same ID moves the end of the first such item to its
// stamp, and when it gives a "Color" also defines a further item from there.
#ifndef VD_OVERLAY_OVERLAY_FILE_H
#define VD_OVERLAY_OVERLAY_FILE_H

#include <string>

#include "overlay/overlay_item_list.h"
#include "overlay/overlay_lock.h"

namespace vd {

class XmlDocument;

// Reads the side file at `path` (converted into the ANSI code page) and
// appends its items to `overlayItems`, taking `overlayLock` around each
// look-up-and-update and each append. False when the file cannot be read or
// is not well formed; it then contributes nothing. Linear in the file's size.
bool LoadOverlayFile(OverlayLock& overlayLock, const char* path, OverlayItemList& overlayItems);

// The same for a side file already in memory, in the ANSI code page.
bool LoadOverlayText(OverlayLock& overlayLock, std::string text, OverlayItemList& overlayItems);

}  // namespace vd

#endif
