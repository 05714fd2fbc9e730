// The sample recording's sound: a steady sine tone as 16-bit mono PCM, cut
// into the blocks that go with each picture.
#ifndef VD_SAMPLE_PCM_TONE_H
#define VD_SAMPLE_PCM_TONE_H

#include <cstdint>
#include <vector>

namespace vdsample {

struct TonePlan {
    int sampleRate = 16000;
    int frequencyHz = 440;
    double amplitude = 0.3;  // of full scale
};

// Samples that belong to picture `index` at `fps` pictures per second: the
// blocks of consecutive pictures join without a gap or an overlap, and the
// phase runs on from one block to the next.
std::vector<int16_t> ToneForPicture(const TonePlan& tone, int index, int fps);
// Number of samples before picture `index`.
int64_t SamplesBefore(const TonePlan& tone, int index, int fps);

}  // namespace vdsample

#endif  // VD_SAMPLE_PCM_TONE_H
