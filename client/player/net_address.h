// The network sources vdplay plays live: "tcp://HOST:PORT" (vdplay connects
// to a camera that listens) and "udp://HOST:PORT" (vdplay listens on that
// address for the camera's datagrams).
#ifndef VD_PLAYER_NET_ADDRESS_H
#define VD_PLAYER_NET_ADDRESS_H

#include <string>

namespace vdplay {

enum class NetProtocol { kNone, kTcp, kUdp };

struct NetAddress {
    NetProtocol protocol = NetProtocol::kNone;
    std::string host;  // a name or a dotted IPv4 address (no IPv6)
    int port = 0;
};

// True when `text` names a network source at all (it starts with "tcp://" or
// "udp://", in any letter case). Then *problem is empty and *out filled, or
// *problem says what is wrong with it.
bool ParseNetAddress(const std::string& text, NetAddress* out, std::string* problem);

}  // namespace vdplay

#endif  // VD_PLAYER_NET_ADDRESS_H
