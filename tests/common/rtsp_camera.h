// A real RTSP camera for the tests, run on the host: GStreamer's RTSP server
// (tests/common/rtsp_camera.py) serving an uncompressed recording's pictures
// and sound in real time, in a loop, as H.264, H.265 or Motion-JPEG with
// G.711 or AAC sound, over RTP in the RTSP connection or in datagrams.
#ifndef TESTS_COMMON_RTSP_CAMERA_H
#define TESTS_COMMON_RTSP_CAMERA_H

#include <string>

#include "common/host_command.h"

namespace vdtest {

class RtspCamera {
public:
    // The server script, as the build names it (a host path).
    explicit RtspCamera(std::string script) : script_(std::move(script)) {}
    ~RtspCamera() { Stop(); }

    // Serves `pattern` (a Windows path of an uncompressed AVI) on `port`
    // (0: a free one; the same one again after Stop) and waits until the
    // server listens. Empty, or what went wrong.
    std::string Start(const std::string& pattern, int port = 0);
    void Stop() { process_.Stop(); }
    // rtsp://127.0.0.1:PORT/path, e.g. path "h264-pcmu".
    std::string url(const std::string& path) const;
    int port() const { return port_; }

private:
    std::string script_;
    HostProcess process_;
    int port_ = 0;
};

// scripts/lossy-rtsp-relay between a camera and its client: RTP over UDP
// through it loses some datagrams and has others come late.
class LossyRelay {
public:
    explicit LossyRelay(std::string script) : script_(std::move(script)) {}
    ~LossyRelay() { Stop(); }

    // Relays to `camera`, dropping the share `drop` of the datagrams and
    // holding `delayShare` of them back 30 ms; `log` (a Windows path) gets
    // its counts when it stops. Empty, or what went wrong.
    std::string Start(const RtspCamera& camera, double drop, double delayShare, const std::string& log);
    void Stop() { process_.Stop(); }
    std::string url(const std::string& path) const;

private:
    std::string script_;
    HostProcess process_;
    int port_ = 0;
};

// A local port nobody listens on (taken and given back); `type` is
// SOCK_STREAM or SOCK_DGRAM.
int FreeLocalPort(int type);

}  // namespace vdtest

#endif
