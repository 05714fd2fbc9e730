#include "engine/playback_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace vdtest {

SdkFrame FlatFrame(int width, int height, std::uint32_t colour, int kind, unsigned int stamp) {
    SdkFrame frame;
    frame.bytes = Encode(Flat(width, height, colour), kind);
    frame.width = width;
    frame.height = height;
    frame.kind = kind;
    frame.stamp = stamp;
    return frame;
}

int DeliverFrame(TestSdk& sdk, int port, const SdkFrame& f) {
    return sdk.Deliver(port, f.bytes.data(), static_cast<int>(f.bytes.size()), f.width, f.height, f.stamp, f.kind,
                       f.frameRate);
}

bool ShowFirstPicture(TestSdk& sdk, int port, TestWindow& window, const SdkFrame& frame, std::uint32_t colour,
                      const SdkFrame& settle, std::uint32_t settleColour) {
    bool shown = false;
    for (int attempt = 0; attempt < 20 && !shown; ++attempt) {
        if (DeliverFrame(sdk, port, frame) != 0) return false;
        shown = ShowsColour(window, colour, 500);
    }
    if (!shown) return false;
    if (DeliverFrame(sdk, port, settle) != 0) return false;
    return ShowsColour(window, settleColour);
}

// ---- DeliveryThread -----------------------------------------------------------

DeliveryThread::DeliveryThread(TestSdk& sdk, int port, std::vector<SdkFrame> frames, std::function<void()> release)
    : release_(std::move(release)), total_(static_cast<int>(frames.size())) {
    thread_ = std::thread([this, &sdk, port, frames = std::move(frames)] {
        for (const SdkFrame& f : frames) {
            DeliverFrame(sdk, port, f);
            returned_.fetch_add(1);
        }
    });
}

DeliveryThread::~DeliveryThread() {
    if (!finished() && release_) release_();
    // A delivery the plug-in never gives back would leave this thread running
    // into an unloaded library: end the test program instead of hanging.
    if (!WaitReturned(total_, 30000)) {
        std::fprintf(stderr, "a delivery is still held inside the plug-in after its port was released\n");
        std::fflush(stderr);
        std::abort();
    }
    thread_.join();
}

bool DeliveryThread::WaitReturned(int count, int timeoutMs) const {
    return WaitFor([&] { return returned() >= count; }, timeoutMs);
}

bool DeliveryThread::HeldAt(int count, int periodMs) const {
    return !WaitFor([&] { return returned() > count; }, periodMs) && returned() == count;
}

// ---- DecodeRecorder -----------------------------------------------------------

namespace {
std::mutex decodeLock;
std::vector<DecodeCall> decodeCalls;
}  // namespace

DecodeRecorder::DecodeRecorder() {
    std::lock_guard<std::mutex> guard(decodeLock);
    decodeCalls.clear();
}

DecodeRecorder::~DecodeRecorder() {
    std::lock_guard<std::mutex> guard(decodeLock);
    decodeCalls.clear();
}

int CALLBACK DecodeRecorder::Callback(int port, const void* data, int size, Orvane::FrameInfo* info, int context) {
    DecodeCall call{port, data, size, {}, context, {}, GetCurrentThreadId()};
    if (info) call.info = *info;
    if (data && size > 0) {
        const std::uint8_t* bytes = static_cast<const std::uint8_t*>(data);
        call.head.assign(bytes, bytes + (size < 16 ? size : 16));
    }
    std::lock_guard<std::mutex> guard(decodeLock);
    decodeCalls.push_back(call);
    return 0x1234;  // ignored by the plug-in
}

std::vector<DecodeCall> DecodeRecorder::Calls() const {
    std::lock_guard<std::mutex> guard(decodeLock);
    return decodeCalls;
}

// ---- DialogWatcher ------------------------------------------------------------

DialogWatcher::DialogWatcher() {
    thread_ = std::thread([this] { Run(); });
}

DialogWatcher::~DialogWatcher() {
    running_.store(false);
    thread_.join();
}

std::vector<DialogWatcher::Seen> DialogWatcher::seen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return seen_;
}

