// vdsample: writes a sample recording that vdplay and the plug-in can play,
// without downloading anything.
#include <cstdio>
#include <string>
#include <vector>

#include "sample/sample_options.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    vdsample::SampleCommand command;
    const std::string problem = vdsample::ParseSampleCommand(args, &command);
    if (command.help) {
        std::fputs(vdsample::SampleUsage(), stdout);
        return 0;
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "vdsample: %s\n%s", problem.c_str(), vdsample::SampleUsage());
        return 2;
    }
    vdsample::WrittenFiles written;
    const std::string failure = vdsample::WriteRecording(command.output, command.plan, &written);
    if (!failure.empty()) {
        std::fprintf(stderr, "vdsample: %s\n", failure.c_str());
        return 1;
    }
    const vdsample::RecordingPlan& s = command.plan;
    std::printf("vdsample: wrote %s (%dx%d %s, %d pictures at %d/s, %s, %llu bytes)\n", written.avi.c_str(), s.width,
                s.height, vdsample::FormatName(s.format), written.pictures, s.fps, s.sound ? "440 Hz tone" : "no sound",
                static_cast<unsigned long long>(written.aviBytes));
    if (!written.overlay.empty()) std::printf("vdsample: wrote %s (overlay)\n", written.overlay.c_str());
    return 0;
}
