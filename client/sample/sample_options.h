// The command line of the sample-media tool.
#pragma once

#include <string>
#include <vector>

#include "sample/sample_recording.h"

namespace sample {

struct SampleCommand {
  std::string output;
  RecordingPlan plan;
  bool help = false;
};

// Parses the arguments after the program name. Empty result, or what is wrong.
std::string ParseSampleCommand(const std::vector<std::string>& args, SampleCommand* out);

// The usage text.
const char* SampleUsage();

}  // namespace sample
