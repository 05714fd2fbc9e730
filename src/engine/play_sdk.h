// The play SDK's entry points as the plug-in calls them: C calling
// convention, 32-bit arguments and results, negative results mean failure.
#ifndef VD_ENGINE_PLAY_SDK_H
#define VD_ENGINE_PLAY_SDK_H

#include <cstdint>

#include "port/media_info.h"

namespace vd {

// The frame callback the plug-in hands to KV_Play (standard call, nine
// 32-bit arguments, returns 0).
typedef int(__stdcall* SdkFrameCallback)(int port, const void* data, int size, int width, int height,
                                         unsigned int stamp, int kind, int frameRate, void* user);

extern "C" {
typedef int(__cdecl* KvInitialFn)();
typedef int(__cdecl* KvFreeFn)();
typedef int(__cdecl* KvGetDecoderInfFn)(char* buffer, int size);
typedef int(__cdecl* KvOpenFileFn)(const char* fileName, int* port);
typedef int(__cdecl* KvCloseFileFn)(int port);
typedef int(__cdecl* KvGetFileTimeFn)(int port, int* seconds);
typedef int(__cdecl* KvOpenStreamFn)(const void* header, int headerLength, int* port);
typedef int(__cdecl* KvCloseStreamFn)(int port);
typedef int(__cdecl* KvInputDataFn)(int port, const void* data, int length);
typedef int(__cdecl* KvClearBufferFn)(int port);
typedef int(__cdecl* KvGetMediaInfoFn)(int port, MediaInfo* info);
typedef int(__cdecl* KvPlayFn)(int port, SdkFrameCallback callback, void* user);
typedef int(__cdecl* KvStopFn)(int port);
typedef int(__cdecl* KvSetPlayTimeFn)(int port, int seconds);
typedef int(__cdecl* KvGetPlayTimeFn)(int port, int* seconds);
typedef int(__cdecl* KvStartRecordFn)(int port, const char* fileName);
typedef int(__cdecl* KvStopRecordFn)(int port);
}

// The 17 resolved entry points, in the order they are resolved.
struct PlaySdkTable {
    KvInitialFn initial;
    KvFreeFn free;
    KvGetDecoderInfFn getDecoderInf;
    KvOpenFileFn openFile;
    KvCloseFileFn closeFile;
    KvGetFileTimeFn getFileTime;
    KvOpenStreamFn openStream;
    KvCloseStreamFn closeStream;
    KvInputDataFn inputData;
    KvClearBufferFn clearBuffer;
    KvGetMediaInfoFn getMediaInfo;
    KvPlayFn play;
    KvStopFn stop;
    KvSetPlayTimeFn setPlayTime;
    KvGetPlayTimeFn getPlayTime;
    KvStartRecordFn startRecord;
    KvStopRecordFn stopRecord;
};

constexpr int kPlaySdkEntryCount = 17;
static_assert(sizeof(PlaySdkTable) == kPlaySdkEntryCount * sizeof(void*), "one pointer per entry point");

// GetProcAddress's result as the entry point's own type.
template <typename Fn>
Fn EntryPointCast(void (*address)()) {
    return reinterpret_cast<Fn>(address);
}

// Entry-point names in the order of PlaySdkTable's fields.
extern const char* const kPlaySdkEntryNames[kPlaySdkEntryCount];

}  // namespace vd

#endif
