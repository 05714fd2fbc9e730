// The command line of the sample-media tool.
#ifndef VD_SAMPLE_SAMPLE_OPTIONS_H
#define VD_SAMPLE_SAMPLE_OPTIONS_H

#include <string>
#include <vector>

#include "sample/sample_recording.h"

namespace vdsample {

struct SampleCommand {
    std::string output;
    RecordingPlan plan;
    bool help = false;
};

// Parses the arguments after the program name. Empty result, or what is wrong.
std::string ParseSampleCommand(const std::vector<std::string>& args, SampleCommand* out);

// The usage text.
const char* SampleUsage();

}  // namespace vdsample

#endif  // VD_SAMPLE_SAMPLE_OPTIONS_H
