// The texts vdplay shows: the window title while it plays and the summary
// line it prints when it ends (one line, key=value pairs, for scripts).
#ifndef VD_PLAYER_REPORT_H
#define VD_PLAYER_REPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace vdplay {

struct TitleState {
    std::string file;           // shown by its file name only
    int positionSeconds = -1;   // -1: unknown
    int lengthSeconds = -1;     // -1 or 0: unknown (streams)
    int width = 0, height = 0;  // 0: not known yet
    int speed = 0;              // exponent of two
    bool paused = false;
    bool stepping = false;
    bool stream = false;
    bool sound = false;
    int ports = 1;
};

// "vdplay - sample.avi - 00:03 / 00:10 - 640x480 - ..."
std::string WindowTitle(const TitleState& s);
// "mm:ss", or "h:mm:ss" from an hour on.
std::string ClockOf(int seconds);

struct OutputFile {
    std::string kind;  // "snapshot", "record", "screenshot"
    std::string path;
    int64_t bytes = -1;  // -1: not written
};

struct Summary {
    std::string mode;  // "file" or "stream"
    int ports = 0;
    int64_t pictures = 0;  // pictures the decode callback saw, all ports together
    int64_t soundBlocks = 0;
    int64_t lastStampMs = -1;
    int positionSeconds = -1;  // the plug-in's play position at the end
    int lengthSeconds = -1;
    int width = 0, height = 0;
    std::string outputs;  // the video output of each port, as vdplay::OutputsValue gives it
    std::vector<OutputFile> files;
    int exitCode = 0;
};

// "vdplay summary: mode=file ports=1 pictures=250 ... exit=0 (ok)". Values
// with spaces are quoted.
std::string SummaryLine(const Summary& s);

}  // namespace vdplay

#endif  // VD_PLAYER_REPORT_H
