// Our pixel conversions against libyuv, in the same run on the same buffers,
// with a copy of the RGB32 picture as the bandwidth limit. Prints one line
//   ratio <name> <our median time / peer's median time>
// per comparison after Google Benchmark's own report.
#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pixel/pixel_bench_bodies.h"

namespace vdtest {
namespace {

// Keeps the median CPU time of every benchmark, by name. CPU time rather than
// wall time: the machine is shared, and time spent descheduled is nobody's.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    // Colour only on a terminal, so that piped output has plain ratio lines.
    MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred) {
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

template <typename Body>
void Register(const std::string& name, Frame* frame, Body body) {
    benchmark::RegisterBenchmark(name.c_str(), [frame, body](benchmark::State& state) {
        for (auto _ : state) {
            body(*frame);
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                                static_cast<std::int64_t>(frame->RgbBytes()));
    })->Unit(benchmark::kMicrosecond);
}

void RegisterAll(std::vector<std::unique_ptr<Frame>>& frames) {
    const vd::PixelKernels& active = vd::ActivePixelKernels();
    const vd::PixelKernels& sse2 = PixelKernelsFor(vd::PixelIsa::Sse2);
    const bool haveSse2 = PixelIsaAvailable(vd::PixelIsa::Sse2) && &sse2 != &active;
    for (const FrameSize& size : FrameSizes()) {
        frames.push_back(std::make_unique<Frame>(size.width, size.height));
        Frame* f = frames.back().get();
        const std::string s = size.name;
        Register("rgb32_to_yuv420_" + s + "/ours", f, [&active](Frame& fr) { RgbToYuv(active, fr); });
        Register("rgb32_to_yuv420_" + s + "/libyuv", f, [](Frame& fr) {
            libyuv::ARGBToI420(fr.rgb(), 4 * fr.width(), fr.y(), fr.width(), fr.u(), fr.width() / 2, fr.v(),
                               fr.width() / 2, fr.width(), fr.height());
        });
        Register("yuv420_to_rgb32_" + s + "/ours", f, [&active](Frame& fr) { YuvToRgb(active, fr); });
        Register("yuv420_to_rgb32_" + s + "/libyuv", f, [](Frame& fr) {
            libyuv::I420ToARGB(fr.y(), fr.width(), fr.u(), fr.width() / 2, fr.v(), fr.width() / 2, fr.rgb(),
                               4 * fr.width(), fr.width(), fr.height());
        });
        Register("memcpy_rgb32_" + s, f, [](Frame& fr) { CopyRgb(fr); });
        if (haveSse2) {
            // For information: the baseline kernels of the 32-bit product.
            Register("rgb32_to_yuv420_" + s + "/ours_sse2", f, [&sse2](Frame& fr) { RgbToYuv(sse2, fr); });
            Register("yuv420_to_rgb32_" + s + "/ours_sse2", f, [&sse2](Frame& fr) { YuvToRgb(sse2, fr); });
        }
    }
}

// Prints "<label> <name> <median of a / median of b>".
void PrintRatio(const std::map<std::string, double>& medians, const std::string& name, const std::string& ours,
                const std::string& peer, const char* label = "ratio") {
    auto a = medians.find(ours);
    auto b = medians.find(peer);
    if (a == medians.end() || b == medians.end() || b->second <= 0) return;
    std::printf("%s %s %.3f\n", label, name.c_str(), a->second / b->second);
}

}  // namespace
}  // namespace vdtest

int main(int argc, char** argv) {
    using namespace vdtest;
    // Repetitions give medians; interleaving them spreads the noise of a
    // shared machine evenly over ours and the peer's.
    std::vector<char*> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=31", interleave = "--benchmark_enable_random_interleaving=true",
                minTime = "--benchmark_min_time=0.02", aggregates = "--benchmark_report_aggregates_only=true";
    bool userReps = false;
    for (int i = 1; i < argc; ++i) userReps = userReps || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!userReps) {
        args.insert(args.begin() + 1, {reps.data(), interleave.data(), minTime.data(), aggregates.data()});
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    std::printf("kernels: %s\n", vd::ActivePixelKernels().name);
    std::vector<std::unique_ptr<Frame>> frames;
    RegisterAll(frames);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& m = reporter.medians;
    for (const FrameSize& size : FrameSizes()) {
        const std::string s = size.name;
        for (const char* op : {"rgb32_to_yuv420_", "yuv420_to_rgb32_"}) {
            const std::string base = op + s;
            PrintRatio(m, base + "_vs_libyuv", base + "/ours", base + "/libyuv");
        }
    }
    for (const FrameSize& size : FrameSizes()) {
        const std::string s = size.name;
        for (const char* op : {"rgb32_to_yuv420_", "yuv420_to_rgb32_"}) {
            const std::string base = op + s;
            PrintRatio(m, base + "_vs_memcpy", base + "/ours", "memcpy_rgb32_" + s);
            // The peer against the same limit, for reference (not ours, so
            // not a ratio line).
            PrintRatio(m, "libyuv_" + base + "_vs_memcpy", base + "/libyuv", "memcpy_rgb32_" + s, "peer");
        }
    }
    return 0;
}
