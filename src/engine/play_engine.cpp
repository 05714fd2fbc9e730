#include "engine/play_engine.h"

#include <objbase.h>

namespace vd {

PlayEngine::PlayEngine(const char* sdkFileName) : sdkFileName_(sdkFileName ? sdkFileName : "") {}

// Unloading the SDK and closing ports is the client's business (Release,
// Close*); at process detach the engine only gives back its own memory.
PlayEngine::~PlayEngine() = default;

void PlayEngine::ResetPositionClock() {
    pendingFrames.store(0);
    positionMs = 0;
}

int PlayEngine::Initialize() {
    if (bound_) return 0;
    pendingFrames.store(0);

    // A previous attempt that failed on a missing entry point left the
    // library loaded; give that reference back before loading again.
    if (sdkModule_) FreeLibrary(sdkModule_);
    sdkModule_ = LoadLibraryExA(sdkFileName_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!sdkModule_) return E_FAIL;

    void** entries = reinterpret_cast<void**>(&sdk_);
    bool complete = true;
    for (int i = 0; i < kPlaySdkEntryCount; ++i) {
        entries[i] = reinterpret_cast<void*>(GetProcAddress(sdkModule_, kPlaySdkEntryNames[i]));
        if (!entries[i]) complete = false;
    }
    if (!complete) return E_FAIL;

    InitializeCriticalSection(&portTableLock);
    // An already initialised thread (S_FALSE) counts as one more
    // initialisation; a thread in the multithreaded apartment refuses it, and
    // then Release must not undo the client's own initialisation.
    comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
    tlsIndex = TlsAlloc();
    bound_ = true;
    return sdk_.initial();
}

int PlayEngine::Release() {
    if (!bound_) return E_FAIL;
    const int result = sdk_.free();
    FreeLibrary(sdkModule_);
    sdkModule_ = nullptr;
    sdk_ = PlaySdkTable{};
    DeleteCriticalSection(&portTableLock);
    TlsFree(tlsIndex);
    tlsIndex = TLS_OUT_OF_INDEXES;
    if (comInitialized_) CoUninitialize();
    comInitialized_ = false;
    bound_ = false;
    return result;
}

}  // namespace vd
