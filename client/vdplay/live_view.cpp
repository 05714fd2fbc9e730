#include "vdplay/live_view.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>

#include "sample/picture_code.h"

namespace vdplay {
namespace {

constexpr UINT kProbeMs = 4;  // how often the window is read back (the system may round it up)
LiveView* probing = nullptr;  // the one live view whose window the timer reads
constexpr int kKindSound = 1, kKindYv12 = 3, kKindI420 = 5;
// A 16 x 16 block of a well coded picture stays within a few steps of the
// pattern's own; a damaged one is tens of steps off.
constexpr int kUnlikeDifference = 24;
constexpr int kPatternFps = 25;

std::string Ms(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", ms);
    return text;
}

NetSettings SettingsOf(const vdplay::Options& o, const vdplay::NetAddress& address) {
    NetSettings s;
    s.name = vdplay::DescribeNetAddress(address);
    s.reconnect = o.reconnect;
    // One camera gives up when the run would end; in a wall the others play
    // on, and the run's end says which were never reached.
    if (o.seconds > 0 && o.sources.size() == 1) s.giveUpMs = DWORD(o.seconds * 1000.0);
    return s;
}

}  // namespace

LiveView::LiveView(const vdplay::Options& options) : options_(options) {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
    for (const vdplay::NetAddress& address : options_.sources)
        sources_.push_back(std::make_unique<NetSource>(SettingsOf(options_, address), MakeLink(address, options_)));
}

LiveView::~LiveView() { Stop(); }

int64_t LiveView::NowUs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (now.QuadPart - start_.QuadPart) * 1000000 / frequency_.QuadPart;
}

bool LiveView::Start(HWND window, UINT message, size_t headBytes) {
    bool started = true;
    for (size_t i = 0; i < sources_.size() && started; ++i) {
        const vdplay::NetAddress& address = options_.sources[i];
        std::printf("vdplay: %s %s\n", address.protocol == vdplay::NetProtocol::kUdp ? "listening on" : "connecting to",
                    sources_[i]->describe().c_str());
        std::fflush(stdout);
        NetSource::PieceObserver observer;
        // The pictures of the first camera are followed to the screen.
        if (i == 0) {
            observer = [this](const uint8_t* data, size_t size, bool fresh) {
                const int64_t now = NowUs();
                std::lock_guard<std::mutex> lock(mutex_);
                if (fresh) arrivals_.Restart();
                completed_.clear();
                arrivals_.Add(data, size, now, &completed_);
                for (const vdplay::PictureArrival& a : completed_) latency_.Arrived(a);
            };
        }
        started = sources_[i]->Start(window, message, WPARAM(i), headBytes, observer);
    }
    started_ = started;
    lastReport_ = GetTickCount64();
    lastReportUs_ = NowUs();
    return started;
}

void LiveView::Follow(HWND cell) {
    // One port only: reading back a cell of a wall while the plug-in draws
    // into the cells holds up the window's thread for seconds under Wine.
    if (probeTimer_ || options_.ports != 1) return;
    cell_ = cell;
    probing = this;
    probeTimer_ = SetTimer(nullptr, 0, kProbeMs, &LiveView::OnProbeTimer);
}

ULONGLONG LiveView::StallCountsFrom(ULONGLONG now) const {
    ULONGLONG from = 0;
    for (const auto& s : sources_) {
        if (!s->connected() && !s->ended()) return now;
        from = std::max(from, s->lastConnectTick());
    }
    return from;
}

Failure LiveView::NeverReached() const {
    Failure first;
    bool anyReached = false;
    for (const auto& s : sources_) {
        if (s->lastConnectTick() != 0) {
            anyReached = true;
        } else if (s->lastProblem().exitCode) {
            if (!first.exitCode) first = s->lastProblem();
            if (sources_.size() > 1) {
                std::printf("vdplay: never reached %s\n", s->lastProblem().message.c_str());
                std::fflush(stdout);
            }
        }
    }
    return anyReached ? Failure() : first;
}

