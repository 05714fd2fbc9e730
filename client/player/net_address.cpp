#include "player/net_address.h"

#include <cctype>

namespace vdplay {
namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

bool HostCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_'; }

}  // namespace

bool ParseNetAddress(const std::string& text, NetAddress* out, std::string* problem) {
    *out = NetAddress();
    problem->clear();
    if (StartsWithNoCase(text, "tcp://"))
        out->protocol = NetProtocol::kTcp;
    else if (StartsWithNoCase(text, "udp://"))
        out->protocol = NetProtocol::kUdp;
    else
        return false;
    const std::string rest = text.substr(6);
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        *problem = text + " wants HOST:PORT after the protocol";
        return true;
    }
    out->host = rest.substr(0, colon);
    for (char c : out->host) {
        if (!HostCharacter(c)) {
            *problem = text + ": \"" + out->host + "\" is not a host name or IPv4 address";
            return true;
        }
    }
    const std::string port = rest.substr(colon + 1);
    long value = 0;
    for (char c : port) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || value > 65535) {
            value = -1;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (port.empty() || value < 1 || value > 65535) {
        *problem = text + ": the port must be a number from 1 to 65535";
        return true;
    }
    out->port = int(value);
    return true;
}

}  // namespace vdplay
