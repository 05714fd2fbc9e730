// One way of reaching a camera, as NetSource drives it: a TCP connection, a
// UDP address listened on, or an RTSP session. Every call is bounded and
// returns soon after `stop` is set.
#ifndef VD_VDPLAY_NET_LINK_H
#define VD_VDPLAY_NET_LINK_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "player/net_address.h"
#include "player/options.h"

namespace vdplay {

enum class ReadResult { kData, kClosed, kBroken, kQuiet, kStopped };

class NetLink {
public:
    virtual ~NetLink() = default;
    // Reaches the camera; false with *why and *exitCode set.
    virtual bool Open(HANDLE stop, DWORD connectMs, std::string* why, int* exitCode) = 0;
    // Waits up to `waitMs` for the next piece: kData with *data/*size set
    // (valid until the next call), kQuiet when nothing came, kBroken with *why.
    virtual ReadResult Read(HANDLE stop, DWORD waitMs, const uint8_t** data, size_t* size, std::string* why) = 0;
    virtual void Close() = 0;
    // The whole header OpenStream wants, made by the link itself (an RTSP
    // session's): empty when the stream's own first bytes are its header.
    virtual const std::vector<uint8_t>& madeHead() const { return noHead_; }
    // The video of the last piece as raw H.264/H.265, for following pictures
    // to the screen; by default the piece itself.
    virtual bool LastVideo(const uint8_t** data, size_t* size) const {
        (void)data;
        (void)size;
        return false;
    }
    // A new connection starts the stream over with its own header, so the
    // ports are opened again with it.
    virtual bool reopensPorts() const { return false; }
    // Pictures not handed on because packets before them were lost (any thread).
    virtual int64_t picturesHeld() const { return 0; }
    // Packets of the stream that never came (RTP over UDP; any thread).
    virtual int64_t packetsLost() const { return 0; }

private:
    std::vector<uint8_t> noHead_;
};

// tcp:// and udp://.
std::unique_ptr<NetLink> MakeSocketLink(const vdplay::NetAddress& address);
// rtsp://, with RTP over "tcp" or "udp".
std::unique_ptr<NetLink> MakeRtspLink(const vdplay::NetAddress& address, const std::string& transport);
// The link for an address of the command line.
std::unique_ptr<NetLink> MakeLink(const vdplay::NetAddress& address, const vdplay::Options& options);

// Waits for `stop`, for at most `ms`: false when it was set.
inline bool PauseUnlessStopped(HANDLE stop, DWORD ms) { return WaitForSingleObject(stop, ms) == WAIT_TIMEOUT; }

}  // namespace vdplay

#endif  // VD_VDPLAY_NET_LINK_H
