// vdplay's live view of cameras on the network: their sources (NetSource,
// one per camera of the wall), and, for the first, the measure of how late its pictures reach the screen. Pictures that
// carry the sample pattern's picture code are followed from the arrival of
// their last byte, through the decode callback, to the screen: a timer on
// the window's thread reads the code back from the window every few
// milliseconds, so "shown" means the picture is in the window's pixels,
// after the plug-in's queue, its display thread and the draw. Also prints, when asked, the latency and
// the process's memory every few seconds.
#ifndef VD_VDPLAY_LIVE_VIEW_H
#define VD_VDPLAY_LIVE_VIEW_H

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <Orvane/VideoDecoderPlugin.h>

#include "player/live_latency.h"
#include "player/options.h"
#include "player/picture_arrivals.h"
#include "vdplay/net_source.h"

namespace vdplay {

class LiveView {
public:
    explicit LiveView(const vdplay::Options& options);
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    // Starts every source: each posts `message` (wParam its number) to
    // `window` when its ports are to be opened (NetSource::Start).
    bool Start(HWND window, UINT message, size_t headBytes);
    int sourceCount() const { return int(sources_.size()); }
    NetSource& source(int i) { return *sources_[size_t(i)]; }
    // The first source's pictures are shown in `cell`: its screen is read
    // from now on.
    void Follow(HWND cell);
    // A decoded picture of the port whose cell is read (the SDK's thread).
    void OnPicture(const void* data, int size, const Orvane::FrameInfo& info);
    // The main thread's tick: reports when due, fits the window to the
    // picture once; a failure when the source has ended for good.
    Failure Tick(HWND window, bool fitWindow);
    // When the stall check starts counting: the last (re)connection, or now
    // while any camera is being reached.
    ULONGLONG StallCountsFrom(ULONGLONG now) const;
    // At the run's end: why the cameras were not there when none was ever
    // reached (the first one's reason); in a wall where some were, the
    // others are named and the run is fine.
    Failure NeverReached() const;
    void Stop();
    // The closing lines: "live latency: median X ms, p95 Y ms" and what they stand on.
    void Report();

private:
    static void CALLBACK OnProbeTimer(HWND, UINT, UINT_PTR, DWORD);
    void ProbeScreen();
    int ReadScreenCode(HDC windowDc, HDC memoryDc);
    int64_t NowUs() const;
    int64_t BytesReceived() const;
    int64_t BytesDropped() const;
    int Reconnects() const {
        int n = 0;
        for (const auto& s : sources_) n += s->reconnects();
        return n;
    }
    int64_t PicturesHeld() const {
        int64_t n = 0;
        for (const auto& s : sources_) n += s->picturesHeld();
        return n;
    }
    int64_t PacketsLost() const {
        int64_t n = 0;
        for (const auto& s : sources_) n += s->packetsLost();
        return n;
    }
    std::string MemoryText() const;

    vdplay::Options options_;
    std::vector<std::unique_ptr<NetSource>> sources_;
    LARGE_INTEGER frequency_ = {};
    LARGE_INTEGER start_ = {};

    std::mutex mutex_;  // guards the two below
    vdplay::PictureArrivals arrivals_;
    vdplay::LiveLatency latency_;
    std::vector<vdplay::PictureArrival> completed_;  // reused

    std::atomic<int> pictureWidth_{0}, pictureHeight_{0}, frameRate_{0};
    std::atomic<int64_t> decodedPictures_{0}, codedPictures_{0};
    std::atomic<int64_t> checkedPictures_{0}, unlikePictures_{0};  // --check-pictures
    // The camera's pictures from the first checked to the last, by their numbers.
    int64_t spannedPictures_ = 0;
    int lastCheckedCode_ = -1;
    // The window's read-back, on a timer of the window's thread.
    HWND cell_ = nullptr;
    UINT_PTR probeTimer_ = 0;
    HDC memoryDc_ = nullptr;
    int lastScreenCode_ = -1;
    std::atomic<int64_t> screenReads_{0};
    HBITMAP strip_ = nullptr;
    void* stripBits_ = nullptr;
    int stripWidth_ = 0, stripHeight_ = 0;

    bool started_ = false;
    bool fitted_ = false;
    ULONGLONG lastReport_ = 0;
    int64_t lastReportUs_ = 0;
};

}  // namespace vdplay

#endif  // VD_VDPLAY_LIVE_VIEW_H
