#include "engine/play_sdk.h"

namespace vd {

const char* const kPlaySdkEntryNames[kPlaySdkEntryCount] = {
    "KV_Initial",    "KV_Free",        "KV_GetDecoderInf", "KV_OpenFile",    "KV_CloseFile",    "KV_GetFileTime",
    "KV_OpenStream", "KV_CloseStream", "KV_InputData",     "KV_ClearBuffer", "KV_GetMediaInfo", "KV_Play",
    "KV_Stop",       "KV_SetPlayTime", "KV_GetPlayTime",   "KV_StartRecord", "KV_StopRecord",
};

}  // namespace vd
