#include "common/rtsp_camera.h"

#include <winsock2.h>

namespace vdtest {
namespace {

bool Listens(int port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(u_short(port));
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    closesocket(s);
    return ok;
}

// Whether something listens on the local port within `ms`.
bool ListensWithin(int port, ULONGLONG ms) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    bool up = false;
    for (const ULONGLONG until = GetTickCount64() + ms; !up && GetTickCount64() < until; Sleep(100)) up = Listens(port);
    WSACleanup();
    return up;
}

}  // namespace

int FreeLocalPort(int type) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, type, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    closesocket(s);
    WSACleanup();
    return ntohs(a.sin_port);
}

std::string RtspCamera::Start(const std::string& pattern, int port) {
    Stop();
    if (port == 0) port = port_ ? port_ : FreeLocalPort(SOCK_STREAM);
    port_ = port;
    const std::string hostPattern = HostPath(pattern);
    if (hostPattern.empty()) return "no host path for " + pattern;
    const std::string log = HostPath(pattern + ".rtsp-" + std::to_string(port) + ".log");
    if (!process_.Start(ShellWord(script_) + " --port " + std::to_string(port) + " --pattern " +
                        ShellWord(hostPattern) + " >" + ShellWord(log) + " 2>&1"))
        return "cannot start " + script_;
    // GStreamer loads its plug-ins first: seconds on a busy machine.
    if (!ListensWithin(port, 60000)) {
        Stop();
        return "the RTSP server did not listen on port " + std::to_string(port) + " (see " + log + ")";
    }
    return "";
}

std::string LossyRelay::Start(const RtspCamera& camera, double drop, double delayShare, const std::string& log) {
    Stop();
    port_ = FreeLocalPort(SOCK_STREAM);
    const std::string hostLog = HostPath(log);
    if (hostLog.empty()) return "no host path for " + log;
    if (!process_.Start(ShellWord(script_) + " " + std::to_string(port_) + " " + std::to_string(camera.port()) +
                        " --drop " + std::to_string(drop) + " --delay-share " + std::to_string(delayShare) + " >" +
                        ShellWord(hostLog) + " 2>&1"))
        return "cannot start " + script_;
    if (!ListensWithin(port_, 30000)) {
        Stop();
        return "the relay did not listen on port " + std::to_string(port_) + " (see " + log + ")";
    }
    return "";
}

std::string LossyRelay::url(const std::string& path) const {
    return "rtsp://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

std::string RtspCamera::url(const std::string& path) const {
    return "rtsp://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

}  // namespace vdtest
