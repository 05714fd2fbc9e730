// Converts interleaved PCM of any rate and channel count to 16 kHz mono, the
// format the plug-in plays. Channels are averaged, then a windowed-sinc
// low-pass interpolator (cut-off below the lower of the two Nyquist rates)
// computes each output sample at its exact rational position in the input.
// Sound already at 16 kHz is not filtered: mono 16-bit sound passes through
// unchanged. Works on a stream of blocks: the output does not depend on how
// the input was cut into blocks.
#ifndef DEMOPLAY_CORE_RESAMPLER_H
#define DEMOPLAY_CORE_RESAMPLER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace demoplay {

constexpr uint32_t kOutputRate = 16000;

enum class SampleFormat { kInteger, kFloat };

class Resampler {
public:
    // Integer samples of 8 (unsigned), 16, 24 or 32 bits (signed
    // little-endian), or float samples of 32 or 64 bits (full scale at 1.0);
    // rates from 1000 to 384000 Hz; 1 to 16 channels. False when outside these.
    bool Configure(uint32_t inputRate, int channels, int bitsPerSample, SampleFormat format = SampleFormat::kInteger);
    // Forgets buffered input (after a seek); the next block starts afresh.
    void Reset();
    // Appends the output samples that this block completes. A trailing
    // partial sample frame is kept for the next call.
    void Process(const uint8_t* data, size_t size, std::vector<int16_t>* out);

    uint32_t inputRate() const { return inputRate_; }
    // Input samples the filter reaches on either side of an output sample (0
    // at the output rate, where nothing is filtered).
    int halfWidth() const { return halfWidth_; }

private:
    float Kernel(double distance) const;
    // One sample as a 16-bit value (with a fraction for the wider formats).
    float Sample(const uint8_t* p) const;

    uint32_t inputRate_ = 0;
    int channels_ = 0;
    int bytesPerSample_ = 0;
    SampleFormat format_ = SampleFormat::kInteger;
    int halfWidth_ = 0;
    double cutoff_ = 0;         // in cycles per input sample, times two
    std::vector<float> table_;  // kernel sampled at kTableSteps per input sample
    // The filter's weights for each position an output sample can take
    // between two input samples (few for the usual rates: two from 8 kHz),
    // with their sums; empty when there would be too many.
    uint32_t phaseGrain_ = 0;  // positions are multiples of this, in 1/16000 of an input sample
    std::vector<float> phaseWeights_;
    std::vector<double> phaseSums_;
    std::vector<uint8_t> partial_;
    std::vector<float> history_;  // mono input from absolute index historyStart_
    uint64_t historyStart_ = 0;
    uint64_t nextOutput_ = 0;  // index of the next output sample
};

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_RESAMPLER_H
