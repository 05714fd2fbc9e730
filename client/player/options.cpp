#include "player/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vdplay {
namespace {

bool ToInt(const std::string& text, int* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < -1000000L || v > 1000000L) return false;
    *out = int(v);
    return true;
}

bool ToSeconds(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

}  // namespace

const char* Usage() {
    return "usage: vdplay FILE|CAMERA... [options]\n"
           "  Plays FILE, or cameras on the network, through the video-decoder plug-in\n"
           "  in a window. A CAMERA is rtsp://[USER:PASSWORD@]HOST[:PORT]/PATH (an IP\n"
           "  camera's RTSP address), tcp://HOST:PORT (vdplay connects) or\n"
           "  udp://HOST:PORT (vdplay listens), the last two with raw H.264/H.265\n"
           "  (Annex-B) or AVI; several cameras (up to 64) make a wall, one port each.\n"
           "  --rtsp-transport tcp|udp  RTP inside the RTSP connection (default) or\n"
           "                    in datagrams\n"
           "  --stream          feed FILE as a live stream, in real time\n"
           "  --reconnect       a network source that fails, drops or falls silent:\n"
           "                    try again, waiting longer each time (up to 0.5 s)\n"
           "  --report-every N  a network source: latency and memory every N seconds\n"
           "  --check-pictures  a camera showing vdsample's pattern: count the pictures\n"
           "                    decoded unlike the pattern's own (damaged)\n"
           "  --seconds N       stop after N seconds (default: at the end)\n"
           "  --snapshot PATH   save the picture on display (bitmap) before stopping\n"
           "  --screenshot PATH save the window as shown, overlay included (bitmap)\n"
           "  --record PATH     record what plays into PATH\n"
           "  --plugin PATH     the plug-in (default: VD2_DemoPlay.dll beside vdplay)\n"
           "  --volume N        speaker volume, 0-100 %\n"
           "  --ports N         play FILE on N ports at once, in a grid (1-64)\n"
           "  --no-sound        leave the sound off\n"
           "  --measure         print the pictures shown and the CPU used from the moment\n"
           "                    every port shows a picture to the end of playing\n"
           "  keys: space pause, left/right seek 5 s, +/- speed, . step, enter play,\n"
           "        s snapshot, a sound on/off, q quit\n";
}

std::string ParseOptions(const std::vector<std::string>& args, Options* out) {
    *out = Options();
    std::vector<std::string> names;  // the file, or the cameras
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        auto value = [&]() {
            if (i + 1 >= args.size()) return false;
            v = args[++i];
            return true;
        };
        if (a == "--help" || a == "-h" || a == "/?") {
            out->help = true;
        } else if (a == "--stream") {
            out->stream = true;
        } else if (a == "--reconnect") {
            out->reconnect = true;
        } else if (a == "--report-every") {
            if (!value() || !ToSeconds(v, &out->reportEvery) || out->reportEvery < 1 || out->reportEvery > kMaxSeconds)
                return "--report-every wants a number of seconds from 1 (at most a day)";
        } else if (a == "--check-pictures") {
            out->checkPictures = true;
        } else if (a == "--rtsp-transport") {
            if (!value() || (v != "tcp" && v != "udp")) return "--rtsp-transport wants tcp or udp";
            out->rtspTransport = v;
        } else if (a == "--no-sound") {
            out->sound = false;
        } else if (a == "--measure") {
            out->measure = true;
        } else if (a == "--seconds") {
            if (!value() || !ToSeconds(v, &out->seconds) || out->seconds <= 0 || out->seconds > kMaxSeconds)
                return "--seconds wants a number of seconds above 0 (at most a day)";
        } else if (a == "--snapshot" || a == "--record" || a == "--plugin" || a == "--screenshot") {
            if (!value() || v.empty()) return a + " wants a path";
            (a == "--snapshot" ? out->snapshot
             : a == "--record" ? out->record
             : a == "--plugin" ? out->plugin
                               : out->screenshot) = v;
        } else if (a == "--volume") {
            if (!value() || !ToInt(v, &out->volume) || out->volume < 0 || out->volume > 100)
                return "--volume wants a percentage from 0 to 100";
        } else if (a == "--ports") {
            if (!value() || !ToInt(v, &out->ports) || out->ports < 1 || out->ports > kMaxPorts)
                return "--ports wants a number from 1 to " + std::to_string(kMaxPorts);
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else {
            names.push_back(a);
        }
    }
    if (out->help) return "";
    if (names.empty()) return "no file given";
    out->file = names[0];
    std::string problem;
    for (const std::string& name : names) {
        NetAddress address;
        if (!ParseNetAddress(name, &address, &problem)) {
            if (names.size() > 1) return "only one file may be given (" + names[0] + ", " + names[1] + ")";
            break;
        }
        if (!problem.empty()) return problem;
        out->sources.push_back(address);
    }
    if (!out->sources.empty()) {
        out->source = out->sources[0];
        out->stream = true;  // a camera is a live stream
        if (int(out->sources.size()) > kMaxPorts)
            return "at most " + std::to_string(kMaxPorts) + " cameras may be given";
        if (out->sources.size() > 1) {
            if (out->ports > 1) return "--ports is for one camera; several cameras get one port each";
            out->ports = int(out->sources.size());
        }
    } else if (out->reconnect || out->reportEvery > 0) {
        return std::string(out->reconnect ? "--reconnect" : "--report-every") +
               " is for tcp:// and udp:// sources and rtsp:// cameras only";
    }
    if (!out->record.empty() && out->ports > 1) return "--record takes one port only";
    return "";
}

unsigned int VolumeFromPercent(int percent) {
    if (percent <= 0) return 0;
    if (percent >= 100) return 0xFFFF;
    return unsigned(percent) * 0xFFFFu / 100u;
}

}  // namespace vdplay
