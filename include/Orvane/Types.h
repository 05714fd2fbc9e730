// Types shared by the client and the video-decoder plug-in.
#ifndef ORVANE_TYPES_H
#define ORVANE_TYPES_H

#include <windows.h>

namespace Orvane {

// What the decode callback receives with every picture and sound block.
// Five 32-bit fields, valid only during the call.
struct FrameInfo {
    int width;           // picture width in pixels (as delivered for sound)
    int height;          // picture height in pixels (as delivered for sound)
    unsigned int stamp;  // time stamp in milliseconds
    int kind;            // 1 sound, 2 RGB32, 3 YV12, 4 UYVY, 5 I420, 6 YUY2
    int frameRate;       // pictures per second, 0 when not given
};

// The client's decode callback: called on the play SDK's decoding thread
// with the SDK's own buffer; its result is ignored.
typedef int(CALLBACK* DecodeCallBack)(int port, const void* data, int size, FrameInfo* info, int context);

}  // namespace Orvane

#endif
