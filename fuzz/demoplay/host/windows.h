// The one Windows call the SDK's decoder wrapper makes, for its host build
// against the system's libavcodec. One processor: decoding then runs on the
// calling thread alone, so that an input decodes the same way every time.
#pragma once

typedef unsigned long DWORD;
struct SYSTEM_INFO {
  DWORD dwNumberOfProcessors;
};
inline void GetSystemInfo(SYSTEM_INFO* info) { info->dwNumberOfProcessors = 1; }