void LiveView::OnPicture(const void* data, int size, const Orvane::FrameInfo& info) {
    if (info.kind == kKindSound) return;
    const int64_t now = NowUs();
    pictureWidth_ = info.width;
    pictureHeight_ = info.height;
    frameRate_ = info.frameRate;
    ++decodedPictures_;
    int code = -1;
    // The luma plane comes first in both planar layouts.
    if ((info.kind == kKindI420 || info.kind == kKindYv12) && data && info.width > 0 && info.height > 0 &&
        int64_t(size) >= int64_t(info.width) * info.height) {
        vdsample::SampleGrid grid;
        grid.first = static_cast<const uint8_t*>(data);
        grid.rowStride = info.width;
        grid.imageWidth = grid.pictureWidth = info.width;
        grid.imageHeight = grid.pictureHeight = info.height;
        code = vdsample::ReadPictureCode(grid);
    }
    if (code >= 0) ++codedPictures_;
    if (code >= 0 && options_.checkPictures) {
        ++checkedPictures_;
        if (vdsample::WorstBlockDifference(static_cast<const uint8_t*>(data), info.width, info.width, info.height, code,
                                           kPatternFps) > kUnlikeDifference)
            ++unlikePictures_;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    latency_.Decoded(code, now);
    if (code >= 0 && options_.checkPictures) {
        // A number lower than the last: the pattern started over, and the
        // pictures around its end are not counted.
        spannedPictures_ += lastCheckedCode_ < 0 || code < lastCheckedCode_ ? 1 : code - lastCheckedCode_;
        lastCheckedCode_ = code;
    }
}

void CALLBACK LiveView::OnProbeTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (probing) probing->ProbeScreen();
}

// The strip of the window that holds the picture code, copied into a bitmap
// of our own and read like a picture.
int LiveView::ReadScreenCode(HDC windowDc, HDC memoryDc) {
    const int pw = pictureWidth_.load(), ph = pictureHeight_.load();
    const vdsample::PictureCodeLayout layout = vdsample::PictureCodeLayoutFor(pw, ph);
    RECT client;
    if (!layout.fits || !GetClientRect(cell_, &client) || client.right <= 0 || client.bottom <= 0) return -1;
    const int width = client.right, height = client.bottom;
    const int top = std::max(0, int(int64_t(layout.top) * height / ph) - 1);
    const int rows = height - top;
    if (!strip_ || stripWidth_ != width || stripHeight_ != rows) {
        if (strip_) DeleteObject(strip_);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -rows;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        strip_ = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &stripBits_, nullptr, 0);
        if (!strip_) return -1;
        stripWidth_ = width;
        stripHeight_ = rows;
    }
    HGDIOBJ old = SelectObject(memoryDc, strip_);
    const BOOL copied = BitBlt(memoryDc, 0, 0, width, rows, windowDc, 0, top, SRCCOPY);
    SelectObject(memoryDc, old);
    if (!copied) return -1;
    GdiFlush();
    vdsample::SampleGrid grid;
    grid.first = static_cast<const uint8_t*>(stripBits_) + 1;  // green
    grid.firstRow = top;
    grid.pixelStep = 4;
    grid.rowStride = ptrdiff_t(width) * 4;
    grid.imageWidth = width;
    grid.imageHeight = height;
    grid.pictureWidth = pw;
    grid.pictureHeight = ph;
    return vdsample::ReadPictureCode(grid);
}

// On the window's own thread: under Wine, a window's DC (or the screen's)
// used from another thread while the plug-in draws holds up the window's
// thread for seconds.
void LiveView::ProbeScreen() {
    if (codedPictures_.load() == 0) return;  // nothing to look for yet
    if (!memoryDc_) memoryDc_ = CreateCompatibleDC(nullptr);
    HDC windowDc = GetDC(cell_);
    if (!windowDc || !memoryDc_) return;
    const int code = ReadScreenCode(windowDc, memoryDc_);
    const int64_t now = NowUs();
    ReleaseDC(cell_, windowDc);
    ++screenReads_;
    if (code < 0 || code == lastScreenCode_) return;
    lastScreenCode_ = code;
    std::lock_guard<std::mutex> lock(mutex_);
    latency_.Shown(code, now);
}

std::string LiveView::MemoryText() const {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return "memory unknown";
    char text[96];
    std::snprintf(text, sizeof text, "memory %.1f MiB working set, %.1f MiB committed",
                  counters.WorkingSetSize / 1048576.0, counters.PagefileUsage / 1048576.0);
    return text;
}

