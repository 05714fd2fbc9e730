#include "sample/sample_options.h"

#include <cerrno>
#include <cstdlib>

namespace vdsample {
namespace {

bool ToInt(const std::string& text, int* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < -1000000000L || v > 1000000000L) return false;
    *out = int(v);
    return true;
}

bool ToDouble(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0') return false;
    *out = v;
    return true;
}

bool ToSize(const std::string& text, int* w, int* h) {
    const size_t x = text.find('x');
    return x != std::string::npos && ToInt(text.substr(0, x), w) && ToInt(text.substr(x + 1), h);
}

}  // namespace

const char* SampleUsage() {
    return "usage: vdsample OUTPUT.avi [options]\n"
           "  Writes a sample recording: colour bars, a moving square, a running clock,\n"
           "  a 440 Hz tone, and OUTPUT.lti, an overlay with a box that follows the square.\n"
           "  --size WxH        picture size (default 640x480; width a multiple of 16)\n"
           "  --fps N           pictures per second (default 25)\n"
           "  --seconds S       length (default 10)\n"
           "  --format F        mjpeg (default), yv12 or i420\n"
           "  --quality Q       JPEG quality 1-100 (default 85)\n"
           "  --tone HZ         tone frequency (default 440)\n"
           "  --no-sound        no sound stream\n"
           "  --no-overlay      no .lti side file\n";
}

std::string ParseSampleCommand(const std::vector<std::string>& args, SampleCommand* out) {
    *out = SampleCommand();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= args.size()) return false;
            *v = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            out->help = true;
        } else if (a == "--no-sound") {
            out->plan.sound = false;
        } else if (a == "--no-overlay") {
            out->plan.overlay = false;
        } else if (a == "--size") {
            if (!value(&v) || !ToSize(v, &out->plan.width, &out->plan.height)) return "--size wants WIDTHxHEIGHT";
        } else if (a == "--fps") {
            if (!value(&v) || !ToInt(v, &out->plan.fps)) return "--fps wants a whole number";
        } else if (a == "--seconds") {
            if (!value(&v) || !ToDouble(v, &out->plan.seconds)) return "--seconds wants a number";
        } else if (a == "--format") {
            if (!value(&v) || !ParseFormat(v, &out->plan.format)) return "--format wants mjpeg, yv12 or i420";
        } else if (a == "--quality") {
            if (!value(&v) || !ToInt(v, &out->plan.jpegQuality)) return "--quality wants a whole number";
        } else if (a == "--tone") {
            if (!value(&v) || !ToInt(v, &out->plan.tone.frequencyHz) || out->plan.tone.frequencyHz < 1 ||
                out->plan.tone.frequencyHz > 8000 - 1)
                return "--tone wants a frequency between 1 and 7999 Hz";
        } else if (!a.empty() && a[0] == '-') {
            return "unknown option " + a;
        } else if (out->output.empty()) {
            out->output = a;
        } else {
            return "only one output file may be given";
        }
    }
    if (out->help) return "";
    if (out->output.empty()) return "no output file given";
    return CheckPlan(out->plan);
}

}  // namespace vdsample
