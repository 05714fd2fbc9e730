#include "common/sink_recorder.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "common/sound_signal.h"

namespace vdtest {

std::string SoundSinkName() { return EnvironmentValue("VD_SOUND_SINK"); }

SinkRecorder::SinkRecorder() {
    static std::atomic<int> counter{0};
    const std::string work = EnvironmentValue("VD_SOUND_WORK");
    if (work.empty()) return;
    hostFile_ = work + "/recording_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++) + ".raw";
    windowsFile_ = WindowsPath(hostFile_);
}

SinkRecorder::~SinkRecorder() {
    parec_.Stop();
    if (!windowsFile_.empty()) DeleteFileA(windowsFile_.c_str());
}

std::string SinkRecorder::Start() {
    const std::string sink = SoundSinkName();
    if (sink.empty() || windowsFile_.empty()) return "no sound server (run under with_sound_server.sh)";
    // A short source latency, so the recording follows the sink closely.
    const std::string command = "parec -d " + ShellWord(sink + ".monitor") +
                                " --raw --format=s16le --rate=16000 --channels=1 --latency-msec=10 > " +
                                ShellWord(hostFile_);
    if (!parec_.Start(command)) return "parec did not start";
    if (!WaitForSamples(1, 10000)) return "parec records nothing";
    return "";
}

long long SinkRecorder::SampleCount() const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (windowsFile_.empty() || !GetFileAttributesExA(windowsFile_.c_str(), GetFileExInfoStandard, &data)) return 0;
    const long long bytes = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return bytes / 2;
}

bool SinkRecorder::WaitForSamples(long long count, unsigned long deadlineMs) const {
    const DWORD start = GetTickCount();
    while (SampleCount() < count) {
        if (GetTickCount() - start > deadlineMs) return false;
        Sleep(10);
    }
    return true;
}

std::vector<std::int16_t> SinkRecorder::ReadFrom(long long first) const {
    std::ifstream in(windowsFile_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(first * 2));
    if (!in) return {};
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return SamplesOf(bytes.str());
}

std::vector<std::int16_t> SinkRecorder::Stop() {
    parec_.Stop();
    std::ifstream in(windowsFile_, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return SamplesOf(bytes.str());
}

}  // namespace vdtest
