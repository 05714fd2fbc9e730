// A camera reached over a TCP connection, or listened for on a UDP address.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "player/exit_codes.h"
#include "vdplay/net_link.h"

namespace vdplay {
namespace {

constexpr size_t kPieceBytes = 64 * 1024;  // a whole datagram fits
// A burst of pictures waits in the system, not on the wire: room for a few
// key pictures of a 1080p camera.
constexpr int kReceiveBuffer = 4 << 20;
constexpr DWORD kSliceMs = 50;  // the longest a wait goes without looking at the stop event

std::string Seconds(DWORD ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g s", ms / 1000.0);
    return text;
}

std::string SocketError(int code) {
    switch (code) {
        case WSAECONNREFUSED:
            return "connection refused";
        case WSAECONNRESET:
            return "connection reset";
        case WSAECONNABORTED:
            return "connection aborted";
        case WSAETIMEDOUT:
            return "timed out";
        case WSAEHOSTUNREACH:
            return "host unreachable";
        case WSAENETUNREACH:
            return "network unreachable";
        case WSAEADDRINUSE:
            return "the address is in use";
        case WSAEADDRNOTAVAIL:
            return "the address is not available here";
        case WSAEACCES:
            return "access denied";
    }
    return "socket error " + std::to_string(code);
}

// A name look-up on a thread of its own: the system's call cannot be
// interrupted, so a stop leaves it to finish alone (it owns its share of
// the state) instead of waiting for it.
struct Lookup {
    std::string host, port;
    addrinfo hints = {};
    addrinfo* found = nullptr;
    int error = 0;
    HANDLE done = nullptr;
    ~Lookup() {
        if (found) freeaddrinfo(found);
        if (done) CloseHandle(done);
    }
};

DWORD WINAPI LookupMain(void* param) {
    auto* held = static_cast<std::shared_ptr<Lookup>*>(param);
    std::shared_ptr<Lookup> lookup = *held;
    delete held;
    lookup->error = getaddrinfo(lookup->host.c_str(), lookup->port.c_str(), &lookup->hints, &lookup->found);
    SetEvent(lookup->done);
    return 0;
}

// The address, or null when stopped (*stopped) or not found.
std::shared_ptr<Lookup> Resolve(const std::string& host, int port, const addrinfo& hints, HANDLE stop, bool* stopped) {
    *stopped = false;
    auto lookup = std::make_shared<Lookup>();
    lookup->host = host;
    lookup->port = std::to_string(port);
    lookup->hints = hints;
    // A dotted address needs no look-up.
    lookup->hints.ai_flags |= AI_NUMERICHOST;
    if (getaddrinfo(host.c_str(), lookup->port.c_str(), &lookup->hints, &lookup->found) == 0 && lookup->found)
        return lookup;
    lookup->found = nullptr;
    lookup->hints.ai_flags &= ~AI_NUMERICHOST;
    lookup->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto* held = new std::shared_ptr<Lookup>(lookup);
    HANDLE thread = lookup->done ? CreateThread(nullptr, 0, &LookupMain, held, 0, nullptr) : nullptr;
    if (!thread) {
        delete held;
        return nullptr;
    }
    CloseHandle(thread);
    HANDLE waits[2] = {lookup->done, stop};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        *stopped = true;
        return nullptr;
    }
    return lookup->error == 0 && lookup->found ? lookup : nullptr;
}

class SocketLink : public NetLink {
public:
    explicit SocketLink(const vdplay::NetAddress& address) : address_(address), buffer_(kPieceBytes) {
        WSADATA data;
        winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~SocketLink() override {
        Close();
        if (winsock_) WSACleanup();
    }

    bool Open(HANDLE stop, DWORD connectMs, std::string* why, int* exitCode) override;
    ReadResult Read(HANDLE stop, DWORD waitMs, const uint8_t** data, size_t* size, std::string* why) override;
    void Close() override {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

private:
    bool udp() const { return address_.protocol == vdplay::NetProtocol::kUdp; }
    // Waits, in short slices, until the socket is ready: 1 ready, 0 not
    // within waitMs, -1 an error, -2 stopped.
    int WaitReady(HANDLE stop, DWORD waitMs, bool forWriting);

    vdplay::NetAddress address_;
    bool winsock_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    std::vector<uint8_t> buffer_;
};

int SocketLink::WaitReady(HANDLE stop, DWORD waitMs, bool forWriting) {
    const ULONGLONG until = GetTickCount64() + waitMs;
    for (;;) {
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return -2;
        const ULONGLONG now = GetTickCount64();
        if (now >= until) return 0;
        const DWORD slice = DWORD(std::min<ULONGLONG>(until - now, kSliceMs));
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(socket_, &ready);
        FD_SET(socket_, &failed);
        timeval wait = {0, long(slice * 1000)};
        // A connect that fails shows in the exception set.
        const int n =
            forWriting ? select(0, nullptr, &ready, &failed, &wait) : select(0, &ready, nullptr, nullptr, &wait);
        if (n < 0) return -1;
        if (n > 0) return forWriting && FD_ISSET(socket_, &failed) ? -1 : 1;
    }
}

bool SocketLink::Open(HANDLE stop, DWORD connectMs, std::string* why, int* exitCode) {
    Close();
    *exitCode = vdplay::kExitNoConnection;
    if (!winsock_) {
        *why = "the system's sockets (Winsock) cannot be used";
        return false;
    }
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = udp() ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_protocol = udp() ? IPPROTO_UDP : IPPROTO_TCP;
    if (udp()) hints.ai_flags = AI_PASSIVE;
    bool stopped = false;
    const std::shared_ptr<Lookup> lookup = Resolve(address_.host, address_.port, hints, stop, &stopped);
    if (stopped) {
        *why = "stopped while looking up " + address_.host;
        return false;
    }
    if (!lookup) {
        *why = "cannot find the host " + address_.host;
        return false;
    }
    const addrinfo* found = lookup->found;
    socket_ = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (socket_ == INVALID_SOCKET) {
        *why = SocketError(WSAGetLastError());
        return false;
    }
    const int size = kReceiveBuffer;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    bool ok = false;
    if (udp()) {
        ok = bind(socket_, found->ai_addr, int(found->ai_addrlen)) == 0;
        if (!ok) *why = "cannot listen there: " + SocketError(WSAGetLastError());
    } else {
        // Connects without blocking, so that the wait is bounded and can be stopped.
        u_long nonBlocking = 1;
        ioctlsocket(socket_, FIONBIO, &nonBlocking);
        if (connect(socket_, found->ai_addr, int(found->ai_addrlen)) == 0) {
            ok = true;
        } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
            const int ready = WaitReady(stop, connectMs, true);
            int error = 0;
            int length = sizeof error;
            getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
            if (ready == 1 && error == 0) {
                ok = true;
            } else {
                *why = ready == 0    ? "no answer within " + Seconds(connectMs)
                       : ready == -2 ? "stopped while connecting"
                                     : SocketError(error ? error : WSAGetLastError());
            }
        } else {
            *why = SocketError(WSAGetLastError());
        }
        // Reads wait in select, in slices; the socket itself blocks again, as
        // Wine's readiness reports of a non-blocking stream socket can stop.
        nonBlocking = 0;
        ioctlsocket(socket_, FIONBIO, &nonBlocking);
        if (ok) {
            const BOOL noDelay = TRUE;
            setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        }
    }
    if (!ok) Close();
    return ok;
}

ReadResult SocketLink::Read(HANDLE stop, DWORD waitMs, const uint8_t** data, size_t* size, std::string* why) {
    const ULONGLONG until = GetTickCount64() + waitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const int ready = WaitReady(stop, DWORD(until > now ? until - now : 0), false);
        if (ready == -2) return ReadResult::kStopped;
        if (ready == 0) return ReadResult::kQuiet;
        if (ready < 0) {
            *why = SocketError(WSAGetLastError());
            return ReadResult::kBroken;
        }
        const int n = recv(socket_, reinterpret_cast<char*>(buffer_.data()), int(buffer_.size()), 0);
        if (n > 0) {
            *data = buffer_.data();
            *size = size_t(n);
            return ReadResult::kData;
        }
        // An empty datagram carries nothing: it neither ends nor feeds the stream.
        if (n == 0) {
            if (udp()) continue;
            return ReadResult::kClosed;
        }
        const int error = WSAGetLastError();
        // A datagram socket reports an earlier send's ICMP answer; nothing was lost.
        if (udp() && (error == WSAECONNRESET || error == WSAEMSGSIZE)) continue;
        *why = SocketError(error);
        return ReadResult::kBroken;
    }
}

}  // namespace

std::unique_ptr<NetLink> MakeSocketLink(const vdplay::NetAddress& address) {
    return std::make_unique<SocketLink>(address);
}

std::unique_ptr<NetLink> MakeLink(const vdplay::NetAddress& address, const vdplay::Options& options) {
    if (address.protocol == vdplay::NetProtocol::kRtsp) return MakeRtspLink(address, options.rtspTransport);
    return MakeSocketLink(address);
}

}  // namespace vdplay
