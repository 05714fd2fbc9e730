// The SDK's frames enter the plug-in here. For each frame: count and trace
// it, post file ports' notifications to the client, keep the media
// information up to date, hand it to the client's decode callback, and queue
// a copy for the display or audio thread. The SDK's thread is held here while
// the port is paused or its queue is full: that is the only flow control
// between decoding and presentation. It waits on events (resume, room in the
// queue, stop), never on the clock.
#include "engine/frame_intake.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "port/port_table.h"
#include "port/frame_layout.h"
#include "pixel/pixel_convert.h"

namespace vd {

namespace {

// A copy of the frame as it will be queued: RGB32 pictures become YV12, any
// other kind is copied as it is. This is where a picture is checked, once: one
// too short for its size (or of no picture's size) is not queued, and the
// copy holds exactly its planes. False when the frame is not to be queued (a
// broken picture, or no memory for the copy).
bool MakeQueuedCopy(const void* data, int size, int width, int height, unsigned int stamp, FrameKind kind,
                    int frameRate, SparePicture& spare, QueuedFrame& copy) {
    copy.stamp = stamp;
    copy.width = width;
    copy.height = height;
    copy.frameRate = frameRate;
    if (!data || size <= 0) return false;
    if (IsPictureKind(kind)) {
        if (!PictureFits(kind, width, height, size)) return false;
        // The bytes of a picture the display is done with, when it has any.
        QueuedFrame spareBytes = spare.Take();
        if (kind == kKindRgb32) {
            if (!copy.AllocatePicture(kKindYv12, width, height, &spareBytes)) return false;
            std::uint8_t* y = copy.data.get();
            std::uint8_t* v = y + SecondPlaneOffset(width, height);
            std::uint8_t* u = y + ThirdPlaneOffset(width, height);
            ConvertRgb32ToYuv420(static_cast<const std::uint8_t*>(data), 4 * width, y, u, v, width, width / 2, width,
                                 height, 1);
            return true;
        }
        if (!copy.AllocatePicture(kind, width, height, &spareBytes)) return false;
        std::memcpy(copy.data.get(), data, static_cast<std::size_t>(copy.size));
        return true;
    }
    // Sound, and kinds of the SDK's own that are shown nowhere.
    copy.kind = kind;
    if (!copy.Allocate(size)) return false;
    std::memcpy(copy.data.get(), data, static_cast<std::size_t>(size));
    return true;
}

// Sound is queued only while it is switched on and the port plays forward
// at normal speed.
bool SoundDropped(PortRecord& record) {
    return record.soundOn.load() == 0 || record.speed.load() != 0 || record.stepMode.load() != 0;
}

// Waits for the first of two events or the port's stop; true when `wanted`
// came first. A wait that fails (a handle gone bad) falls back to a short
// sleep, so the caller looks again rather than spinning.
bool WaitUnlessStopped(PortRecord& record, HANDLE wanted) {
    const HANDLE events[2] = {record.stopEvent.handle(), wanted};
    const DWORD result = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0) return false;
    if (result != WAIT_OBJECT_0 + 1) {
        Sleep(1);
        return !record.stopEvent.Test();
    }
    return true;
}

// Holds the SDK's thread while the port is paused, until it resumes; false
// when the port was stopped meanwhile.
bool WaitWhilePaused(PortRecord& record) {
    while (record.pauseEvent.Test()) {
        if (!WaitUnlessStopped(record, record.pauseEvent.clearedHandle())) return false;
    }
    return true;
}

// Waits for room in the queue while the port is paused or the queue is
// full; gives up when the port is stopped, when a seek made the frame one
// from before it, or when sound is no longer wanted.
void QueueWhenRoom(PortRecord& record, FrameQueue& queue, QueuedFrame& copy, bool isSound, unsigned generation) {
    for (;;) {
        if (!WaitWhilePaused(record)) return;
        if (isSound && SoundDropped(record)) return;
        if (record.stopEvent.Test()) return;
        // A frame from before a seek is dropped, not shown after it.
        if (queue.TryPush(copy, generation) != FrameQueue::Push::kFull) return;
        if (!WaitUnlessStopped(record, queue.roomHandle())) return;
    }
}

void Intake(PlayShared& shared, int port, const void* data, int size, int width, int height, unsigned int stamp,
            int kind, int frameRate) {
    char count[32] = {};
    std::snprintf(count, sizeof count, "FrameCount:%d\n", shared.callbackCount.fetch_add(1) + 1);
    OutputDebugStringA(count);

    const std::shared_ptr<PortRecord> found = shared.ports.Find(port);
    if (!found) return;  // a frame for a port that is not open goes nowhere
    PortRecord& record = *found;
    // The queue's generation as the frame arrives: a seek from here on
    // makes it a frame from before the seek.
    const bool isSound = kind == kKindSound;
    FrameQueue& queue = isSound ? record.audioQueue : record.videoQueue;
    const unsigned generation = queue.Generation();

    if (kind == kKindNotification) {
        if (record.isStream == 0) {
            PostMessageA(record.notifyWindow.load(), record.notifyMessage.load(), 0, static_cast<LPARAM>(port));
        }
        return;
    }

    if (kind != kKindSound) {
        ScopedLock guard(record.mediaInfoLock);
        record.mediaInfo.width = static_cast<std::int16_t>(width);
        record.mediaInfo.height = static_cast<std::int16_t>(height);
        record.mediaInfo.frameRate = static_cast<std::uint8_t>(frameRate);
    }

    if (const Orvane::DecodeCallBack callback = record.decodeCallback.load()) {
        OutputDebugStringA("xxxxx\r\n");
        Orvane::FrameInfo info{width, height, stamp, kind, frameRate};
        callback(port, data, size, &info, record.decodeContext.load());
    }
    OutputDebugStringA("xxxxxxxxxxxxxxxx\r\n");

    if (!record.videoWindow.load() || record.stopEvent.Test()) return;
    // A paused port holds every frame, sound blocks that are to be dropped
    // too: decoding stands still until the pause ends.
    if (!WaitWhilePaused(record)) return;
    // Sound that will be dropped is not copied.
    if (isSound && SoundDropped(record)) return;

    QueuedFrame copy;
    if (!MakeQueuedCopy(data, size, width, height, stamp, static_cast<FrameKind>(kind), frameRate, record.sparePicture,
                        copy)) {
        return;
    }
    QueueWhenRoom(record, queue, copy, isSound, generation);
}

}  // namespace

int __stdcall VideoCallBack(int port, const void* data, int size, int width, int height, unsigned int stamp, int kind,
                            int frameRate, void* user) {
    OutputDebugStringA("enter VideoCallBack\n");
    if (user) {
        try {
            Intake(*static_cast<PlayShared*>(user), port, data, size, width, height, stamp, kind, frameRate);
        } catch (...) {
            // Nothing may unwind into the SDK's thread; the frame is lost.
        }
    }
    OutputDebugStringA("out VideoCallBack\n");
    return 0;
}

}  // namespace vd
