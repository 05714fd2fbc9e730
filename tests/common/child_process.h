// Runs a program as a child process with its output captured and a deadline:
// a child that does not end in time is ended, and the result says so.
#pragma once

#include <string>
#include <vector>

namespace vdtest {

struct ChildResult {
  bool started = false;
  bool timedOut = false;
  unsigned long exitCode = 0;
  std::string out;  // standard output
  std::string err;  // standard error
};

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args, unsigned long deadlineMs,
                     const std::string& workingDirectory = "");

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vdtest
