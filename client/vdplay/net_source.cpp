#include "vdplay/net_source.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "player/exit_codes.h"
#include "player/plugin_facts.h"

namespace vdplay {
namespace {

constexpr DWORD kFirstRetryMs = 250;
// A camera that comes back is called again within half a second: a try that
// finds it away costs a refused connect, next to nothing.
constexpr DWORD kLongestRetryMs = 500;
constexpr DWORD kReadMs = 100;      // one read's wait; silence is counted over many
constexpr DWORD kFullWaitMs = 200;  // how long a piece waits for room in the SDK before it is dropped
constexpr int kBufferFull = -10;
// Larger than any picture of a raw stream (a 4K key picture of the highest
// quality is a few MiB): what goes beyond is garbage.
constexpr size_t kLongestUnitBytes = 16 << 20;

std::string Seconds(DWORD ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g s", ms / 1000.0);
    return text;
}

}  // namespace

NetSource::NetSource(NetSettings settings, std::unique_ptr<NetLink> link)
    : settings_(std::move(settings)), link_(std::move(link)), units_(kLongestUnitBytes) {
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    answered_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

NetSource::~NetSource() {
    Stop();
    if (stop_) CloseHandle(stop_);
    if (answered_) CloseHandle(answered_);
}

Failure NetSource::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

Failure NetSource::lastProblem() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastProblem_;
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

bool NetSource::Start(HWND window, UINT message, WPARAM id, size_t headBytes, PieceObserver observer) {
    window_ = window;
    message_ = message;
    id_ = id;
    headBytes_ = std::max<size_t>(headBytes, 1);
    observer_ = std::move(observer);
    ResetEvent(stop_);
    thread_ = stop_ && answered_ ? CreateThread(nullptr, 0, &NetSource::ThreadMain, this, 0, nullptr) : nullptr;
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
    if (link_) link_->Close();
}

DWORD WINAPI NetSource::ThreadMain(void* self) {
    static_cast<NetSource*>(self)->Run();
    return 0;
}

bool NetSource::TakeHead(std::vector<uint8_t>* head, bool* reopen) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!asked_) return false;
    asked_ = false;
    *head = askedHead_;
    *reopen = askedReopen_;
    return true;
}

void NetSource::PortsOpened(Orvane::IVideoDecoder_M* decoder, std::vector<int> ports, size_t openedWith) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        decoder_ = decoder;
        ports_ = std::move(ports);
        full_.assign(ports_.size(), false);
        openedWith_ = openedWith;
        refused_ = false;
    }
    SetEvent(answered_);
}

void NetSource::PortsRefused(const Failure& why) {
    End(why.exitCode, why.message);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refused_ = true;
    }
    SetEvent(answered_);
}

bool NetSource::AskForPorts(const std::vector<uint8_t>& head, bool reopen) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        askedHead_ = head;
        askedReopen_ = reopen;
        asked_ = true;
    }
    ResetEvent(answered_);
    PostMessageA(window_, message_, id_, 0);
    HANDLE waits[2] = {answered_, stop_};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return !refused_;
}

