// Running an open port: play, stop, pause, seek, speed, stepping, redraw,
// and the questions about length, position and picture size. The threads
// that do the work are told through the record's events and fields.
#include <climits>
#include <cstdint>

#include "engine/play_engine.h"
#include "engine/frame_intake.h"
#include "video/display_thread.h"
#include "video/snapshot.h"

namespace vd {

namespace {

// "打开播放线程\r\n" in code page 936.
const char kStartingDisplay[] = "\xB4\xF2\xBF\xAA\xB2\xA5\xB7\xC5\xCF\xDF\xB3\xCC\r\n";

int ClampToInt(std::int64_t value) {
    return value > INT_MAX ? INT_MAX : (value < INT_MIN ? INT_MIN : static_cast<int>(value));
}

}  // namespace

int PlayEngine::Play(int port, PortRecord& record, HWND window) {
    ScopedLock control(record.controlLock);
    // Play during stepping only goes back to normal playing.
    if (record.stepMode.exchange(0) != 0) return 0;
    if (record.playing) return E_FAIL;

    record.stopEvent.Reset();
    record.pauseEvent.Reset();
    record.refreshEvent.Reset();
    record.displayQuitEvent.Reset();
    if (window) {
        record.videoWindow.store(window);
        OutputDebugStringA(kStartingDisplay);
        record.displayThread = StartDisplayThread(record.shared_from_this(), FindPresentation(port), &shared_.clock,
                                                  &outputVerdict_, port);
        if (!record.displayThread) {
            record.videoWindow.store(nullptr);
            record.stopEvent.Set();
            return E_FAIL;
        }
    }
    record.playing = true;
    const int result = sdk_.play(port, VideoCallBack, &shared_);
    shared_.callbackCount.store(0);
    if (result < 0) {
        // The SDK refused: the port is left as it was before Play.
        EndPlayback(record);
        return result;
    }
    return 0;
}

void PlayEngine::EndPlayback(PortRecord& record) {
    ScopedLock control(record.controlLock);
    record.stopEvent.Set();
    if (record.displayThread) {
        record.displayQuitEvent.Set();
        WaitForSingleObject(record.displayThread, INFINITE);
        CloseHandle(record.displayThread);
        record.displayThread = nullptr;
    }
    record.videoWindow.store(nullptr);
    record.pauseEvent.Reset();
    record.videoQueue.Clear();
    record.stepMode.store(0);
    record.playing = false;
}

int PlayEngine::Stop(int port, PortRecord& record) {
    ScopedLock control(record.controlLock);
    // The stop event first: an SDK thread held in the intake (paused, or a
    // full queue) returns, so KV_Stop can finish.
    record.stopEvent.Set();
    const int result = sdk_.stop(port);
    // No picture can arrive any more; the display thread can go.
    EndPlayback(record);
    return result;
}

int PlayEngine::Pause(PortRecord& record, int pause) {
    // Only a port shown in a window can be paused.
    if (!record.videoWindow.load()) return 0;
    if (pause != 0) {
        record.pauseEvent.Set();
    } else {
        record.pauseEvent.Reset();
    }
    return 0;
}

int PlayEngine::SetPlayTime(int port, PortRecord& record, int seconds) {
    if (record.videoWindow.load()) record.videoQueue.Clear();
    record.audioQueue.Clear();
    const int result = sdk_.setPlayTime(port, seconds);
    // A picture or sound block the SDK was handing over while it seeked
    // came from before the seek: out with it too, and a frame still waiting
    // for room in the intake is dropped there (a new queue generation).
    if (record.videoWindow.load()) record.videoQueue.Clear();
    record.audioQueue.Clear();
    // In step mode the picture held from before the seek is dropped, and the
    // first one after it is shown.
    if (record.stepMode.load() != 0) record.stepSeekEvent.Set();
    shared_.clock.SeekToSeconds(seconds);
    return result;
}

int PlayEngine::GetPlayTime(int* seconds) {
    const int ms = shared_.clock.UpToDateMs();
    if (seconds) *seconds = ms / 1000;
    return 0;
}

int PlayEngine::SetPlayPos(int port, PortRecord& record, int percent) {
    int total = 0;
    sdk_.getFileTime(port, &total);
    return SetPlayTime(port, record, ClampToInt(static_cast<std::int64_t>(total) * percent / 100));
}

int PlayEngine::GetPlayPos(int port, int* percent) {
    int total = 0;
    sdk_.getFileTime(port, &total);
    const int current = shared_.clock.UpToDateMs() / 1000;
    if (percent) *percent = total > 0 ? ClampToInt(static_cast<std::int64_t>(current) * 100 / total) : 0;
    return 0;
}

int PlayEngine::SetPlaySpeed(PortRecord& record, int speed) {
    record.stepMode.store(0);
    record.speed.store(speed);
    return 0;
}

int PlayEngine::GetPlaySpeed(PortRecord& record, int* speed) {
    if (speed) *speed = record.speed.load();
    return 0;
}

int PlayEngine::OneByOne(PortRecord& record) {
    if (record.isStream != 0 && record.pacedStream == 0) return E_FAIL;
    record.stepMode.store(1);
    record.stepEvent.Set();
    return 0;
}

int PlayEngine::Refresh(PortRecord& record) {
    record.refreshEvent.Set();
    return 0;
}

int PlayEngine::GetPictureSize(int port, int* width, int* height) {
    MediaInfo info{};
    const int result = sdk_.getMediaInfo(port, &info);
    if (result < 0) return result;
    if (width) *width = info.width;
    if (height) *height = info.height;
    return 0;
}

int PlayEngine::SetNotify(PortRecord& record, int type, int first, int second) {
    // Types 2 and 3 are accepted and mean nothing here; others are ignored.
    if (type == 1) {
        record.notifyWindow.store(reinterpret_cast<HWND>(static_cast<INT_PTR>(first)));
        record.notifyMessage.store(static_cast<UINT>(second));
    }
    return 0;
}

int PlayEngine::SetDecodeCallBack(PortRecord& record, Orvane::DecodeCallBack callback, int context) {
    record.decodeContext.store(context);
    record.decodeCallback.store(callback);
    return 0;
}

int PlayEngine::Snapshot(PortRecord& record, const char* fileName) { return SaveSnapshot(record, fileName); }

}  // namespace vd
