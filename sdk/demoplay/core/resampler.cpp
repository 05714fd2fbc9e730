#include "core/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace demoplay {
namespace {

constexpr int kTableSteps = 256;
// Weights kept per phase at most (a megabyte).
constexpr size_t kMaxPhaseWeights = size_t(1) << 18;
constexpr int kZeroCrossings = 16;
constexpr double kPi = 3.14159265358979323846;

uint32_t ReadLe32Bytes(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

bool Resampler::Configure(uint32_t inputRate, int channels, int bitsPerSample, SampleFormat format) {
    const bool known = format == SampleFormat::kFloat
                           ? bitsPerSample == 32 || bitsPerSample == 64
                           : bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32;
    if (inputRate < 1000 || inputRate > 384000 || channels < 1 || channels > 16 || !known) return false;
    format_ = format;
    inputRate_ = inputRate;
    channels_ = channels;
    bytesPerSample_ = bitsPerSample / 8;
    Reset();
    if (inputRate == kOutputRate) {
        // Passed through: no filter to compute (its table costs more than
        // opening a file does).
        halfWidth_ = 0;
        cutoff_ = 1.0;
        table_.clear();
        phaseWeights_.clear();
        phaseSums_.clear();
        return true;
    }
    // Pass band up to 90% of the lower Nyquist rate.
    double cutoffHz = 0.45 * double(std::min(inputRate, kOutputRate));
    cutoff_ = 2.0 * cutoffHz / double(inputRate);
    halfWidth_ = int(std::ceil(kZeroCrossings / cutoff_));
    table_.assign(size_t(halfWidth_) * kTableSteps + 2, 0.0f);
    for (size_t i = 0; i < table_.size(); ++i) {
        double d = double(i) / kTableSteps;
        if (d >= halfWidth_) break;
        double x = cutoff_ * d;
        double sinc = x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
        double r = d / halfWidth_;  // Blackman window over [-halfWidth, halfWidth]
        double window = 0.42 + 0.5 * std::cos(kPi * r) + 0.08 * std::cos(2 * kPi * r);
        table_[i] = float(cutoff_ * sinc * window);
    }
    // Output sample n lies (n * inputRate mod 16000) / 16000 past an input
    // sample: a multiple of gcd(inputRate, 16000). The weights of each such
    // phase, as Process would compute them sample by sample (through the
    // 32-bit build's x87 arithmetic that cost about 80 ms of a core for each
    // second of 8 kHz sound).
    uint32_t a = inputRate, b = kOutputRate;
    while (b) {
        const uint32_t t = a % b;
        a = b;
        b = t;
    }
    phaseGrain_ = a;
    const size_t phases = kOutputRate / a, taps = 2 * size_t(halfWidth_);
    phaseWeights_.clear();
    phaseSums_.clear();
    if (phases * taps <= kMaxPhaseWeights) {
        phaseWeights_.resize(phases * taps);
        phaseSums_.resize(phases);
        for (size_t p = 0; p < phases; ++p) {
            const double frac = double(p * phaseGrain_) / kOutputRate;
            double weight = 0;
            for (size_t j = 0; j < taps; ++j) {
                const float w = Kernel(double(int64_t(j) - halfWidth_ + 1) - frac);
                phaseWeights_[p * taps + j] = w;
                weight += w;
            }
            phaseSums_[p] = weight;
        }
    }
    return true;
}

void Resampler::Reset() {
    partial_.clear();
    history_.clear();
    historyStart_ = 0;
    nextOutput_ = 0;
}

float Resampler::Kernel(double distance) const {
    double d = std::fabs(distance) * kTableSteps;
    size_t i = size_t(d);
    if (i + 1 >= table_.size()) return 0.0f;
    float f = float(d - double(i));
    return table_[i] + (table_[i + 1] - table_[i]) * f;
}

float Resampler::Sample(const uint8_t* p) const {
    if (format_ == SampleFormat::kFloat) {
        if (bytesPerSample_ == 4) {
            float v;
            std::memcpy(&v, p, 4);
            return std::isfinite(v) ? v * 32768.0f : 0.0f;
        }
        double v;
        std::memcpy(&v, p, 8);
        return std::isfinite(v) ? float(v * 32768.0) : 0.0f;
    }
    switch (bytesPerSample_) {
        case 1:
            return float((int(p[0]) - 128) * 256);
        case 2:
            return float(int16_t(uint16_t(p[0] | (p[1] << 8))));
        case 3: {
            // Sign-extended through the top byte of a 32-bit value.
            int32_t v = int32_t((uint32_t(p[0]) << 8) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 24)) / 256;
            return float(v) / 256.0f;
        }
        default:
            return float(double(int32_t(ReadLe32Bytes(p))) / 65536.0);
    }
}

void Resampler::Process(const uint8_t* data, size_t size, std::vector<int16_t>* out) {
    if (inputRate_ == 0) return;
    const size_t frameBytes = size_t(channels_) * size_t(bytesPerSample_);
    // Complete the partial sample frame left by the previous block.
    size_t used = 0;
    auto appendFrame = [&](const uint8_t* f) {
        float sum = 0;
        for (int c = 0; c < channels_; ++c) sum += Sample(f + size_t(c) * size_t(bytesPerSample_));
        history_.push_back(sum / float(channels_));
    };
    if (!partial_.empty()) {
        size_t need = frameBytes - partial_.size();
        size_t take = std::min(need, size);
        partial_.insert(partial_.end(), data, data + take);
        used = take;
        if (partial_.size() < frameBytes) return;
        appendFrame(partial_.data());
        partial_.clear();
    }
    size_t frames = (size - used) / frameBytes;
    history_.reserve(history_.size() + frames);
    for (size_t i = 0; i < frames; ++i) appendFrame(data + used + i * frameBytes);
    used += frames * frameBytes;
    partial_.assign(data + used, data + size);

    if (inputRate_ == kOutputRate) {
        // Nothing to convert but the channels and the sample size.
        for (float v : history_) out->push_back(int16_t(std::max(-32768.0f, std::min(32767.0f, std::round(v)))));
        historyStart_ += history_.size();
        history_.clear();
        return;
    }

    const uint64_t available = historyStart_ + history_.size();  // input samples seen
    for (;;) {
        // Position of output sample n in input samples: n * inputRate / 16000.
        uint64_t num = nextOutput_ * inputRate_;
        uint64_t whole = num / kOutputRate;
        double frac = double(num % kOutputRate) / kOutputRate;
        if (whole + uint64_t(halfWidth_) + 1 > available) break;
        int64_t first = int64_t(whole) - halfWidth_ + 1;
        int64_t last = int64_t(whole) + halfWidth_;
        double acc = 0, weight = 0;
        if (!phaseSums_.empty()) {
            // The same sums from the phase's weights.
            const size_t taps = 2 * size_t(halfWidth_);
            const size_t phase = size_t(num % kOutputRate) / phaseGrain_;
            const float* w = phaseWeights_.data() + phase * taps;
            weight = phaseSums_[phase];
            const int64_t skip = std::max<int64_t>(0, int64_t(historyStart_) - first);
            const float* h = history_.data() + (first + skip - int64_t(historyStart_));
            for (size_t j = size_t(skip); j < taps; ++j) acc += double(w[j]) * h[j - size_t(skip)];
        } else {
            for (int64_t k = first; k <= last; ++k) {
                float w = Kernel(double(k - int64_t(whole)) - frac);
                weight += w;
                if (k >= int64_t(historyStart_)) acc += double(w) * history_[size_t(k - int64_t(historyStart_))];
            }
        }
        double v = weight > 0 ? acc / weight : 0;
        v = std::max(-32768.0, std::min(32767.0, std::round(v)));
        out->push_back(int16_t(v));
        ++nextOutput_;
    }
    // Drop input that no later output sample reaches.
    uint64_t nextWhole = nextOutput_ * inputRate_ / kOutputRate;
    uint64_t keepFrom = nextWhole > uint64_t(halfWidth_) ? nextWhole - halfWidth_ : 0;
    if (keepFrom > historyStart_) {
        size_t drop = size_t(std::min<uint64_t>(keepFrom - historyStart_, history_.size()));
        history_.erase(history_.begin(), history_.begin() + drop);
        historyStart_ += drop;
    }
}

}  // namespace demoplay
