// The system's wave-out device (through the wave mapper) as an audio output.
#ifndef VD_AUDIO_WAVE_OUT_OUTPUT_H
#define VD_AUDIO_WAVE_OUT_OUTPUT_H

#include "audio/audio_output.h"

namespace vd {

class WaveOutOutput : public AudioOutput {
public:
    WaveOutOutput() = default;
    ~WaveOutOutput() override;
    WaveOutOutput(const WaveOutOutput&) = delete;
    WaveOutOutput& operator=(const WaveOutOutput&) = delete;

    bool Open(DWORD callbackThread) override;
    HWAVEOUT device() const override { return device_; }
    void Prepare(WAVEHDR& header) override;
    bool Write(WAVEHDR& header) override;
    void Close(WAVEHDR* headers, int count) override;

private:
    HWAVEOUT device_ = nullptr;
};

}  // namespace vd

#endif
