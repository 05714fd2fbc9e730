#include "engine/play_engine.h"

#include <objbase.h>

namespace vd {

PlayEngine::PlayEngine(const char* sdkFileName) : sdkFileName_(sdkFileName ? sdkFileName : "") {}

// Closing ports and unloading the SDK happen when the client asks (Close*,
// Release). At process detach a library still bound is left loaded: no
// library may be freed from inside DllMain, and the SDK's own threads may
// still be running in it.
PlayEngine::~PlayEngine() { library_.Abandon(); }

int PlayEngine::Initialize() {
    if (bound_) return 0;
    shared_.clock.Reset();

    // A previous attempt that failed on a missing entry point left the
    // library loaded; Load gives that reference back first.
    if (!library_.Load(sdkFileName_)) return E_FAIL;
    if (!library_.ResolveAll(&sdk_)) return E_FAIL;

    // An already initialised thread (S_FALSE) counts as one more
    // initialisation; a thread in the multithreaded apartment refuses it, and
    // then Release must not undo the client's own initialisation.
    comThread_ = SUCCEEDED(CoInitialize(nullptr)) ? GetCurrentThreadId() : 0;
    bound_ = true;
    return sdk_.initial();
}

int PlayEngine::Release() {
    if (!bound_) return E_FAIL;
    // Ports the client left open are stopped and their threads ended before
    // the SDK goes: nothing may run in its code, or in ours once the client
    // unloads us.
    for (auto& [port, record] : shared_.ports.RemoveAll()) {
        if (record->IsPlaying()) Stop(port, *record);
        EndThreads(*record);
    }
    {
        ScopedLock guard(presentationsLock_);
        presentations_.clear();
    }
    const int result = sdk_.free();
    library_.Unload();
    sdk_ = PlaySdkTable{};
    // COM is given back by the thread that took it; a Release from another
    // thread leaves that thread's initialisation alone (it ends with it).
    if (comThread_ != 0 && comThread_ == GetCurrentThreadId()) CoUninitialize();
    comThread_ = 0;
    bound_ = false;
    return result;
}

}  // namespace vd
