// The process-wide play engine: the binding to the play SDK, the open ports
// and the operations the decoder interface forwards to.
#ifndef VD_ENGINE_PLAY_ENGINE_H
#define VD_ENGINE_PLAY_ENGINE_H

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include <Orvane/Types.h>

#include "audio/mixer.h"
#include "engine/play_sdk.h"
#include "port/port_table.h"
#include "engine/sdk_library.h"
#include "video/output_chooser.h"
#include "video/port_presentation.h"

namespace vd {

class PlayEngine {
public:
    explicit PlayEngine(const char* sdkFileName);
    ~PlayEngine();
    PlayEngine(const PlayEngine&) = delete;
    PlayEngine& operator=(const PlayEngine&) = delete;

    // ---- binding (play_engine.cpp)
    // Loads the SDK, resolves its entry points and calls KV_Initial; returns
    // its result, or E_FAIL. Does nothing and returns 0 while bound.
    int Initialize();
    // Calls KV_Free, unloads the SDK and returns KV_Free's result; E_FAIL
    // without calling anything when not bound.
    int Release();
    bool bound() const { return bound_; }
    const PlaySdkTable& sdk() const { return sdk_; }

    // The record of an open port, or null.
    std::shared_ptr<PortRecord> FindPort(int port) { return shared_.ports.Find(port); }
    PositionClock& clock() { return shared_.clock; }

    // ---- opening and closing ports (port_operations.cpp)
    int OpenFile(const char* fileName, int* port);
    int OpenStream(const void* header, int headerLength, int pacedStream, int* port);
    int CloseFile(int port);
    int CloseStream(int port);

    // ---- playback (playback_control.cpp); the record is the port's own
    int Play(int port, PortRecord& record, HWND window);
    int Stop(int port, PortRecord& record);
    int Pause(PortRecord& record, int pause);
    int SetPlayTime(int port, PortRecord& record, int seconds);
    int GetPlayTime(int* seconds);
    int SetPlayPos(int port, PortRecord& record, int percent);
    int GetPlayPos(int port, int* percent);
    int SetPlaySpeed(PortRecord& record, int speed);
    int GetPlaySpeed(PortRecord& record, int* speed);
    int OneByOne(PortRecord& record);
    int Refresh(PortRecord& record);
    int GetPictureSize(int port, int* width, int* height);
    int SetNotify(PortRecord& record, int type, int first, int second);
    int SetDecodeCallBack(PortRecord& record, Orvane::DecodeCallBack callback, int context);
    // Saves the picture on display as a bitmap file.
    int Snapshot(PortRecord& record, const char* fileName);

    // ---- sound (sound_control.cpp); the record is the port's own
    int OpenSound(PortRecord& record);
    // E_FAIL when the audio thread did not end in time.
    int CloseSound(PortRecord& record);
    int SetVolume(PortRecord& record, unsigned int volume);

private:
    using SdkClose = int(__cdecl*)(int port);
    int OpenPort(std::shared_ptr<PortRecord> record, std::shared_ptr<PortPresentation> presentation, int* port,
                 int openResult);
    // The presentation state of an open port, or null.
    std::shared_ptr<PortPresentation> FindPresentation(int port);
    int ClosePort(int port, SdkClose close);
    // Ends what Play started (display thread, queued pictures) without
    // calling the SDK.
    void EndPlayback(PortRecord& record);
    // Switches the port's sound off: ends its audio thread and drops the
    // sound still queued. False when the thread did not end in time.
    bool EndSound(PortRecord& record);
    // Both of the above: nothing of ours runs for the port any more.
    void EndThreads(PortRecord& record) {
        EndPlayback(record);
        EndSound(record);
    }

    std::string sdkFileName_;
    SdkLibrary library_;
    PlaySdkTable sdk_{};
    bool bound_ = false;
    DWORD comThread_ = 0;  // the thread whose CoInitialize in Initialize succeeded (S_OK or S_FALSE)
    PlayShared shared_;
    // Each open port's presentation state (its overlay), kept beside its
    // record; the lock guards one look-up, insertion or removal at a time.
    CriticalSection presentationsLock_;
    std::map<int, std::shared_ptr<PortPresentation>> presentations_;
    OutputVerdict outputVerdict_;  // which video output is cheaper here, for every port
    CMixer mixer_;
};

}  // namespace vd

#endif
