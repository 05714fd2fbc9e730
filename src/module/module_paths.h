// The plug-in's own file name and the path of the play SDK it drives, worked
// out from the module's path once and cached after the first success.
#ifndef VD_MODULE_MODULE_PATHS_H
#define VD_MODULE_MODULE_PATHS_H

#include <windows.h>

#include <string>

namespace vd {

// Set at process attach; identifies the module whose path is asked for.
void SetModuleInstance(HINSTANCE instance);

// "VD2_DemoPlay.dll" for a plug-in at D:\Client\VD2_DemoPlay.dll; empty when
// it cannot be worked out (then the next call tries again).
std::string ModuleFileName();

// "D:\Client\DemoPlay.dll" for the same plug-in; empty when the path cannot
// be read or the file name has no underscore.
std::string PlaySdkFileName();

}  // namespace vd

#endif
