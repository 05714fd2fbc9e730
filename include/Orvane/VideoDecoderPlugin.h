// Everything a client needs to use the video-decoder plug-in.
#ifndef ORVANE_VIDEODECODERPLUGIN_H
#define ORVANE_VIDEODECODERPLUGIN_H

#include "Types.h"
#include "IVideoDecoder_M.h"
#include "IInterfaceList.h"
#include "ILogManager.h"
#include "TalvexObject.h"

#endif
