// vdplay's command line.
#ifndef VD_PLAYER_OPTIONS_H
#define VD_PLAYER_OPTIONS_H

#include <string>
#include <vector>

#include "player/net_address.h"

namespace vdplay {

struct Options {
    std::string file;
    NetAddress source;                  // `file` is a camera's address (tcp://, udp://, rtsp://): a live camera
    std::vector<NetAddress> sources;    // every camera's address, one port each when more than one
    std::string rtspTransport = "tcp";  // how an RTSP session carries the pictures: tcp or udp
    bool reconnect = false;             // a network source that fails, drops or falls silent is tried again
    double reportEvery = 0;             // a network source: latency and memory every this many seconds
    bool checkPictures = false;         // a camera showing vdsample's pattern: count pictures unlike its own
    bool stream = false;                // feed the file as a live stream, paced in real time
    double seconds = 0;                 // stop after this long; 0: play to the end
    std::string snapshot;               // take a snapshot here before stopping
    std::string record;                 // record what plays into this file
    std::string screenshot;             // save the window as shown (with the overlay)
    std::string plugin;                 // the plug-in; empty: VD2_DemoPlay.dll beside vdplay
    int volume = -1;                    // 0-100 % of the speaker volume; -1: leave it
    int ports = 1;                      // the same file on this many ports at once
    bool sound = true;
    bool measure = false;  // print the "vdplay measure:" line
    bool help = false;
};

constexpr int kMaxPorts = 64;
constexpr double kMaxSeconds = 24.0 * 3600.0;

// Parses the arguments after the program name. Empty result, or what is wrong.
std::string ParseOptions(const std::vector<std::string>& args, Options* out);

const char* Usage();

// The speaker volume the plug-in takes (0 to 0xFFFF) for a percentage.
unsigned int VolumeFromPercent(int percent);

}  // namespace vdplay

#endif  // VD_PLAYER_OPTIONS_H
