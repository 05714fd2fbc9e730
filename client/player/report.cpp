#include "player/report.h"

#include <cstdio>

#include "player/exit_codes.h"

namespace vdplay {
namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Value(const std::string& v) {
    if (v.empty()) return "-";
    if (v.find_first_of(" \t\"") == std::string::npos) return v;
    std::string out = "\"";
    for (char c : v) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

void Add(std::string* out, const std::string& key, const std::string& value) { *out += " " + key + "=" + Value(value); }

}  // namespace

std::string ClockOf(int seconds) {
    if (seconds < 0) return "--:--";
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%02d:%02d", seconds / 60, seconds % 60);
    return text;
}

std::string WindowTitle(const TitleState& s) {
    std::string t = "vdplay - " + BaseName(s.file);
    if (s.stream) {
        t += " - live " + ClockOf(s.positionSeconds);
    } else {
        t += " - " + ClockOf(s.positionSeconds) + " / " + (s.lengthSeconds > 0 ? ClockOf(s.lengthSeconds) : "--:--");
    }
    t += " - " + (s.width > 0 && s.height > 0 ? std::to_string(s.width) + "x" + std::to_string(s.height) : "?x?");
    if (s.ports > 1) t += " - " + std::to_string(s.ports) + " ports";
    if (s.speed != 0)
        t += std::string(" - speed ") + (s.speed > 0 ? "x" : "/") +
             std::to_string(1 << (s.speed > 0 ? s.speed : -s.speed));
    if (s.paused) t += " - paused";
    if (s.stepping) t += " - step";
    if (!s.sound) t += " - muted";
    return t;
}

std::string SummaryLine(const Summary& s) {
    std::string out = "vdplay summary:";
    Add(&out, "mode", s.mode);
    Add(&out, "ports", std::to_string(s.ports));
    Add(&out, "pictures", std::to_string(s.pictures));
    Add(&out, "sound_blocks", std::to_string(s.soundBlocks));
    Add(&out, "last_stamp_ms", s.lastStampMs >= 0 ? std::to_string(s.lastStampMs) : "");
    Add(&out, "position_s", s.positionSeconds >= 0 ? std::to_string(s.positionSeconds) : "");
    Add(&out, "length_s", s.lengthSeconds >= 0 ? std::to_string(s.lengthSeconds) : "");
    Add(&out, "size", s.width > 0 ? std::to_string(s.width) + "x" + std::to_string(s.height) : "");
    Add(&out, "outputs", s.outputs.empty() ? "unknown" : s.outputs);
    for (const OutputFile& f : s.files) {
        Add(&out, f.kind, f.path);
        Add(&out, f.kind + "_bytes", f.bytes >= 0 ? std::to_string(f.bytes) : "");
    }
    Add(&out, "exit", std::to_string(s.exitCode));
    Add(&out, "result", ExitCodeName(s.exitCode));
    return out;
}

}  // namespace vdplay