bool NetSource::ReadHead(std::vector<uint8_t>* head, std::string* why, int* code) {
    head->clear();
    if (!link_->madeHead().empty()) {
        *head = link_->madeHead();
        return true;
    }
    ULONGLONG lastData = GetTickCount64();
    while (head->size() < headBytes_) {
        const uint8_t* data = nullptr;
        size_t size = 0;
        const ReadResult r = link_->Read(stop_, kReadMs, &data, &size, why);
        if (r == ReadResult::kData) {
            head->insert(head->end(), data, data + size);
            lastData = GetTickCount64();
            continue;
        }
        if (r == ReadResult::kQuiet && GetTickCount64() - lastData < settings_.silenceMs) continue;
        if (r == ReadResult::kStopped) {
            *why = "stopped";
        } else if (r == ReadResult::kClosed) {
            *code = vdplay::kExitConnectionLost;
            *why = "closed the connection after " + std::to_string(head->size()) + " bytes";
        } else if (r == ReadResult::kQuiet) {
            *code = vdplay::kExitSilent;
            *why = head->empty() ? "sent nothing for " + Seconds(settings_.silenceMs)
                                 : "sent " + std::to_string(head->size()) + " bytes, then nothing for " +
                                       Seconds(settings_.silenceMs);
        } else {
            *code = vdplay::kExitConnectionLost;
        }
        return false;
    }
    return true;
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

void NetSource::Observe(const uint8_t* data, size_t size, bool fresh) {
    if (!observer_) return;
    const uint8_t* video = nullptr;
    size_t videoSize = 0;
    if (link_->LastVideo(&video, &videoSize))
        observer_(video, videoSize, fresh);
    else if (!avi_)
        observer_(data, size, fresh);  // pictures are found in raw H.264/H.265 streams only
}

void NetSource::Run() {
    const ULONGLONG start = GetTickCount64();
    DWORD retryMs = kFirstRetryMs;
    bool first = true;
    for (;;) {
        // Reach the camera and take the head.
        std::string why;
        int code = vdplay::kExitNoConnection;
        std::vector<uint8_t> head;
        const bool reached = link_->Open(stop_, settings_.connectMs, &why, &code) && ReadHead(&head, &why, &code);
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) break;
        if (!reached) {
            link_->Close();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                lastProblem_ = Failure{code, describe() + ": " + why};
            }
            const DWORD elapsed = DWORD(GetTickCount64() - start);
            // A camera never reached is given up when the run would end; one
            // that was shown is tried until the run ends.
            const bool givingUp =
                settings_.giveUpMs > 0 && lastConnect_ == 0 && elapsed + retryMs >= settings_.giveUpMs;
            if (!settings_.reconnect || givingUp) {
                End(code, describe() + ": " + why);
                break;
            }
            Say(describe() + ": " + why + "; trying again in " + Seconds(retryMs));
            if (!Pause(retryMs)) break;
            retryMs = std::min(retryMs * 2, kLongestRetryMs);
            continue;
        }
        bytes_ += int64_t(head.size());
        avi_ = !link_->madeHead().empty() || (head.size() >= 4 && std::memcmp(head.data(), "RIFF", 4) == 0);
        lastConnect_ = GetTickCount64();
        connected_ = true;
        if (!first) {
            ++reconnects_;
            Say("connected to " + describe() + " again");
        }
        // A raw stream goes on where it is; one with headers of its own starts
        // the ports over.
        size_t feedFrom = 0;
        if (first || avi_ || link_->reopensPorts()) {
            if (!AskForPorts(head, !first)) break;
            std::lock_guard<std::mutex> lock(mutex_);
            feedFrom = std::min(openedWith_, head.size());
        }
        first = false;
        Observe(head.data(), head.size(), true);
        bool running = FeedRaw(head.data() + feedFrom, head.size() - feedFrom);

        // Receive until the connection ends.
        ULONGLONG lastData = GetTickCount64();
        ReadResult r = ReadResult::kData;
        while (running) {
            const uint8_t* data = nullptr;
            size_t size = 0;
            r = link_->Read(stop_, kReadMs, &data, &size, &why);
            if (r == ReadResult::kStopped) {
                running = false;
                break;
            }
            if (r == ReadResult::kData) {
                lastData = GetTickCount64();
                retryMs = kFirstRetryMs;
                bytes_ += int64_t(size);
                Observe(data, size, false);
                running = FeedRaw(data, size);
                continue;
            }
            if (r == ReadResult::kQuiet && GetTickCount64() - lastData < settings_.silenceMs) continue;
            break;
        }
        connected_ = false;
        if (!running) break;
        code = vdplay::kExitConnectionLost;
        std::string what;
        if (r == ReadResult::kQuiet) {
            code = vdplay::kExitSilent;
            what = "sent nothing for " + Seconds(settings_.silenceMs);
        } else if (r == ReadResult::kClosed) {
            what = "closed the connection";
        } else {
            what = "broke the connection (" + why + ")";
        }
        what += " after " + std::to_string(bytes_.load()) + " bytes";
        link_->Close();
        if (!settings_.reconnect) {
            End(code, describe() + " " + what);
            break;
        }
        // Datagrams have no connection, but a camera that falls silent is
        // listened for again the same way: the stall check then counts from
        // the new start.
        Say(describe() + " " + what + "; trying again in " + Seconds(retryMs));
        if (!Pause(retryMs)) break;
        retryMs = std::min(retryMs * 2, kLongestRetryMs);
    }
    connected_ = false;
    link_->Close();
    ended_ = true;
}

}  // namespace vdplay
