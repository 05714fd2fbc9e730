// The pixel benchmark of the 32-bit Windows build: the same bodies as the host
// program, timed with a steady clock (no benchmark library or peer library
// exists for this toolchain here). Prints milliseconds per frame (median and
// minimum of repetitions) for every kernel set the CPU has, and the ratio of
// the chosen set's median to that of a copy of the RGB32 picture.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pixel/pixel_bench_bodies.h"

namespace vdtest {
namespace {

struct Timing {
    double medianMs;  // the typical time per call
    double minMs;     // the least disturbed repetition, on a shared machine
};

// Time per call over 11 repetitions, each running the body for at least 50 ms.
Timing MsPerFrame(const std::function<void()>& body) {
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
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front()};
}

}  // namespace
}  // namespace vdtest

int main() {
    using namespace vdtest;
    using vd::PixelIsa;
    std::printf("kernels: %s (32-bit)\n", vd::ActivePixelKernels().name);
    for (const FrameSize& size : FrameSizes()) {
        Frame f(size.width, size.height);
        const Timing copy = MsPerFrame([&] { CopyRgb(f); });
        std::printf("%-6s memcpy_rgb32             %8.4f ms/frame (min %.4f)\n", size.name, copy.medianMs, copy.minMs);
        for (PixelIsa isa : vd::kAllPixelIsas) {
            if (!vd::PixelIsaAvailable(isa)) continue;
            const vd::PixelKernels& k = vd::PixelKernelsFor(isa);
            const Timing toYuv = MsPerFrame([&] { RgbToYuv(k, f); });
            const Timing toRgb = MsPerFrame([&] { YuvToRgb(k, f); });
            std::printf("%-6s rgb32_to_yuv420 %-8s %8.4f ms/frame (min %.4f)\n", size.name, k.name, toYuv.medianMs,
                        toYuv.minMs);
            std::printf("%-6s yuv420_to_rgb32 %-8s %8.4f ms/frame (min %.4f)\n", size.name, k.name, toRgb.medianMs,
                        toRgb.minMs);
            if (&k == &vd::ActivePixelKernels()) {
                std::printf("ratio win32_rgb32_to_yuv420_%s_vs_memcpy %.3f\n", size.name,
                            toYuv.medianMs / copy.medianMs);
                std::printf("ratio win32_yuv420_to_rgb32_%s_vs_memcpy %.3f\n", size.name,
                            toRgb.medianMs / copy.medianMs);
            }
        }
    }
    return 0;
}
