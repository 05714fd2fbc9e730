#include "audio/audio_thread.h"

#include <process.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "port/port_record.h"

namespace vd {

namespace {

// How long the starter waits for the device to be opened; a device that
// takes longer is still being opened by the thread when OpenSound returns.
constexpr DWORD kDeviceOpenWaitMs = 5000;
// The thread makes its message queue first thing; this only guards a
// starter that cannot let the new thread run (the loader lock held).
constexpr DWORD kQueueWaitMs = 10000;

// What the starter and the thread share. Each holds a reference, so a
// starter that gave up waiting never leaves the thread with closed handles.
struct StartSignals {
    Event queueReady{true, false};
    Event deviceTried{true, false};
};

struct AudioStart {
    std::shared_ptr<PortRecord> record;
    std::unique_ptr<AudioOutput> output;
    std::shared_ptr<StartSignals> signals;
    std::unique_ptr<char[]> buffers;  // kSoundBufferCount * kSoundBufferBytes
};

class AudioPump {
public:
    AudioPump(PortRecord& record, AudioOutput& output, char* buffers)
        : record_(record), output_(output), self_(GetCurrentThreadId()) {
        for (int i = 0; i < kSoundBufferCount; ++i) {
            headers_[i] = WAVEHDR{};
            headers_[i].lpData = buffers + i * kSoundBufferBytes;
            // Prepared for the whole buffer: the length of each write is
            // never more than that.
            headers_[i].dwBufferLength = kSoundBufferBytes;
        }
    }

    void Run();

private:
    bool Quitting() { return record_.audioQuitEvent.Test(); }
    // A WM_QUIT waiting behind the message being handled.
    static bool QuitPosted() {
        MSG message;
        return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
    }
    bool IsOurs(const WAVEHDR* header) const {
        return std::any_of(std::begin(headers_), std::end(headers_),
                           [header](const WAVEHDR& ours) { return &ours == header; });
    }
    void GiveBack(WAVEHDR& header) { PostThreadMessageA(self_, MM_WOM_DONE, 0, reinterpret_cast<LPARAM>(&header)); }
    // Fills the header with the next piece of sound and hands it to the
    // device, waiting for sound to arrive. Once sound is switched off the
    // header stays out of circulation.
    void Refill(WAVEHDR& header);
    // Copies the next piece (at most one buffer) into the header; false
    // when no sound is waiting.
    bool NextPiece(WAVEHDR& header);
    // Handles every message waiting (any tells whether there was one);
    // false once WM_QUIT has come.
    bool HandleWaiting(bool* any);

    PortRecord& record_;
    AudioOutput& output_;
    const DWORD self_;
    WAVEHDR headers_[kSoundBufferCount];
    QueuedFrame block_;  // the block being played, while pieces of it remain
    int played_ = 0;     // bytes of block_ already handed over
};

bool AudioPump::NextPiece(WAVEHDR& header) {
    // Empty blocks are passed over; false only once the queue was found
    // empty (its waiting event is then armed).
    while (!block_.HasData()) {
        QueuedFrame next;
        if (!record_.audioQueue.TryPop(next)) return false;
        if (!next.HasData() || next.size <= 0) continue;
        block_ = std::move(next);
        played_ = 0;
    }
    const int piece = std::min(static_cast<int>(kSoundBufferBytes), block_.size - played_);
    std::memcpy(header.lpData, block_.data.get() + played_, static_cast<std::size_t>(piece));
    header.dwBufferLength = static_cast<DWORD>(piece);
    played_ += piece;
    if (played_ >= block_.size) block_ = QueuedFrame();  // its bytes go as soon as all are copied
    return true;
}

void AudioPump::Refill(WAVEHDR& header) {
    const HANDLE wakes[2] = {record_.audioQuitEvent.handle(), record_.audioQueue.waitingHandle()};
    for (;;) {
        if (Quitting()) return;
        if (NextPiece(header)) break;
        // Either sign of the sound going off ends the wait: the quit event,
        // or a WM_QUIT posted (a newly posted message wakes the wait).
        if (QuitPosted()) return;
        if (MsgWaitForMultipleObjects(2, wakes, FALSE, INFINITE, QS_POSTMESSAGE) == WAIT_FAILED) Sleep(1);
    }
    if (Quitting()) return;
    // A header the device refuses comes straight back, so the queue keeps
    // draining without a device.
    if (!output_.Write(header)) GiveBack(header);
}

bool AudioPump::HandleWaiting(bool* any) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        *any = true;
        if (message.message == WM_QUIT) return false;
        if (message.message != MM_WOM_DONE) continue;
        WAVEHDR* header = reinterpret_cast<WAVEHDR*>(message.lParam);
        if (IsOurs(header)) Refill(*header);
    }
    return true;
}

void AudioPump::Run() {
    for (WAVEHDR& header : headers_) {
        output_.Prepare(header);
        header.dwBufferLength = 0;
        // The buffers start as if the device had just given them back.
        GiveBack(header);
    }
    HANDLE quit = record_.audioQuitEvent.handle();
    for (;;) {
        bool any = false;
        if (!HandleWaiting(&any)) break;
        // Every message queued before sound was switched off has been seen
        // (and its header given up); nothing more will be played.
        if (!any && Quitting()) break;
        MsgWaitForMultipleObjects(1, &quit, FALSE, INFINITE, QS_ALLPOSTMESSAGE);
    }
    record_.waveOut.store(nullptr);
    output_.Close(headers_, kSoundBufferCount);
}

unsigned __stdcall AudioThread(void* argument) {
    std::unique_ptr<AudioStart> start(static_cast<AudioStart*>(argument));
    MSG message;
    PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes the thread's queue
    start->signals->queueReady.Set();

    PortRecord& record = *start->record;
    if (start->output->Open(GetCurrentThreadId())) record.waveOut.store(start->output->device());
    start->signals->deviceTried.Set();

    AudioPump pump(record, *start->output, start->buffers.get());
    pump.Run();
    return 0;
}

}  // namespace

HANDLE StartAudioThread(std::shared_ptr<PortRecord> record, std::unique_ptr<AudioOutput> output, DWORD* threadId) {
    if (!record || !output) return nullptr;
    std::shared_ptr<StartSignals> signals(new (std::nothrow) StartSignals);
    if (!signals || !signals->queueReady.valid() || !signals->deviceTried.valid()) return nullptr;
    std::unique_ptr<char[]> buffers(new (std::nothrow) char[kSoundBufferCount * kSoundBufferBytes]);
    if (!buffers) return nullptr;
    AudioStart* start =
        new (std::nothrow) AudioStart{std::move(record), std::move(output), signals, std::move(buffers)};
    if (!start) return nullptr;

    unsigned id = 0;
    const uintptr_t started = _beginthreadex(nullptr, 0, AudioThread, start, 0, &id);
    if (started == 0) {
        delete start;
        return nullptr;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(started);
    HANDLE deviceTried[2] = {signals->deviceTried.handle(), thread};
    WaitForMultipleObjects(2, deviceTried, FALSE, kDeviceOpenWaitMs);
    HANDLE queueReady[2] = {signals->queueReady.handle(), thread};
    WaitForMultipleObjects(2, queueReady, FALSE, kQueueWaitMs);
    if (threadId) *threadId = id;
    return thread;
}

}  // namespace vd
