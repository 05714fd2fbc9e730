// The plug-in's two exported functions (C linkage, C calling convention).
//   CreateTalvexObject("IVideoDecoder_M" | "IInterfaceList" | "ILogManager",
//                      reserved, &object) -> 0, or -1 (out untouched)
//   ReleaseTalvexObject(object)            -> 0, or -1 when not made by the plug-in
// At most one IVideoDecoder_M is live at a time.
#ifndef ORVANE_TALVEXOBJECT_H
#define ORVANE_TALVEXOBJECT_H

#ifdef __cplusplus
extern "C" {
#endif

int __cdecl CreateTalvexObject(const char* name, int reserved, void** object);
int __cdecl ReleaseTalvexObject(void* object);

typedef int(__cdecl* CreateTalvexObjectFn)(const char* name, int reserved, void** object);
typedef int(__cdecl* ReleaseTalvexObjectFn)(void* object);

#ifdef __cplusplus
}
#endif

#endif
