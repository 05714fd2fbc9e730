// Sound of a port: the audio thread that plays it, switched on and off by
// the client, and the speaker volume, which the port only gates (it is set
// while the port's device is open).
#include <new>

#include "engine/play_engine.h"
#include "audio/audio_thread.h"
#include "audio/wave_out_output.h"

namespace vd {

namespace {

// Long enough for a device that is slow to give its buffers back; a thread
// that takes longer is stuck, and the client gets control back anyway.
constexpr DWORD kAudioThreadEndWaitMs = 10000;

}  // namespace

int PlayEngine::OpenSound(PortRecord& record) {
    ScopedLock control(record.controlLock);
    if (record.audioThread) return 0;  // already on: the one thread plays on
    std::unique_ptr<AudioOutput> output(new (std::nothrow) WaveOutOutput);
    if (!output) return E_FAIL;
    // Whatever is still queued was left from before; only sound from now on
    // is played.
    record.audioQueue.Clear();
    record.audioQuitEvent.Reset();
    record.soundOn.store(1);
    DWORD threadId = 0;
    HANDLE thread = StartAudioThread(record.shared_from_this(), std::move(output), &threadId);
    if (!thread) {
        record.soundOn.store(0);
        return E_FAIL;
    }
    record.audioThread = thread;
    record.audioThreadId = threadId;
    return 0;
}

bool PlayEngine::EndSound(PortRecord& record) {
    ScopedLock control(record.controlLock);
    record.soundOn.store(0);  // the intake queues no more sound
    bool ended = true;
    if (record.audioThread) {
        PostThreadMessageA(record.audioThreadId, WM_QUIT, 0, 0);
        record.audioQuitEvent.Set();
        ended = WaitForSingleObject(record.audioThread, kAudioThreadEndWaitMs) == WAIT_OBJECT_0;
        // A thread that has not ended keeps its own reference to the record
        // and must still see the event when it gets going again.
        if (ended) record.audioQuitEvent.Reset();
        CloseHandle(record.audioThread);
        record.audioThread = nullptr;
        record.audioThreadId = 0;
    }
    record.audioQueue.Clear();
    return ended;
}

int PlayEngine::CloseSound(PortRecord& record) { return EndSound(record) ? 0 : E_FAIL; }

int PlayEngine::SetVolume(PortRecord& record, unsigned int volume) {
    if (!record.waveOut.load()) return E_FAIL;
    mixer_.SetVolume(volume);  // a mixer that refuses leaves the volume as it was
    return 0;
}

}  // namespace vd
