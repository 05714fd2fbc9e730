// The face of a sound device as the audio thread sees it: open for the one
// format every port plays in, hand buffers over, and close. Each buffer
// handed over comes back, once played, as an MM_WOM_DONE message (lParam:
// the header) to the thread named at Open. The thread owns the timing; the
// output owns the device.
#ifndef VD_AUDIO_AUDIO_OUTPUT_H
#define VD_AUDIO_AUDIO_OUTPUT_H

#include <windows.h>
#include <mmsystem.h>

namespace vd {

// 16 kHz, mono, 16-bit PCM: 32000 bytes a second.
constexpr DWORD kSoundRate = 16000;
constexpr DWORD kSoundBytesPerSecond = 32000;

class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Opens the device; finished buffers are reported to the thread
    // callbackThread. False when there is no device: the other calls then
    // do nothing and Write refuses every buffer.
    virtual bool Open(DWORD callbackThread) = 0;
    // The open device, or null.
    virtual HWAVEOUT device() const = 0;
    // Makes a header usable with the device, for up to its dwBufferLength bytes.
    virtual void Prepare(WAVEHDR& header) = 0;
    // Queues the header's dwBufferLength bytes for playing. False when the
    // device did not take it (it will then never come back on its own).
    virtual bool Write(WAVEHDR& header) = 0;
    // Stops playing, takes every header back from the device and closes it.
    virtual void Close(WAVEHDR* headers, int count) = 0;
};

}  // namespace vd

#endif