Failure LiveView::Tick(HWND window, bool fitWindow) {
    const int pw = pictureWidth_.load(), ph = pictureHeight_.load();
    if (fitWindow && !fitted_ && pw > 0 && ph > 0 && window) {
        // The window was made before the picture size was known; the picture
        // is shown at its own size (the code is read best unscaled).
        fitted_ = true;
        RECT r = {0, 0, pw, ph};
        AdjustWindowRect(&r, DWORD(GetWindowLongA(window, GWL_STYLE)), FALSE);
        SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const ULONGLONG now = GetTickCount64();
    if (options_.reportEvery > 0 && now - lastReport_ >= ULONGLONG(options_.reportEvery * 1000.0)) {
        const int64_t nowUs = NowUs();
        const int rate = frameRate_.load();
        vdplay::LiveLatency::Breakdown b;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            b = latency_.BreakdownOf(lastReportUs_, nowUs, 1000000 / (rate > 0 ? rate : 25));
        }
        std::printf(
            "vdplay: live at %llu s: latency median %s ms, p95 %s ms (arrival to the decode callback median %s ms, "
            "to the screen %s ms more) over %u pictures; now %s ms; the SDK caught up %lld, skipped %lld; %s; "
            "received %.1f MiB, dropped %.1f MiB\n",
            (unsigned long long)(nowUs / 1000000), Ms(b.toScreen.medianMs).c_str(), Ms(b.toScreen.p95Ms).c_str(),
            Ms(b.toDecoded.medianMs).c_str(), Ms(b.decodedToScreen.medianMs).c_str(), unsigned(b.toScreen.pictures),
            Ms(b.currentMs).c_str(), (long long)b.caughtUp, (long long)b.skipped, MemoryText().c_str(),
            BytesReceived() / 1048576.0, BytesDropped() / 1048576.0);
        std::fflush(stdout);
        lastReport_ = now;
        lastReportUs_ = nowUs;
    }
    for (const auto& s : sources_)
        if (s->ended() && s->failure().exitCode) return s->failure();
    return Failure();
}

void LiveView::Stop() {
    if (probeTimer_) KillTimer(nullptr, probeTimer_);
    probeTimer_ = 0;
    probing = nullptr;
    if (strip_) DeleteObject(strip_);
    strip_ = nullptr;
    if (memoryDc_) DeleteDC(memoryDc_);
    memoryDc_ = nullptr;
    // Every camera is asked first, so that their waits end together.
    for (const auto& s : sources_) s->RequestStop();
    for (const auto& s : sources_) s->Stop();
}

int64_t LiveView::BytesReceived() const {
    int64_t n = 0;
    for (const auto& s : sources_) n += s->bytesReceived();
    return n;
}

int64_t LiveView::BytesDropped() const {
    int64_t n = 0;
    for (const auto& s : sources_) n += s->bytesDropped();
    return n;
}

void LiveView::Report() {
    if (!started_) return;
    vdplay::LatencyFigures screen, decoded;
    int64_t arrived = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        screen = latency_.ToScreen();
        decoded = latency_.ToDecoded();
        arrived = arrivals_.picturesBegun();
    }
    std::printf(
        "vdplay: live stream: %lld bytes received, %lld dropped, %d reconnects, %lld pictures arrived, %lld decoded "
        "(%lld with a picture code), %lld held after lost packets, %lld packets lost, %s\n",
        (long long)BytesReceived(), (long long)BytesDropped(), Reconnects(), (long long)arrived,
        (long long)decodedPictures_.load(), (long long)codedPictures_.load(), (long long)PicturesHeld(),
        (long long)PacketsLost(), MemoryText().c_str());
    if (options_.checkPictures) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::printf(
            "vdplay: pictures checked against the pattern: %lld, unlike it: %lld; the camera's pictures from the first "
            "checked to the last: %lld\n",
            (long long)checkedPictures_.load(), (long long)unlikePictures_.load(), (long long)spannedPictures_);
    }
    if (screen.pictures == 0) {
        std::printf("live latency: not measured (%s)\n",
                    !sources_.empty() && sources_[0]->avi() && options_.source.protocol != vdplay::NetProtocol::kRtsp
                        ? "followed in raw H.264/H.265 streams only"
                    : options_.ports > 1         ? "followed with one port only"
                    : codedPictures_.load() == 0 ? "the pictures carry no picture code"
                                                 : "no picture was seen both arriving and on the screen");
    } else {
        std::printf("live latency: median %s ms, p95 %s ms\n", Ms(screen.medianMs).c_str(), Ms(screen.p95Ms).c_str());
        std::printf(
            "live latency to the decode callback: median %s ms, p95 %s ms (%u pictures followed to the screen, %lld "
            "screen reads)\n",
            Ms(decoded.medianMs).c_str(), Ms(decoded.p95Ms).c_str(), unsigned(screen.pictures),
            (long long)screenReads_.load());
    }
    std::fflush(stdout);
}

}  // namespace vdplay
