// The one Windows call the SDK's decoder wrapper makes, for its host build
// against the system's libavcodec. One processor: decoding then runs on the
// calling thread alone, so that an input decodes the same way every time.
#ifndef VD_FUZZ_DEMOPLAY_HOST_WINDOWS_H
#define VD_FUZZ_DEMOPLAY_HOST_WINDOWS_H

typedef unsigned long DWORD;
struct SYSTEM_INFO {
    DWORD dwNumberOfProcessors;
};
inline void GetSystemInfo(SYSTEM_INFO* info) { info->dwNumberOfProcessors = 1; }

#endif  // VD_FUZZ_DEMOPLAY_HOST_WINDOWS_H
