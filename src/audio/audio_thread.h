// The audio thread of a port with sound on: it keeps five buffers of 6400
// bytes (200 ms each) circulating through an audio output and fills each one
// that comes back with the next piece of sound from the port's audio queue.
// A block larger than one buffer is played whole, over several buffers.
//
// The thread ends on WM_QUIT or once the record's audioQuitEvent is set;
// from the moment the event is set it hands no more buffers to the device.
// Without a device (the output fails to open, or refuses a buffer) the
// thread still takes the blocks off the queue, so the frame intake is never
// held for good.
#ifndef VD_AUDIO_AUDIO_THREAD_H
#define VD_AUDIO_AUDIO_THREAD_H

#include <windows.h>

#include <memory>

#include "audio/audio_output.h"

namespace vd {

struct PortRecord;

constexpr int kSoundBufferCount = 5;
constexpr DWORD kSoundBufferBytes = 6400;

// Starts the thread over the output (which it then owns). Returns once the
// thread has a message queue (so a WM_QUIT posted right after is never lost)
// and has tried to open the device, or a few seconds have passed waiting for
// the device; the record's waveOut is then set if the device opened. Gives
// the thread's handle (the caller waits for it and closes it) and its id;
// null when no thread could be started.
HANDLE StartAudioThread(std::shared_ptr<PortRecord> record, std::unique_ptr<AudioOutput> output, DWORD* threadId);

}  // namespace vd

#endif
