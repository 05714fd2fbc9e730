// KV_OpenFile of DemoPlay.dll (32-bit, under Wine when run by scripts/bench)
// on the crafted file whose super-index names one standard index 60,000
// times, against an ordinary file of the same size. Prints the median and
// least time of an open and close of each, then
//   ratio sdk_open_worst_vs_plain <median of the crafted / of the plain>
// Usage: bench_demoplay [repetitions [DemoPlay.dll to load]]   (default 11, the build's)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DemoPlaySdk.h"
#include "sdk/sample_avi.h"

namespace {

using OpenFileFn = int(__cdecl*)(const char*, int*);
using CloseFileFn = int(__cdecl*)(int);

struct Timing {
    double medianMs;
    double minMs;
};

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string path = std::string(dir) + "bench_demoplay_" + std::to_string(GetCurrentProcessId()) + "_" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(f);
    return path;
}

// Each repetition opens and closes the file at least 3 times and for at
// least 50 ms; the time per open of every repetition is kept.
bool TimeOpen(OpenFileFn open, CloseFileFn close, const std::string& path, int repetitions, Timing* out) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> samples;
    for (int rep = 0; rep < repetitions; ++rep) {
        int calls = 0;
        const Clock::time_point start = Clock::now();
        Clock::time_point now = start;
        while (calls < 3 || now - start < std::chrono::milliseconds(50)) {
            int port = -1;
            if (open(path.c_str(), &port) != KV_OK) return false;
            close(port);
            ++calls;
            now = Clock::now();
        }
        samples.push_back(std::chrono::duration<double, std::milli>(now - start).count() / calls);
    }
    std::sort(samples.begin(), samples.end());
    *out = {samples[samples.size() / 2], samples.front()};
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    std::string dll = argc > 2 ? argv[2] : DEMOPLAY_DLL_PATH;
    if (!dll.empty() && dll[0] == '/') dll = "Z:" + dll;  // the build's Unix path, seen from Wine
    HMODULE module = LoadLibraryA(dll.c_str());
    if (!module) module = LoadLibraryA("DemoPlay.dll");
    if (!module) {
        std::fprintf(stderr, "cannot load DemoPlay.dll\n");
        return 1;
    }
    auto open = reinterpret_cast<OpenFileFn>(reinterpret_cast<void*>(GetProcAddress(module, "KV_OpenFile")));
    auto close = reinterpret_cast<CloseFileFn>(reinterpret_cast<void*>(GetProcAddress(module, "KV_CloseFile")));
    if (!open || !close) return 1;

    const std::vector<uint8_t> worst = vdsample::SuperIndexOnOneIndex(60000, 400000);
    const std::string worstPath = WriteTemp("worst.avi", worst);
    const std::string plainPath = WriteTemp("plain.avi", vdsample::PlainFileOfSize(worst.size()));
    Timing w{}, p{};
    const bool ok =
        TimeOpen(open, close, worstPath, repetitions, &w) && TimeOpen(open, close, plainPath, repetitions, &p);
    DeleteFileA(worstPath.c_str());
    DeleteFileA(plainPath.c_str());
    if (!ok) {
        std::fprintf(stderr, "KV_OpenFile failed\n");
        return 1;
    }
    std::printf("files of %u bytes (32-bit)\n", unsigned(worst.size()));
    std::printf("open_worst %10.3f ms (min %.3f)\n", w.medianMs, w.minMs);
    std::printf("open_plain %10.3f ms (min %.3f)\n", p.medianMs, p.minMs);
    std::printf("ratio sdk_open_worst_vs_plain %.3f\n", w.medianMs / p.medianMs);
    return 0;
}
