// The pixel benchmark of the 32-bit Windows build: the same bodies as the host
// program, timed with a steady clock (no benchmark library or peer library
// exists for this toolchain here). Prints milliseconds per frame (median of
// repetitions) for every kernel set the CPU has, and the ratio of each to a
// copy of the RGB32 picture.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pixel/pixel_bench_bodies.h"

namespace vd::pixelbench {
namespace {

// Median over repetitions of the time per call, each repetition running the
// body for at least 50 ms.
double MedianMsPerFrame(const std::function<void()>& body) {
    using Clock = std::chrono::steady_clock;
    body();  // warm the caches and the page tables
    std::vector<double> samples;
    for (int rep = 0; rep < 11; ++rep) {
        int calls = 0;
        const Clock::time_point start = Clock::now();
        Clock::time_point now = start;
        while (calls < 3 || now - start < std::chrono::milliseconds(50)) {
            body();
            ++calls;
            now = Clock::now();
        }
        samples.push_back(std::chrono::duration<double, std::milli>(now - start).count() / calls);
    }
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

}  // namespace
}  // namespace vd::pixelbench

int main() {
    using namespace vd::pixelbench;
    using vd::PixelIsa;
    std::printf("kernels: %s (32-bit)\n", vd::ActivePixelKernels().name);
    for (const FrameSize& size : FrameSizes()) {
        Frame f(size.width, size.height);
        const double copyMs = MedianMsPerFrame([&] { CopyRgb(f); });
        std::printf("%-6s memcpy_rgb32 %8.4f ms/frame\n", size.name, copyMs);
        for (PixelIsa isa : vd::kAllPixelIsas) {
            if (!vd::PixelIsaAvailable(isa)) continue;
            const vd::PixelKernels& k = vd::PixelKernelsFor(isa);
            const double toYuv = MedianMsPerFrame([&] { RgbToYuv(k, f); });
            const double toRgb = MedianMsPerFrame([&] { YuvToRgb(k, f); });
            std::printf("%-6s rgb32_to_yuv420 %-8s %8.4f ms/frame\n", size.name, k.name, toYuv);
            std::printf("%-6s yuv420_to_rgb32 %-8s %8.4f ms/frame\n", size.name, k.name, toRgb);
            if (&k == &vd::ActivePixelKernels()) {
                std::printf("ratio win32_rgb32_to_yuv420_%s_vs_memcpy %.3f\n", size.name, toYuv / copyMs);
                std::printf("ratio win32_yuv420_to_rgb32_%s_vs_memcpy %.3f\n", size.name, toRgb / copyMs);
            }
        }
    }
    return 0;
}
