// Sound start latency: from OpenSound on a port whose SDK is already
// delivering sound blocks to the first loud sample at the sound server's
// null-sink monitor. The peer, in the same run: the wave-out device opened
// and handed the same sound directly, from the open to the first loud
// sample.
//
// The recording is the clock: the monitor runs at 16000 samples a second,
// so the sample being mixed at a given moment is found from how the
// recording file grows (it arrives in pieces of about 10 ms; the earliest
// arrival seen over a while tells which sample was mixed when). The sink
// plays a sample its configured latency after mixing it, so that latency is
// added to both figures. The error is about one piece of the sink's mixing
// (5 ms) either way. Prints
//   ms sound_start_latency <our median>
//   ms sound_start_latency_raw_waveout <the peer's median>
//   ratio sound_start_latency <ours / peer>
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "common/host_command.h"
#include "common/sink_recorder.h"
#include "common/sound_port.h"
#include "common/sound_signal.h"

namespace {

using namespace vdtest;

constexpr int kRounds = 15;
// The first device of a process starts much slower (the system's sound
// stack gets going); a round of each before measuring.
constexpr int kWarmUpRounds = 1;
constexpr double kTone = 440;
constexpr double kAmplitude = 12000;
constexpr int kLoud = 50;

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Which sample of the recording plays at a given moment: sample = 16 * ms
// + offset, the offset taken from the file's growth watched for a while
// (the largest one seen is the one least delayed by the recorder).
class RecordingClock {
public:
    explicit RecordingClock(const SinkRecorder& recorder) : recorder_(recorder) {}
    void Watch(double forMs) {
        const double until = NowMs() + forMs;
        while (NowMs() < until) {
            const double now = NowMs();
            const double offset = static_cast<double>(recorder_.SampleCount()) - now * kSampleRate / 1000.0;
            if (!known_ || offset > offset_) offset_ = offset;
            known_ = true;
            Sleep(1);
        }
    }
    long long SampleAt(double ms) const { return static_cast<long long>(ms * kSampleRate / 1000.0 + offset_); }

private:
    const SinkRecorder& recorder_;
    bool known_ = false;
    double offset_ = 0;
};

// Milliseconds from sample start of the recording to its first loud sample
// (a little before start counts too: the clock is only that good); false
// when none came within the deadline.
bool MsToFirstLoud(const SinkRecorder& recorder, long long start, double* ms, DWORD deadlineMs = 5000) {
    const long long from = std::max(0LL, start - kSampleRate / 20);
    const DWORD begun = GetTickCount();
    while (GetTickCount() - begun < deadlineMs) {
        const std::vector<std::int16_t> samples = recorder.ReadFrom(from);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (std::abs(samples[i]) > kLoud) {
                *ms = 1000.0 * static_cast<double>(from + static_cast<long long>(i) - start) / kSampleRate;
                return true;
            }
        }
        Sleep(2);
    }
    return false;
}

// The sink's configured latency in milliseconds, as the server tells it.
double SinkLatencyMs() {
    const HostResult result = RunHostCommand(
        "pactl list sinks | sed -n 's/.*Latency: .* configured \\([0-9]*\\) usec.*/\\1/p' | head -n1", 30000);
    return result.finished ? std::atof(result.output.c_str()) / 1000.0 : 0.0;
}

// Waits until the sink has been silent for a while, so that a round starts
// from silence.
void WaitForSilence(const SinkRecorder& recorder) {
    for (int i = 0; i < 100; ++i) {
        Sleep(50);
        const long long now = recorder.SampleCount();
        const std::vector<std::int16_t> tail = recorder.ReadFrom(std::max(0LL, now - kSampleRate / 5));
        if (std::none_of(tail.begin(), tail.end(), [](std::int16_t s) { return std::abs(s) > kLoud; })) return;
    }
}

bool OurStart(SoundPort& sound, const SinkRecorder& recorder, const RecordingClock& clock, double* ms) {
    const long long start = clock.SampleAt(NowMs());
    if (sound.decoder().OpenSound(sound.port()) != 0) return false;
    const bool heard = MsToFirstLoud(recorder, start, ms);
    sound.decoder().CloseSound(sound.port());
    return heard;
}

bool RawStart(const SinkRecorder& recorder, const RecordingClock& clock, const std::vector<std::int16_t>& tone,
              double* ms) {
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
    const long long start = clock.SampleAt(NowMs());
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    WAVEHDR header = {};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<std::int16_t*>(tone.data()));
    header.dwBufferLength = static_cast<DWORD>(tone.size() * 2);
    waveOutPrepareHeader(device, &header, sizeof header);
    waveOutWrite(device, &header, sizeof header);
    const bool heard = MsToFirstLoud(recorder, start, ms);
    waveOutReset(device);
    waveOutUnprepareHeader(device, &header, sizeof header);
    waveOutClose(device);
    return heard;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main() {
    SoundPort sound;
    if (!sound.failure().empty()) {
        std::fprintf(stderr, "bench_sound: %s\n", sound.failure().c_str());
        return 1;
    }
    SinkRecorder recorder;
    const std::string started = recorder.Start();
    if (!started.empty()) {
        std::fprintf(stderr, "bench_sound: %s\n", started.c_str());
        return 1;
    }
    // The SDK delivers all along; the blocks are dropped while the sound is off.
    sound.StartFeeding(SineBlocks(kTone, kAmplitude, 16000, 1280), true);
    const std::vector<std::int16_t> tone = SineSamples(kTone, kAmplitude, 0, 3200);

    RecordingClock clock(recorder);
    std::vector<double> ours;
    std::vector<double> raw;
    for (int round = 0; round < kWarmUpRounds + kRounds; ++round) {
        WaitForSilence(recorder);
        clock.Watch(300);
        double a = 0;
        double b = 0;
        const bool ourHeard = OurStart(sound, recorder, clock, &a);
        WaitForSilence(recorder);
        clock.Watch(300);
        if (!ourHeard || !RawStart(recorder, clock, tone, &b)) {
            std::fprintf(stderr, "bench_sound: no sound reached the sink (round %d)\n", round);
            return 1;
        }
        std::fprintf(stderr, "round %d: ours %.1f ms, raw wave-out %.1f ms (before the sink's latency)%s\n", round, a,
                     b, round < kWarmUpRounds ? ", warming up" : "");
        if (round < kWarmUpRounds) continue;
        ours.push_back(a);
        raw.push_back(b);
    }
    sound.StopFeeding();
    const double sinkLatency = SinkLatencyMs();
    const double ourMedian = Median(ours) + sinkLatency;
    const double rawMedian = Median(raw) + sinkLatency;
    std::printf("ms sound_start_latency %.1f\n", ourMedian);
    std::printf("ms sound_start_latency_raw_waveout %.1f\n", rawMedian);
    std::printf("ratio sound_start_latency %.3f\n", rawMedian > 0 ? ourMedian / rawMedian : 0.0);
    return 0;
}
