// The network sources vdplay plays live: "tcp://HOST:PORT" (vdplay connects
// to a camera that listens), "udp://HOST:PORT" (vdplay listens on that
// address for the camera's datagrams) and "rtsp://[USER:PASSWORD@]HOST[:PORT]/PATH"
// (a camera's RTSP session).
#ifndef VD_PLAYER_NET_ADDRESS_H
#define VD_PLAYER_NET_ADDRESS_H

#include <string>

namespace vdplay {

enum class NetProtocol { kNone, kTcp, kUdp, kRtsp };

struct NetAddress {
    NetProtocol protocol = NetProtocol::kNone;
    std::string host;  // a name or a dotted IPv4 address (no IPv6)
    int port = 0;
    std::string text;             // as given
    bool hasCredentials = false;  // rtsp:// with USER:PASSWORD@
};

// The address as messages show it: the password left out.
std::string DescribeNetAddress(const NetAddress& address);

// True when `text` names a network source at all (it starts with "tcp://",
// "udp://" or "rtsp://", in any letter case). Then *problem is empty and *out filled, or
// *problem says what is wrong with it.
bool ParseNetAddress(const std::string& text, NetAddress* out, std::string* problem);

}  // namespace vdplay

#endif  // VD_PLAYER_NET_ADDRESS_H
