// Everything the plug-in keeps for one open port: the client's settings, the
// frame queues, the picture on display, and what playback and sound run on.
//
// Who touches what:
//   - the client's threads, through the control operations (which hold
//     controlLock while they start or end playback or sound);
//   - the SDK's decoding threads, in the frame intake;
//   - the port's display thread and audio thread.
// Fields the client sets for the threads to read are atomics; the queues and
// the picture on display carry their own locks. Every lock and event lives as
// long as the record, so no thread can meet one that has been deleted.
#ifndef VD_PORT_PORT_RECORD_H
#define VD_PORT_PORT_RECORD_H

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <memory>

#include <Orvane/Types.h>

#include "port/frame_queue.h"
#include "port/media_info.h"
#include "port/queued_frame.h"
#include "port/win32_sync.h"

namespace vd {

// The picture on display. The display thread is its only writer and reads it
// without the lock; everyone else copies it under the lock.
class CurrentFrame {
public:
    // Puts a new picture on display (display thread); `frame` is left
    // holding the one that was on display.
    void Replace(QueuedFrame& frame);
    // The picture on display as the display thread sees it.
    const QueuedFrame& OwnerView() const { return frame_; }
    // A copy of the picture on display, with its own bytes (any thread).
    // False when the copy's memory is not there.
    bool CopyTo(QueuedFrame& out);

private:
    CriticalSection lock_;
    QueuedFrame frame_;
};

// The bytes of the last picture the display thread stopped showing, kept
// for the intake's next copy of a picture of the same size: a picture's
// bytes go round between the two threads rather than back to the heap and
// out again with every picture (the heap's lock is shared by every thread of
// the process).
class SparePicture {
public:
    // Keeps the frame's bytes when none are kept yet; the frame is left
    // holding them otherwise.
    void Give(QueuedFrame& frame);
    // What is kept (an empty frame when nothing is).
    QueuedFrame Take();

private:
    CriticalSection lock_;
    QueuedFrame kept_;
};

struct PortRecord : std::enable_shared_from_this<PortRecord> {
    PortRecord(int isStream, int pacedStream);
    ~PortRecord();
    PortRecord(const PortRecord&) = delete;
    PortRecord& operator=(const PortRecord&) = delete;

    // False when one of the record's events could not be made.
    bool valid() const;
    bool IsPlaying() {
        ScopedLock guard(controlLock);
        return playing;
    }

    const int isStream;     // 1 for a stream port
    const int pacedStream;  // for a stream port: pictures are shown at their frame rate

    // The client's settings, read by the frame intake with every frame.
    std::atomic<int> soundOn{0};
    std::atomic<Orvane::DecodeCallBack> decodeCallback{nullptr};
    std::atomic<int> decodeContext{0};
    std::atomic<HWND> notifyWindow{nullptr};
    std::atomic<UINT> notifyMessage{0};
    std::atomic<int> speed{0};
    std::atomic<int> stepMode{0};

    // The SDK's picture information; width, height and frame rate follow
    // every picture delivered.
    CriticalSection mediaInfoLock;
    MediaInfo mediaInfo{};

    // Playback, from Play to Stop (started and ended under controlLock).
    CriticalSection controlLock;
    bool playing = false;
    std::atomic<HWND> videoWindow{nullptr};  // null while the port is shown nowhere
    HANDLE displayThread = nullptr;
    // The events the intake and the display thread look at with every
    // picture keep their state in memory too (a look costs no system call).
    FlaggedEvent stopEvent{true, true};  // set while the port is not playing
    TwoWayEvent pauseEvent{false};       // set while paused; the intake waits for it to clear
    FlaggedEvent displayQuitEvent{false, false};
    FlaggedEvent refreshEvent{false, false};
    FlaggedEvent stepEvent{false, false};
    FlaggedEvent stepSeekEvent{false, false};
    // Tells the display thread to look again at the plain fields it acts on
    // (step mode left).
    Event displayWakeEvent{false, false};

    FrameQueue videoQueue;
    FrameQueue audioQueue;
    CurrentFrame currentFrame;
    SparePicture sparePicture;

    // Sound, from OpenSound to CloseSound.
    HANDLE audioThread = nullptr;
    DWORD audioThreadId = 0;
    FlaggedEvent audioQuitEvent{true, false};
    std::atomic<HWAVEOUT> waveOut{nullptr};
};

}  // namespace vd

#endif
