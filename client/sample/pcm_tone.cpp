#include "sample/pcm_tone.h"

#include <cmath>

namespace vdsample {

int64_t SamplesBefore(const TonePlan& tone, int index, int fps) {
    return fps > 0 ? int64_t(index) * tone.sampleRate / fps : 0;
}

std::vector<int16_t> ToneForPicture(const TonePlan& tone, int index, int fps) {
    const int64_t first = SamplesBefore(tone, index, fps);
    const int64_t end = SamplesBefore(tone, index + 1, fps);
    std::vector<int16_t> out;
    out.reserve(size_t(end - first));
    const double pi = 3.14159265358979323846;
    for (int64_t n = first; n < end; ++n) {
        // The phase is taken modulo one period so that long recordings keep
        // their precision.
        const int64_t period = tone.sampleRate;
        const double phase = double((n * tone.frequencyHz) % period) / double(period);
        out.push_back(int16_t(std::lround(tone.amplitude * 32767.0 * std::sin(2.0 * pi * phase))));
    }
    return out;
}

}  // namespace vdsample
