// Which video output each port uses, as the plug-in's display threads trace
// it once they have settled on one:
//   "video output: port=<N> output=<ddraw|drawdib> reason=<word>\n"
// vdplay catches those traces in its own process and reports them per port.
// A plug-in that does not trace leaves every port "unknown".
#ifndef VD_PLAYER_OUTPUT_TRACE_H
#define VD_PLAYER_OUTPUT_TRACE_H

#include <string>
#include <vector>

namespace vdplay {

struct OutputTrace {
    int port = -1;
    std::string output;  // "ddraw" or "drawdib"
    std::string reason;  // "forced", "unavailable", "format" or "cheaper"
};

// Reads one trace; false for any other text (the plug-in traces other things
// too) and for a trace with a value outside the lists above.
bool ParseOutputTrace(const char* text, size_t length, OutputTrace* trace);

// "port 3 video output drawdib (cheaper)"
std::string OutputTraceLine(const OutputTrace& trace);

// The summary's value for ports in the wall's order: one output per port,
// comma separated, "unknown" for a port that did not trace; "unknown" alone
// when none did.
std::string OutputsValue(const std::vector<std::string>& outputsInWallOrder);

}  // namespace vdplay

#endif  // VD_PLAYER_OUTPUT_TRACE_H
