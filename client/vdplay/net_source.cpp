#include "vdplay/net_source.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "player/avi_stream_plan.h"
#include "player/exit_codes.h"
#include "player/plugin_facts.h"

namespace vdplay {
namespace {

constexpr size_t kPieceBytes = 64 * 1024;   // a whole datagram fits
constexpr int kUdpReceiveBuffer = 4 << 20;  // a burst of pictures waits in the system, not on the wire
constexpr DWORD kFirstRetryMs = 250;
constexpr DWORD kLongestRetryMs = 8000;
constexpr DWORD kFullWaitMs = 200;         // how long a piece waits for room in the SDK before it is dropped
constexpr size_t kAviHeadLimit = 1 << 20;  // as much as the SDK takes as headers
constexpr int kBufferFull = -10;
// Larger than any picture of a raw stream (a 4K key picture of the highest
// quality is a few MiB): what goes beyond is garbage.
constexpr size_t kLongestUnitBytes = 16 << 20;

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

}  // namespace

NetSource::NetSource(NetSettings settings)
    : settings_(std::move(settings)), buffer_(kPieceBytes), units_(kLongestUnitBytes) {
    WSADATA data;
    winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

NetSource::~NetSource() {
    Stop();
    if (stop_) CloseHandle(stop_);
    if (winsock_) WSACleanup();
}

std::string NetSource::describe() const {
    return std::string(settings_.address.protocol == vdplay::NetProtocol::kUdp ? "udp://" : "tcp://") +
           settings_.address.host + ":" + std::to_string(settings_.address.port);
}

Failure NetSource::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

void NetSource::Say(const std::string& text) {
    std::printf("vdplay: %s\n", text.c_str());
    std::fflush(stdout);
}

void NetSource::End(int exitCode, const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_.exitCode == 0) failure_ = Failure{exitCode, message};
    ended_ = true;
}

void NetSource::CloseSocket() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
}

bool NetSource::Connect(std::string* why, int* exitCode) {
    CloseSocket();
    *exitCode = vdplay::kExitNoConnection;
    if (!winsock_) {
        *why = "the system's sockets (Winsock) cannot be used";
        return false;
    }
    const bool udp = settings_.address.protocol == vdplay::NetProtocol::kUdp;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = udp ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_protocol = udp ? IPPROTO_UDP : IPPROTO_TCP;
    if (udp) hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(settings_.address.port);
    if (getaddrinfo(settings_.address.host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        *why = "cannot find the host " + settings_.address.host;
        return false;
    }
    socket_ = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (socket_ == INVALID_SOCKET) {
        *why = SocketError(WSAGetLastError());
        freeaddrinfo(found);
        return false;
    }
    bool ok = false;
    if (udp) {
        const int size = kUdpReceiveBuffer;
        setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
        ok = bind(socket_, found->ai_addr, int(found->ai_addrlen)) == 0;
        if (!ok) *why = "cannot listen there: " + SocketError(WSAGetLastError());
    } else {
        // Connects without blocking, so that the wait is bounded.
        u_long nonBlocking = 1;
        ioctlsocket(socket_, FIONBIO, &nonBlocking);
        if (connect(socket_, found->ai_addr, int(found->ai_addrlen)) == 0) {
            ok = true;
        } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(socket_, &writable);
            FD_SET(socket_, &failed);
            timeval wait = {long(settings_.connectMs / 1000), long(settings_.connectMs % 1000 * 1000)};
            const int n = select(0, nullptr, &writable, &failed, &wait);
            int error = 0;
            int length = sizeof error;
            getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
            if (n > 0 && FD_ISSET(socket_, &writable) && error == 0) {
                ok = true;
            } else {
                *why = n == 0 ? "no answer within " + Seconds(settings_.connectMs)
                              : SocketError(error ? error : WSAGetLastError());
            }
        } else {
            *why = SocketError(WSAGetLastError());
        }
        nonBlocking = 0;
        ioctlsocket(socket_, FIONBIO, &nonBlocking);
        if (ok) {
            const BOOL noDelay = TRUE;
            setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        }
    }
    freeaddrinfo(found);
    if (!ok) CloseSocket();
    return ok;
}

