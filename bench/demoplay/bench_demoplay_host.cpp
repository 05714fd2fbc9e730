// The AVI parser (natively) opening the crafted file whose super-index names
// one standard index 60,000 times, against an ordinary file of the same size.
// Prints
//   ratio sdk_parse_worst_vs_plain <median time of the crafted / of the plain>
// after Google Benchmark's own report.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/avi_parser.h"
#include "sdk/sample_avi.h"

namespace {

// Reads a file with positioned reads, as the SDK reads its files.
class FileSource : public demoplay::ByteSource {
public:
    explicit FileSource(const std::string& path) : fd_(open(path.c_str(), O_RDONLY)) {
        if (fd_ >= 0) size_ = uint64_t(lseek(fd_, 0, SEEK_END));
    }
    ~FileSource() override {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void* out, size_t length) override {
        if (offset > size_ || length > size_ - offset) return false;
        return pread(fd_, out, length, off_t(offset)) == ssize_t(length);
    }

private:
    int fd_;
    uint64_t size_ = 0;
};

// Keeps the median CPU time of every benchmark: the machine is shared, and
// time spent descheduled is nobody's.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred)
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = "/tmp/bench_demoplay_" + std::to_string(getpid()) + "_" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(f);
    return path;
}

void RegisterOpen(const std::string& name, const std::string& path) {
    benchmark::RegisterBenchmark(name.c_str(), [path](benchmark::State& state) {
        for (auto _ : state) {
            FileSource file(path);
            demoplay::AviFileInfo info;
            if (!file.ok() || demoplay::ParseAviFile(file, &info) != demoplay::AviStatus::kOk) {
                state.SkipWithError("the file does not open");
                break;
            }
            benchmark::DoNotOptimize(info.videoChunks.data());
        }
    })->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=15", interleave = "--benchmark_enable_random_interleaving=true",
                minTime = "--benchmark_min_time=0.05", aggregates = "--benchmark_report_aggregates_only=true";
    bool userReps = false;
    for (int i = 1; i < argc; ++i) userReps = userReps || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!userReps) args.insert(args.begin() + 1, {reps.data(), interleave.data(), minTime.data(), aggregates.data()});
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    const std::vector<uint8_t> worst = vdsample::SuperIndexOnOneIndex(60000, 400000);
    const std::string worstPath = WriteTemp("worst.avi", worst);
    const std::string plainPath = WriteTemp("plain.avi", vdsample::PlainFileOfSize(worst.size()));
    std::printf("files of %zu bytes\n", worst.size());
    RegisterOpen("open_worst", worstPath);
    RegisterOpen("open_plain", plainPath);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::remove(worstPath.c_str());
    std::remove(plainPath.c_str());

    auto a = reporter.medians.find("open_worst"), b = reporter.medians.find("open_plain");
    if (a == reporter.medians.end() || b == reporter.medians.end() || b->second <= 0) return 1;
    std::printf("ratio sdk_parse_worst_vs_plain %.3f\n", a->second / b->second);
    return 0;
}
