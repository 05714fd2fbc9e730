// A camera on the network as vdplay receives it: a TCP connection to it, or
// UDP datagrams from it on a local address. The stream's first bytes are
// taken before the ports open (the header OpenStream wants); then a thread of
// its own hands everything that arrives to every port with InputData, as it
// arrives, so the window never waits for the network. A connection that
// fails, drops or falls silent ends the source with its exit code, or, when
// asked, is tried again with a growing wait.
#ifndef VD_VDPLAY_NET_SOURCE_H
#define VD_VDPLAY_NET_SOURCE_H

#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <Orvane/VideoDecoderPlugin.h>

#include "player/net_address.h"
#include "player/picture_arrivals.h"
#include "vdplay/plugin_session.h"

namespace vdplay {

struct NetSettings {
    vdplay::NetAddress address;
    bool reconnect = false;
    DWORD connectMs = 5000;  // longest wait for a TCP connection
    DWORD silenceMs = 5000;  // longest wait for data
    DWORD giveUpMs = 0;      // with reconnect: stop trying after this long (0: never)
};

class NetSource {
public:
    // Every piece received, on the receiving thread, before the ports get it;
    // `fresh` is true for the first piece of a new connection.
    using PieceObserver = std::function<void(const uint8_t* data, size_t size, bool fresh)>;

    explicit NetSource(NetSettings settings);
    ~NetSource();
    NetSource(const NetSource&) = delete;
    NetSource& operator=(const NetSource&) = delete;

    // Connects (or binds) and waits for at least `headBytes` bytes of the
    // stream; *head gets all that came so far. Blocks (bounded by the
    // settings); called before there is a window.
    Failure Open(size_t headBytes, std::vector<uint8_t>* head);
    // Starts the thread: the head's bytes after the first `openedWith` (those
    // OpenStream took) first, then all that arrives, to each of `ports`. The
    // observer sees the whole stream, the head too.
    bool Start(Orvane::IVideoDecoder_M* decoder, std::vector<int> ports, size_t openedWith, PieceObserver observer);
    // Asks the thread to end and waits for it; closes the socket.
    void Stop();

    // The source has ended for good; failure() says why.
    bool ended() const { return ended_.load(); }
    Failure failure() const;
    // True while a dropped source is being tried again.
    bool reconnecting() const { return reconnecting_.load(); }
    int64_t bytesReceived() const { return bytes_.load(); }
    // Not taken by the first port, or beyond what a picture can be.
    int64_t bytesDropped() const { return dropped_.load() + oversized_.load(); }
    int reconnects() const { return reconnects_.load(); }
    bool avi() const { return avi_; }  // known once open
    std::string describe() const;      // "tcp://127.0.0.1:5000"

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    // Connects or binds; on failure *why is set and the socket closed.
    bool Connect(std::string* why, int* exitCode);
    // Receives one piece into buffer_: > 0 bytes, 0 the peer closed, -1 an
    // error (*why), -2 nothing within waitMs, -3 asked to stop.
    int Receive(DWORD waitMs, std::string* why);
    void CloseSocket();
    bool Feed(const uint8_t* data, size_t size);
    // A raw stream's piece, without what no picture can hold, to Feed.
    bool FeedRaw(const uint8_t* data, size_t size);
    // Waits `ms` unless asked to stop (false then).
    bool Pause(DWORD ms);
    void End(int exitCode, const std::string& message);
    void Say(const std::string& text);

    NetSettings settings_;
    bool winsock_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    std::vector<uint8_t> buffer_;
    bool avi_ = false;  // the stream is AVI: a new connection's headers are not fed again

    Orvane::IVideoDecoder_M* decoder_ = nullptr;
    std::vector<int> ports_;
    std::vector<bool> full_;  // per port: the last piece found the SDK full
    vdplay::OversizedUnitFilter units_;
    std::vector<uint8_t> filtered_;
    bool saidOversized_ = false;
    std::vector<uint8_t> head_;
    size_t openedWith_ = 0;
    PieceObserver observer_;
    HANDLE thread_ = nullptr;
    HANDLE stop_ = nullptr;

    mutable std::mutex mutex_;
    Failure failure_;
    std::atomic<bool> ended_{false};
    std::atomic<bool> reconnecting_{false};
    std::atomic<int64_t> bytes_{0};
    std::atomic<int64_t> dropped_{0};
    std::atomic<int64_t> oversized_{0};
    std::atomic<int> reconnects_{0};
    bool saidRefused_ = false;
};

}  // namespace vdplay

#endif  // VD_VDPLAY_NET_SOURCE_H
