// Test sound in the plug-in's format (16 kHz, mono, signed 16-bit) and what
// can be told of a recording of it: where the sound is, the breaks in it
// (stretches of digital silence, which is what a sound server plays while a
// stream runs dry), and the pitch, level and samples of the sound itself.
#ifndef TESTS_COMMON_SOUND_SIGNAL_H
#define TESTS_COMMON_SOUND_SIGNAL_H

#include <cstdint>
#include <string>
#include <vector>

namespace vdtest {

constexpr int kSampleRate = 16000;

// count samples of an endless sine, beginning at sample first, so that
// consecutive calls join seamlessly. The sine is a quarter of a sample ahead
// of phase 0 at sample 0, so that no sample of it is silent (its smallest
// magnitude is 4% of the amplitude at 440 Hz) and silence in a recording is
// never part of the tone.
std::vector<std::int16_t> SineSamples(double frequency, double amplitude, long long first, int count);

// A tone cut into sound blocks of blockBytes each (the last one shorter if
// need be), as the SDK would deliver it.
std::vector<std::vector<std::uint8_t>> SineBlocks(double frequency, double amplitude, int totalSamples, int blockBytes);

// Little-endian 16-bit samples from raw bytes (a trailing odd byte is dropped).
std::vector<std::int16_t> SamplesOf(const std::string& bytes);

struct SoundAnalysis {
    bool heard = false;        // some sample is louder than the silence threshold
    long long firstLoud = -1;  // first and last such sample of the recording
    long long lastLoud = -1;
    // The sound from the first to the last loud sample, without its breaks.
    std::vector<std::int16_t> sound;
    int breaks = 0;      // stretches of two or more silent samples inside the sound
    double breakMs = 0;  // their total length
    double longestBreakMs = 0;
    long long longestBreakAt = -1;  // where it starts in the recording
    // Of the sound without its breaks:
    double seconds = 0;
    double frequency = 0;  // from its rising zero crossings
    double rms = 0;
    int peak = 0;
    int largestStep = 0;           // largest change from one sample to the next
    long long largestStepAt = -1;  // where that change ends, in the sound
};

SoundAnalysis AnalyseSound(const std::vector<std::int16_t>& samples, int silenceThreshold = 50);

// The first index at which the two differ by more than tolerance (a missing
// sample at the end of either counts); -1 when they agree throughout.
long long FirstMismatch(const std::vector<std::int16_t>& got, const std::vector<std::int16_t>& expected, int tolerance);

// The largest sample-to-sample change a clean sine of this frequency and
// amplitude can show.
double SineMaxStep(double frequency, double amplitude);

std::string Describe(const SoundAnalysis& analysis);

}  // namespace vdtest

#endif
