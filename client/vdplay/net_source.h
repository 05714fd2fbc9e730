// A camera on the network as vdplay receives it: a TCP connection to it, UDP
// datagrams from it on a local address, or an RTSP session (NetLink). A
// thread of its own reaches the camera, takes the stream's first bytes (the
// header OpenStream wants) and asks the window's thread to open the ports
// with them; then it hands everything that arrives to the ports with
// InputData, as it arrives. The window's thread never waits for the network,
// and every wait of the receiving thread ends soon after Stop. A connection
// that fails, drops or falls silent ends the source with its exit code, or,
// when asked, is tried again with a growing wait; a stream that starts over
// with a header of its own (AVI, RTSP) has its ports opened again, so that
// no half chunk of the old connection remains in them.
#ifndef VD_VDPLAY_NET_SOURCE_H
#define VD_VDPLAY_NET_SOURCE_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <Orvane/VideoDecoderPlugin.h>

#include "player/picture_arrivals.h"
#include "vdplay/net_link.h"
#include "vdplay/plugin_session.h"

namespace vdplay {

struct NetSettings {
    std::string name;  // "tcp://127.0.0.1:5000", as messages call the source
    bool reconnect = false;
    DWORD connectMs = 5000;  // longest wait for a connection
    DWORD silenceMs = 5000;  // longest wait for data
    DWORD giveUpMs = 0;      // with reconnect: stop trying after this long (0: never)
};

class NetSource {
public:
    // Every piece received (the video of it, for an RTSP session), on the
    // receiving thread, before the ports get it; `fresh` is true for the
    // first piece of a new connection.
    using PieceObserver = std::function<void(const uint8_t* data, size_t size, bool fresh)>;

    NetSource(NetSettings settings, std::unique_ptr<NetLink> link);
    ~NetSource();
    NetSource(const NetSource&) = delete;
    NetSource& operator=(const NetSource&) = delete;

    // Starts the thread. Once a connection has given at least `headBytes`
    // bytes, `message` (wParam `id`) is posted to `window`, whose thread
    // answers with TakeHead and then PortsOpened or PortsRefused.
    bool Start(HWND window, UINT message, WPARAM id, size_t headBytes, PieceObserver observer);
    // The header to open the ports with; *reopen when they are open already.
    // False when nothing is asked.
    bool TakeHead(std::vector<uint8_t>* head, bool* reopen);
    // The ports are open with the head's first `openedWith` bytes: the rest,
    // and all that follows, goes to them.
    void PortsOpened(Orvane::IVideoDecoder_M* decoder, std::vector<int> ports, size_t openedWith);
    void PortsRefused(const Failure& why);
    // Asks the thread to end and waits for it.
    void Stop();
    // Asks the thread to end without waiting (a wall asks every camera at once).
    void RequestStop() {
        if (stop_) SetEvent(stop_);
    }

    // The source has ended for good; failure() says why.
    bool ended() const { return ended_.load(); }
    Failure failure() const;
    // Why the last try to reach the camera failed (while it is tried again).
    Failure lastProblem() const;
    // A connection is up (not being made or made again).
    bool connected() const { return connected_.load(); }
    // When the last connection was made (GetTickCount64); 0 before the first.
    ULONGLONG lastConnectTick() const { return lastConnect_.load(); }
    int64_t bytesReceived() const { return bytes_.load(); }
    // Not taken by the first port, or beyond what a picture can be.
    int64_t bytesDropped() const { return dropped_.load() + oversized_.load(); }
    int reconnects() const { return reconnects_.load(); }
    int64_t picturesHeld() const { return link_->picturesHeld(); }
    int64_t packetsLost() const { return link_->packetsLost(); }
    bool avi() const { return avi_.load(); }  // known once open
    const std::string& describe() const { return settings_.name; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    // Reads until the head is in; false with *why/*code.
    bool ReadHead(std::vector<uint8_t>* head, std::string* why, int* code);
    // Has the window's thread open the ports with `head`; false when stopped
    // or refused.
    bool AskForPorts(const std::vector<uint8_t>& head, bool reopen);
    bool Feed(const uint8_t* data, size_t size);
    // A raw stream's piece, without what no picture can hold, to Feed.
    bool FeedRaw(const uint8_t* data, size_t size);
    void Observe(const uint8_t* data, size_t size, bool fresh);
    bool Pause(DWORD ms) { return PauseUnlessStopped(stop_, ms); }
    void End(int exitCode, const std::string& message);
    void Say(const std::string& text);

    NetSettings settings_;
    std::unique_ptr<NetLink> link_;
    HWND window_ = nullptr;
    UINT message_ = 0;
    WPARAM id_ = 0;
    size_t headBytes_ = 1;

    Orvane::IVideoDecoder_M* decoder_ = nullptr;
    std::vector<int> ports_;
    std::vector<bool> full_;  // per port: the last piece found the SDK full
    vdplay::OversizedUnitFilter units_;
    std::vector<uint8_t> filtered_;
    bool saidOversized_ = false;
    PieceObserver observer_;
    HANDLE thread_ = nullptr;
    HANDLE stop_ = nullptr;
    HANDLE answered_ = nullptr;  // the window's thread has answered a head

    mutable std::mutex mutex_;  // guards the ones below
    Failure failure_;
    Failure lastProblem_;
    std::vector<uint8_t> askedHead_;
    bool asked_ = false, askedReopen_ = false;
    bool refused_ = false;
    size_t openedWith_ = 0;

    std::atomic<bool> ended_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> avi_{false};
    std::atomic<ULONGLONG> lastConnect_{0};
    std::atomic<int64_t> bytes_{0};
    std::atomic<int64_t> dropped_{0};
    std::atomic<int64_t> oversized_{0};
    std::atomic<int> reconnects_{0};
    bool saidRefused_ = false;
};

}  // namespace vdplay

#endif  // VD_VDPLAY_NET_SOURCE_H
