// Process attach creates the one play engine with the path of the play SDK
// named by this module's file name; process detach destroys it.
#include <windows.h>

#include <new>

#include "engine/engine_instance.h"
#include "engine/play_engine.h"
#include "module/module_paths.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            vd::SetModuleInstance(instance);
            try {
                vd::SetTheEngine(new vd::PlayEngine(vd::PlaySdkFileName().c_str()));
            } catch (const std::bad_alloc&) {
                // The decoder then reports E_FAIL for everything that needs the engine.
            }
            break;
        case DLL_PROCESS_DETACH:
            delete vd::TheEngine();
            break;
        default:
            break;
    }
    return TRUE;
}
