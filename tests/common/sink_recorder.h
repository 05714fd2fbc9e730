// The test's sound server as seen from a Windows test program: the null
// sink that with_sound_server.sh set up, and recordings of its monitor made
// with parec, which hold exactly what was played into the sink.
#ifndef TESTS_COMMON_SINK_RECORDER_H
#define TESTS_COMMON_SINK_RECORDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "common/host_command.h"

namespace vdtest {

// The null sink's name; "" when the test runs without a sound server.
std::string SoundSinkName();

// Records the sink's monitor (16 kHz, mono, signed 16-bit) into a file of
// its own, removed with the object.
class SinkRecorder {
public:
    SinkRecorder();
    ~SinkRecorder();
    SinkRecorder(const SinkRecorder&) = delete;
    SinkRecorder& operator=(const SinkRecorder&) = delete;

    // Starts parec and waits (boundedly) until samples arrive. "" on
    // success, otherwise what went wrong.
    std::string Start();
    // Samples recorded so far.
    long long SampleCount() const;
    // Waits until the recording holds at least count samples; false at the deadline.
    bool WaitForSamples(long long count, unsigned long deadlineMs) const;
    // The samples recorded so far from sample first on, while recording goes on.
    std::vector<std::int16_t> ReadFrom(long long first) const;
    // Ends the recording and gives every sample of it.
    std::vector<std::int16_t> Stop();

private:
    std::string hostFile_;
    std::string windowsFile_;
    HostProcess parec_;
};

}  // namespace vdtest

#endif
