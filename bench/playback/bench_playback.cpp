// Playback figures, measured in one run against a peer where there is one:
//   ratio intake_1080p_vs_memcpy  the frame callback queueing a 1920x1080
//                                 YV12 picture over allocating and copying
//                                 the same bytes
//   fps display_640x480_yv12_ddraw, fps display_640x480_yv12_drawdib
//                                 pictures shown per second into a 640x480
//                                 window when pictures are always waiting,
//                                 with the display forced to each video output
//                                 (VD_VIDEO_OUTPUT, read by each display thread
//                                 when it starts)
//   fps wall_16x_cif_testsdk, cpu wall_16x_cif_testsdk
//                                 16 paced 352x288 streams at 25 per second,
//                                 each in its own window, for 10 seconds:
//                                 pictures shown per second in all (400 is
//                                 every one) and process CPU time over wall time
// The engine runs in this process over the scriptable SDK, whose delivery
// entry point plays the SDK's decoding threads: the engine's own cost, with
// no decoding. The wall as users see it, vdplay with the reference SDK on a
// real recording against ffplay, is bench/wall/bench-wall.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "TestSdkControl.h"
#include "engine/frame_intake.h"
#include "engine/play_engine.h"
#include "port/port_table.h"

namespace {

using Clock = std::chrono::steady_clock;

double MedianMsPerCall(const std::function<void()>& body) {
    body();
    std::vector<double> samples;
    for (int rep = 0; rep < 15; ++rep) {
        int calls = 0;
        const Clock::time_point start = Clock::now();
        Clock::time_point now = start;
        while (calls < 3 || now - start < std::chrono::milliseconds(60)) {
            body();
            ++calls;
            now = Clock::now();
        }
        samples.push_back(std::chrono::duration<double, std::milli>(now - start).count() / calls);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::vector<std::uint8_t> Yv12(int width, int height) {
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(width) * height * 3 / 2);
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 7);
    return picture;
}

HWND MakeWindow(int x, int y, int width, int height) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VdBenchWindow";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "VdBenchWindow", "bench", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// The frame callback's own cost: a port that plays in a window whose
// pictures this thread takes out again at once, so the queue never fills.
void IntakeVersusCopy() {
    vd::PlayShared shared;
    auto record = std::make_shared<vd::PortRecord>(0, 0);
    record->videoWindow.store(reinterpret_cast<HWND>(1));  // counts as shown; nothing draws
    record->stopEvent.Reset();
    shared.ports.Insert(1, record);
    const std::vector<std::uint8_t> picture = Yv12(1920, 1080);
    const int size = static_cast<int>(picture.size());

    const double intake = MedianMsPerCall([&] {
        vd::VideoCallBack(1, picture.data(), size, 1920, 1080, 0, 3, 25, &shared);
        vd::QueuedFrame taken;
        record->videoQueue.TryPop(taken);
    });
    const double copy = MedianMsPerCall([&] {
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[picture.size()]);
        std::memcpy(data.get(), picture.data(), picture.size());
        volatile std::uint8_t sink = data[picture.size() / 2];
        (void)sink;
    });
    std::printf("intake_1080p %.4f ms, allocate_and_copy_1080p %.4f ms\n", intake, copy);
    std::printf("ratio intake_1080p_vs_memcpy %.3f\n", intake / copy);
}

struct Sdk {
    HMODULE module = LoadLibraryA(TESTSDK_PATH);
    TestSdkSetOpenPortFn setOpenPort = reinterpret_cast<TestSdkSetOpenPortFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "TestSdk_SetOpenPort")));
    TestSdkDeliverFn deliver =
        reinterpret_cast<TestSdkDeliverFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "TestSdk_Deliver")));
    bool ok() const { return module && setOpenPort && deliver; }
};

// Feeds each port from a thread of its own until told to stop; the
// callback holds a feeder while the port's queue is full.
double ShowPictures(vd::PlayEngine& engine, Sdk& sdk, int ports, int width, int height, int paced, int seconds,
                    double* cpuShare) {
    std::vector<HWND> windows;
    std::vector<int> opened;
    const char header[12] = "RIFF....AVI";
    for (int i = 0; i < ports; ++i) {
        windows.push_back(
            MakeWindow(8 + (i % 4) * (width + 4) % 1200, 8 + (i / 4) * (height + 4) % 900, width, height));
        sdk.setOpenPort(100 + i);
        int port = -1;
        if (engine.OpenStream(header, sizeof header, paced, &port) != 0) return 0;
        opened.push_back(port);
        engine.Play(port, *engine.FindPort(port), windows.back());
    }
    const std::vector<std::uint8_t> picture = Yv12(width, height);
    std::atomic<bool> done{false};
    std::vector<std::thread> feeders;
    for (int port : opened) {
        feeders.emplace_back([&, port] {
            unsigned int stamp = 0;
            while (!done.load()) {
                sdk.deliver(port, picture.data(), static_cast<int>(picture.size()), width, height, stamp += 40, 3, 25);
            }
        });
    }
    // Let the displays start, then count over the measured span.
    const Clock::time_point warm = Clock::now() + std::chrono::seconds(1);
    while (Clock::now() < warm) {
        Pump();
        Sleep(10);
    }
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel0, &user0);
    engine.clock().UpToDateMs();
    const int before = engine.clock().pendingFrames();
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        Pump();
        Sleep(10);
    }
    const int shown = engine.clock().pendingFrames() - before;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel1, &user1);
    auto ticks = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const double cpu = static_cast<double>(ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e7;
    if (cpuShare) *cpuShare = cpu / wall;

    for (int port : opened) engine.Stop(port, *engine.FindPort(port));
    done.store(true);
    for (std::thread& feeder : feeders) feeder.join();
    for (int port : opened) engine.CloseStream(port);
    for (HWND window : windows) DestroyWindow(window);
    Pump();
    return shown / wall;
}

// The display threads read the setting when they start; set in both the
// C runtime's and the system's copy of the environment, so that either way
// of reading it sees it. Null lets the display choose.
void ForceVideoOutput(const char* output) {
    _putenv_s("VD_VIDEO_OUTPUT", output ? output : "");
    SetEnvironmentVariableA("VD_VIDEO_OUTPUT", output);
}

}  // namespace

int main() {
    IntakeVersusCopy();

    Sdk sdk;
    vd::PlayEngine engine(TESTSDK_PATH);
    if (!sdk.ok() || engine.Initialize() != 0) {
        std::printf("display benchmarks need %s and a display\n", TESTSDK_PATH);
        return 1;
    }
    for (const char* output : {"ddraw", "drawdib"}) {
        ForceVideoOutput(output);
        const double display = ShowPictures(engine, sdk, 1, 640, 480, 0, 5, nullptr);
        std::printf("fps display_640x480_yv12_%s %.1f\n", output, display);
    }
    ForceVideoOutput(nullptr);
    double cpu = 0;
    const double wall = ShowPictures(engine, sdk, 16, 352, 288, 1, 10, &cpu);
    std::printf("fps wall_16x_cif_testsdk %.1f\n", wall);
    std::printf("cpu wall_16x_cif_testsdk %.3f\n", cpu);
    engine.Release();
    return 0;
}
