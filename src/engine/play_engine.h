// The process-wide play engine: the binding to the play SDK and what the
// decoder operations share across ports (port table, position clock,
// display threads' thread-local slot).
#ifndef VD_ENGINE_PLAY_ENGINE_H
#define VD_ENGINE_PLAY_ENGINE_H

#include <windows.h>

#include <atomic>
#include <map>
#include <string>

#include "engine/play_sdk.h"

namespace vd {

struct PortRecord;

class PlayEngine {
public:
    explicit PlayEngine(const char* sdkFileName);
    ~PlayEngine();
    PlayEngine(const PlayEngine&) = delete;
    PlayEngine& operator=(const PlayEngine&) = delete;

    // Loads the SDK, resolves its entry points and calls KV_Initial; returns
    // its result, or E_FAIL. Does nothing and returns 0 while bound.
    int Initialize();
    // Calls KV_Free, unloads the SDK and returns KV_Free's result; E_FAIL
    // without calling anything when not bound.
    int Release();

    // Brings the position clock back to 0 (every drawn picture counts 40 ms).
    void ResetPositionClock();

    std::atomic<int> pendingFrames{0};
    int positionMs = 0;
    std::map<int, PortRecord*> portTable;
    CRITICAL_SECTION portTableLock;
    DWORD tlsIndex = TLS_OUT_OF_INDEXES;
    std::atomic<int> callbackCount{0};

private:
    std::string sdkFileName_;
    HMODULE sdkModule_ = nullptr;
    PlaySdkTable sdk_{};
    bool bound_ = false;
    bool comInitialized_ = false;  // Initialize's CoInitialize succeeded (S_OK or S_FALSE)
};

}  // namespace vd

#endif
