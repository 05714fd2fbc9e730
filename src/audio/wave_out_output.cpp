#include "audio/wave_out_output.h"

namespace vd {

WaveOutOutput::~WaveOutOutput() {
    if (device_) {
        waveOutReset(device_);
        waveOutClose(device_);
    }
}

bool WaveOutOutput::Open(DWORD callbackThread) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = kSoundRate;
    format.nAvgBytesPerSec = kSoundBytesPerSecond;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    HWAVEOUT opened = nullptr;
    if (waveOutOpen(&opened, WAVE_MAPPER, &format, callbackThread, 0, CALLBACK_THREAD) != MMSYSERR_NOERROR) {
        opened = nullptr;
    }
    device_ = opened;
    return device_ != nullptr;
}

void WaveOutOutput::Prepare(WAVEHDR& header) {
    if (device_) waveOutPrepareHeader(device_, &header, sizeof header);
}

bool WaveOutOutput::Write(WAVEHDR& header) {
    return device_ && waveOutWrite(device_, &header, sizeof header) == MMSYSERR_NOERROR;
}

void WaveOutOutput::Close(WAVEHDR* headers, int count) {
    if (!device_) return;
    // Reset hands every queued header back, so each can be unprepared and
    // the device closed without "still playing".
    waveOutReset(device_);
    for (int i = 0; i < count; ++i) {
        if (headers[i].dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device_, &headers[i], sizeof headers[i]);
    }
    waveOutClose(device_);
    device_ = nullptr;
}

}  // namespace vd