void DialogWatcher::Run() {
    while (running_.load()) {
        EnumWindows(OnWindow, reinterpret_cast<LPARAM>(this));
        Sleep(10);
    }
}

namespace {

struct StaticText {
    std::string text;
};

BOOL CALLBACK FindStaticText(HWND child, LPARAM out) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0) return TRUE;
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0] == '\0') return TRUE;  // the icon
    reinterpret_cast<StaticText*>(out)->text = text;
    return FALSE;
}

}  // namespace

BOOL CALLBACK DialogWatcher::OnWindow(HWND window, LPARAM selfValue) {
    DialogWatcher* self = reinterpret_cast<DialogWatcher*>(selfValue);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0) return TRUE;
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        if (!self->handled_.insert(window).second) return TRUE;
    }
    StaticText found;
    EnumChildWindows(window, FindStaticText, reinterpret_cast<LPARAM>(&found));
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->seen_.push_back({found.text, caption, GetWindow(window, GW_OWNER)});
    }
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

// ---- screen and files ----------------------------------------------------------

void PaintBlack(TestWindow& window) {
    HDC dc = GetDC(window.handle());
    RECT area{0, 0, window.width(), window.height()};
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    GdiFlush();
    ReleaseDC(window.handle(), dc);
}

namespace {
std::uint32_t Centre(TestWindow& window) {
    const std::vector<std::uint32_t> pixels = window.Capture();
    return pixels[static_cast<std::size_t>(window.height() / 2) * window.width() + window.width() / 2];
}
}  // namespace

bool ShowsColour(TestWindow& window, std::uint32_t colour, int timeoutMs) {
    return WaitFor([&] { return Near(Centre(window), colour, 48); }, timeoutMs, &window);
}

bool KeepsColour(TestWindow& window, std::uint32_t colour, int periodMs) {
    return !WaitFor([&] { return !Near(Centre(window), colour, 48); }, periodMs, &window);
}

std::string CentreColour(TestWindow& window) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(Centre(window)));
    return text;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string WindowVersusSnapshot(Orvane::IVideoDecoder_M& decoder, int port, TestWindow& window,
                                 const std::string& snapshotPath) {
    if (decoder.Pause(port, 1) != 0) return "the port did not pause";
    const int width = window.width(), height = window.height();
    std::string misses;
    WaitFor(
        [&] {
            misses.clear();
            if (decoder.Snapshot(port, snapshotPath.c_str()) != 0) {
                misses = "no snapshot";
                return false;
            }
            const std::vector<std::uint8_t> bitmap = ReadFileBytes(snapshotPath);
            if (bitmap.size() != 54u + 4u * static_cast<std::size_t>(width) * height) {
                misses = "a snapshot of " + std::to_string(bitmap.size()) + " bytes";
                return false;
            }
            decoder.Refresh(port);
            Sleep(50);
            const std::vector<std::uint32_t> shown = window.Capture();
            for (int y = 20; y < height; y += 50) {
                for (int x = 20; x < width; x += 50) {
                    // Bottom-up rows of blue, green, red and a fourth byte.
                    const std::uint8_t* p = &bitmap[54 + (static_cast<std::size_t>(height - 1 - y) * width + x) * 4];
                    const std::uint32_t want =
                        static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
                    const std::uint32_t got = shown[static_cast<std::size_t>(y) * width + x];
                    if (!Near(want, got, 40) && misses.size() < 200) {
                        char line[64];
                        std::snprintf(line, sizeof line, "(%d,%d) want %06X got %06X; ", x, y,
                                      static_cast<unsigned>(want), static_cast<unsigned>(got));
                        misses += line;
                    }
                }
            }
            return misses.empty();
        },
        15000, &window);
    if (decoder.Pause(port, 0) != 0 && misses.empty()) misses = "the port did not resume";
    return misses;
}

ForcedOutput::ForcedOutput(const char* output) { SetEnvironmentVariableA("VD_VIDEO_OUTPUT", output); }
ForcedOutput::~ForcedOutput() { SetEnvironmentVariableA("VD_VIDEO_OUTPUT", nullptr); }

}  // namespace vdtest