int NetSource::Receive(DWORD waitMs, std::string* why) {
    const ULONGLONG until = GetTickCount64() + waitMs;
    for (;;) {
        if (stop_ && WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return -3;
        const ULONGLONG now = GetTickCount64();
        if (now >= until) return -2;
        // Short waits, so that a stop is seen at once.
        const DWORD slice = DWORD(std::min<ULONGLONG>(until - now, 50));
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval wait = {0, long(slice * 1000)};
        const int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready < 0) {
            *why = SocketError(WSAGetLastError());
            return -1;
        }
        if (ready == 0) continue;
        const int n = recv(socket_, reinterpret_cast<char*>(buffer_.data()), int(buffer_.size()), 0);
        if (n > 0) return n;
        if (n == 0) return settings_.address.protocol == vdplay::NetProtocol::kUdp ? -2 : 0;
        const int error = WSAGetLastError();
        // A datagram socket reports an earlier send's ICMP answer; nothing was lost.
        if (settings_.address.protocol == vdplay::NetProtocol::kUdp && (error == WSAECONNRESET || error == WSAEMSGSIZE))
            continue;
        *why = SocketError(error);
        return -1;
    }
}

bool NetSource::Pause(DWORD ms) { return WaitForSingleObject(stop_, ms) == WAIT_TIMEOUT; }

Failure NetSource::Open(size_t headBytes, std::vector<uint8_t>* head) {
    const ULONGLONG start = GetTickCount64();
    DWORD retryMs = kFirstRetryMs;
    headBytes = std::max<size_t>(headBytes, 1);
    for (;;) {
        std::string why;
        int code = vdplay::kExitNoConnection;
        head->clear();
        if (Connect(&why, &code)) {
            while (head->size() < headBytes) {
                const int n = Receive(settings_.silenceMs, &why);
                if (n > 0) {
                    head->insert(head->end(), buffer_.begin(), buffer_.begin() + n);
                    continue;
                }
                if (n == 0) {
                    code = vdplay::kExitConnectionLost;
                    why = "closed the connection after " + std::to_string(head->size()) + " bytes";
                } else if (n == -2) {
                    code = vdplay::kExitSilent;
                    why = "sent nothing for " + Seconds(settings_.silenceMs);
                    if (!head->empty())
                        why = "sent " + std::to_string(head->size()) + " bytes, then nothing for " +
                              Seconds(settings_.silenceMs);
                } else {
                    code = vdplay::kExitConnectionLost;
                }
                break;
            }
            if (head->size() >= headBytes) {
                bytes_ += int64_t(head->size());
                avi_ = head->size() >= 4 && std::memcmp(head->data(), "RIFF", 4) == 0;
                head_ = *head;
                return Failure();
            }
            CloseSocket();
        }
        const DWORD elapsed = DWORD(GetTickCount64() - start);
        if (!settings_.reconnect || (settings_.giveUpMs > 0 && elapsed + retryMs >= settings_.giveUpMs))
            return Failure{code, describe() + ": " + why};
        Say(describe() + ": " + why + "; trying again in " + Seconds(retryMs));
        if (!Pause(retryMs)) return Failure{code, describe() + ": " + why};
        retryMs = std::min(retryMs * 2, kLongestRetryMs);
    }
}

bool NetSource::Start(Orvane::IVideoDecoder_M* decoder, std::vector<int> ports, size_t openedWith,
                      PieceObserver observer) {
    decoder_ = decoder;
    ports_ = std::move(ports);
    full_.assign(ports_.size(), false);
    openedWith_ = std::min(openedWith, head_.size());
    observer_ = std::move(observer);
    ResetEvent(stop_);
    thread_ = CreateThread(nullptr, 0, &NetSource::ThreadMain, this, 0, nullptr);
    if (!thread_) End(vdplay::kExitPluginRefused, "cannot start the receiving thread");
    return thread_ != nullptr;
}

void NetSource::Stop() {
    if (thread_) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    CloseSocket();
}

DWORD WINAPI NetSource::ThreadMain(void* self) {
    static_cast<NetSource*>(self)->Run();
    return 0;
}

bool NetSource::Feed(const uint8_t* data, size_t size) {
    if (size == 0) return true;
    for (size_t i = 0; i < ports_.size(); ++i) {
        const int port = ports_[i];
        // A port that was full a moment ago gets one try: a live stream does not
        // wait for a player that cannot keep up.
        const ULONGLONG until = GetTickCount64() + (full_[i] ? 0 : kFullWaitMs);
        for (;;) {
            const int result = decoder_->InputData(port, data, int(size));
            if (result == 0) {
                full_[i] = false;
                break;
            }
            if (result == kBufferFull && GetTickCount64() < until) {
                if (!Pause(5)) return false;
                continue;
            }
            // Bytes the SDK cannot take are dropped, and are no reason to stop
            // watching: the decoder finds its way back at the next key picture.
            full_[i] = result == kBufferFull;
            if (i == 0) dropped_ += int64_t(size);
            if (!saidRefused_) {
                saidRefused_ = true;
                Say("InputData on port " + std::to_string(port) + " returned " + vdplay::ResultText(result) +
                    (result == kBufferFull ? " (the SDK holds all it takes)" : "") +
                    "; what it cannot take is dropped");
            }
            break;
        }
    }
    return true;
}

