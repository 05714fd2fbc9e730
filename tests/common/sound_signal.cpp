#include "common/sound_signal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace vdtest {

namespace {
const double kPi = 3.14159265358979323846;
}

std::vector<std::int16_t> SineSamples(double frequency, double amplitude, long long first, int count) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        // The phase is reduced per whole period so that long tones stay exact.
        const double t = (static_cast<double>(first + i) + 0.25) / kSampleRate;
        const double cycles = t * frequency;
        const double phase = 2 * kPi * (cycles - std::floor(cycles));
        samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
    }
    return samples;
}

std::vector<std::vector<std::uint8_t>> SineBlocks(double frequency, double amplitude, int totalSamples,
                                                  int blockBytes) {
    std::vector<std::vector<std::uint8_t>> blocks;
    const int perBlock = std::max(1, blockBytes / 2);
    for (int first = 0; first < totalSamples; first += perBlock) {
        const int count = std::min(perBlock, totalSamples - first);
        const std::vector<std::int16_t> samples = SineSamples(frequency, amplitude, first, count);
        std::vector<std::uint8_t> block(static_cast<std::size_t>(count) * 2);
        for (int i = 0; i < count; ++i) {
            const auto value = static_cast<std::uint16_t>(samples[static_cast<std::size_t>(i)]);
            block[2 * i] = static_cast<std::uint8_t>(value & 0xFF);
            block[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
        }
        blocks.push_back(std::move(block));
    }
    return blocks;
}

std::vector<std::int16_t> SamplesOf(const std::string& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto low = static_cast<std::uint8_t>(bytes[2 * i]);
        const auto high = static_cast<std::uint8_t>(bytes[2 * i + 1]);
        samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
    }
    return samples;
}

SoundAnalysis AnalyseSound(const std::vector<std::int16_t>& samples, int silenceThreshold) {
    SoundAnalysis result;
    const long long n = static_cast<long long>(samples.size());
    for (long long i = 0; i < n; ++i) {
        if (std::abs(samples[static_cast<std::size_t>(i)]) > silenceThreshold) {
            if (result.firstLoud < 0) result.firstLoud = i;
            result.lastLoud = i;
        }
    }
    if (result.firstLoud < 0) return result;
    result.heard = true;

    // The test tone has no silent sample; a sound server that runs dry plays
    // nothing but them.
    const auto silent = [&](long long i) { return std::abs(samples[static_cast<std::size_t>(i)]) <= 1; };
    for (long long i = result.firstLoud; i <= result.lastLoud;) {
        long long end = i;
        while (end <= result.lastLoud && silent(end)) ++end;
        const long long run = end - i;
        if (run >= 2) {
            ++result.breaks;
            const double ms = 1000.0 * static_cast<double>(run) / kSampleRate;
            result.breakMs += ms;
            if (ms > result.longestBreakMs) {
                result.longestBreakMs = ms;
                result.longestBreakAt = i;
            }
            i = end;
            continue;
        }
        result.sound.push_back(samples[static_cast<std::size_t>(i)]);
        ++i;
    }

    const std::vector<std::int16_t>& sound = result.sound;
    const long long count = static_cast<long long>(sound.size());
    result.seconds = static_cast<double>(count) / kSampleRate;
    double sumSquares = 0;
    int rising = 0;
    long long firstRising = -1;
    long long lastRising = -1;
    for (long long i = 0; i < count; ++i) {
        const int s = sound[static_cast<std::size_t>(i)];
        sumSquares += static_cast<double>(s) * s;
        result.peak = std::max(result.peak, std::abs(s));
        if (i == 0) continue;
        const int previous = sound[static_cast<std::size_t>(i - 1)];
        if (std::abs(s - previous) > result.largestStep) {
            result.largestStep = std::abs(s - previous);
            result.largestStepAt = i;
        }
        if (previous < 0 && s >= 0) {
            ++rising;
            if (firstRising < 0) firstRising = i;
            lastRising = i;
        }
    }
    result.rms = std::sqrt(sumSquares / static_cast<double>(count));
    if (rising >= 2) {
        result.frequency =
            (rising - 1) * static_cast<double>(kSampleRate) / static_cast<double>(lastRising - firstRising);
    }
    return result;
}

long long FirstMismatch(const std::vector<std::int16_t>& got, const std::vector<std::int16_t>& expected,
                        int tolerance) {
    const std::size_t common = std::min(got.size(), expected.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (std::abs(got[i] - expected[i]) > tolerance) return static_cast<long long>(i);
    }
    return got.size() == expected.size() ? -1 : static_cast<long long>(common);
}

double SineMaxStep(double frequency, double amplitude) { return amplitude * 2 * kPi * frequency / kSampleRate; }

std::string Describe(const SoundAnalysis& a) {
    std::ostringstream text;
    text << "heard=" << a.heard << " first=" << a.firstLoud << " last=" << a.lastLoud << " breaks=" << a.breaks
         << " breakMs=" << a.breakMs << " longestBreakMs=" << a.longestBreakMs << " (at " << a.longestBreakAt
         << ") seconds=" << a.seconds << " frequency=" << a.frequency << " rms=" << a.rms << " peak=" << a.peak
         << " largestStep=" << a.largestStep << " (at " << a.largestStepAt << ")";
    return text.str();
}

}  // namespace vdtest