bool NetSource::FeedRaw(const uint8_t* data, size_t size) {
    if (avi_) return Feed(data, size);
    units_.Filter(data, size, &filtered_);
    oversized_ = int64_t(units_.dropped());
    if (units_.dropped() > 0 && !saidOversized_) {
        saidOversized_ = true;
        Say(describe() + " sent more than " + std::to_string(kLongestUnitBytes >> 20) +
            " MiB without a start code; such bytes are dropped up to the next one");
    }
    return Feed(filtered_.data(), filtered_.size());
}

void NetSource::Run() {
    const bool udp = settings_.address.protocol == vdplay::NetProtocol::kUdp;
    if (observer_) observer_(head_.data(), head_.size(), true);
    bool running = FeedRaw(head_.data() + openedWith_, head_.size() - openedWith_);
    ULONGLONG lastData = GetTickCount64();
    DWORD retryMs = kFirstRetryMs;
    bool fresh = false;
    bool saidSilent = false;
    std::vector<uint8_t> aviHead;  // a new connection's AVI headers, until its movie data
    bool skippingHead = false;
    while (running) {
        std::string why;
        const int n = Receive(100, &why);
        if (n == -3) break;
        if (n > 0) {
            lastData = GetTickCount64();
            retryMs = kFirstRetryMs;
            saidSilent = false;
            bytes_ += n;
            const uint8_t* data = buffer_.data();
            size_t size = size_t(n);
            if (skippingHead) {
                // The new connection starts its AVI over: its headers are known to
                // the port already, so only its movie data is given on.
                aviHead.insert(aviHead.end(), data, data + size);
                vdplay::StreamTiming timing;
                if (vdplay::ReadStreamTiming(aviHead.data(), aviHead.size(), &timing) &&
                    timing.moviData <= aviHead.size()) {
                    skippingHead = false;
                    const std::vector<uint8_t> rest(aviHead.begin() + ptrdiff_t(timing.moviData), aviHead.end());
                    aviHead.clear();
                    if (observer_) observer_(rest.data(), rest.size(), fresh);
                    fresh = false;
                    running = Feed(rest.data(), rest.size());
                } else if (aviHead.size() > kAviHeadLimit) {
                    dropped_ += int64_t(aviHead.size());
                    aviHead.clear();
                    skippingHead = false;
                    Say(describe() +
                        " sent no AVI movie data within 1 MiB of its new connection; what follows is given on as it "
                        "is");
                }
                continue;
            }
            if (observer_) observer_(data, size, fresh);
            fresh = false;
            running = FeedRaw(data, size);
            continue;
        }
        const ULONGLONG now = GetTickCount64();
        if (n == -2 && now - lastData < settings_.silenceMs) continue;
        int code = vdplay::kExitConnectionLost;
        std::string what;
        if (n == -2) {
            code = vdplay::kExitSilent;
            what = "sent nothing for " + Seconds(settings_.silenceMs);
        } else if (n == 0) {
            what = "closed the connection";
        } else {
            what = "broke the connection (" + why + ")";
        }
        what += " after " + std::to_string(bytes_.load()) + " bytes";
        if (!settings_.reconnect) {
            End(code, describe() + " " + what);
            break;
        }
        if (udp) {
            // Datagrams have no connection to make again: listening goes on.
            if (!saidSilent) Say(describe() + " " + what + "; still listening");
            saidSilent = true;
            lastData = now;
            continue;
        }
        reconnecting_ = true;
        CloseSocket();
        Say(describe() + " " + what + "; trying again in " + Seconds(retryMs));
        int connectCode = 0;
        for (;;) {
            if (!Pause(retryMs)) {
                running = false;
                break;
            }
            retryMs = std::min(retryMs * 2, kLongestRetryMs);
            if (Connect(&why, &connectCode)) break;
            Say(describe() + ": " + why + "; trying again in " + Seconds(retryMs));
        }
        reconnecting_ = false;
        if (!running) break;
        ++reconnects_;
        Say("connected to " + describe() + " again");
        lastData = GetTickCount64();
        fresh = true;
        skippingHead = avi_;
        aviHead.clear();
    }
    ended_ = true;
}

}  // namespace vdplay
