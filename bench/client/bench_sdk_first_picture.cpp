// Opening a 1080p Motion-JPEG recording through DemoPlay.dll and playing it
// until the first picture reaches the frame callback (KV_OpenFile, KV_Play,
// callback), against the peer: decoding that first picture alone with the
// same JPEG decoder (libavcodec's, from the DLLs beside the benchmark: a
// decoder made for it, the picture decoded and converted to its kind; the
// libraries stay loaded throughout, as they do in the SDK from KV_Initial to
// KV_Free). The SDK's time ends when the picture reaches the callback. The
// two sides run in turns, round by round. Prints
//   ms sdk_open_to_first_picture <median>
//   ms jpeg_decode_first_picture <median>
//   ratio sdk_open_to_first_picture <sdk median / decode median>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DemoPlaySdk.h"
#include "codec/libav_library.h"
#include "codec/mjpeg_decoder.h"
#include "core/avi_parser.h"
#include "sample/file_sink.h"
#include "sample/sample_recording.h"

namespace {

constexpr int kRounds = 16;
constexpr DWORD kDeadlineMs = 20000;

struct Sdk {
    int(__cdecl* Initial)();
    int(__cdecl* Free)();
    int(__cdecl* OpenFile)(const char*, int*);
    int(__cdecl* CloseFile)(int);
    int(__cdecl* Play)(int, KV_FrameCallBack, void*);
    int(__cdecl* Stop)(int);
};

template <typename T>
bool Resolve(HMODULE m, const char* name, T* out) {
    *out = reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
    return *out != nullptr;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// When the first picture reached the callback; the waiting thread may wake
// later than that.
double firstPictureAt = 0;

int __stdcall OnFrame(int, const unsigned char*, int, int, int, unsigned, int kind, int, void* user) {
    if (kind >= KV_FRAME_RGB32 && firstPictureAt == 0) {
        firstPictureAt = Now();
        SetEvent(static_cast<HANDLE>(user));
    }
    return 0;
}

std::string Directory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of("\\/") + 1);
}

}  // namespace

int main() {
    // The 1080p sample, made here so that the benchmark needs nothing else.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "vd_bench_1080p_" + std::to_string(GetCurrentProcessId()) + ".avi";
    vdsample::RecordingPlan plan;
    plan.width = 1920;
    plan.height = 1080;
    plan.seconds = 1.0;
    plan.format = vdsample::PictureFormat::kMjpeg;
    plan.overlay = false;
    vdsample::WrittenFiles written;
    const std::string problem = vdsample::WriteRecording(file, plan, &written);
    if (!problem.empty()) {
        std::fprintf(stderr, "bench: %s\n", problem.c_str());
        return 1;
    }

    // The peer's input: the first picture's chunk.
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
        uint8_t block[1 << 16];
        size_t n;
        while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
        std::fclose(f);
    }
    demoplay::MemorySource source(bytes.data(), bytes.size());
    demoplay::AviFileInfo info;
    if (demoplay::ParseAviFile(source, &info) != demoplay::AviStatus::kOk || info.videoChunks.empty()) {
        std::fprintf(stderr, "bench: the sample does not parse\n");
        DeleteFileA(file.c_str());
        return 1;
    }
    const demoplay::ChunkRef& first = info.videoChunks[0];
    const std::shared_ptr<const demoplay::LibAv> libraries = demoplay::AcquireLibAv();

    HMODULE module = LoadLibraryA((Directory() + "DemoPlay.dll").c_str());
    Sdk sdk = {};
    if (!libraries || !module || !Resolve(module, "KV_Initial", &sdk.Initial) ||
        !Resolve(module, "KV_Free", &sdk.Free) || !Resolve(module, "KV_OpenFile", &sdk.OpenFile) ||
        !Resolve(module, "KV_CloseFile", &sdk.CloseFile) || !Resolve(module, "KV_Play", &sdk.Play) ||
        !Resolve(module, "KV_Stop", &sdk.Stop)) {
        std::fprintf(stderr,
                     "bench: cannot load DemoPlay.dll, avcodec-59.dll and avutil-57.dll beside the benchmark\n");
        DeleteFileA(file.c_str());
        return 1;
    }
    sdk.Initial();
    HANDLE firstPicture = CreateEventA(nullptr, FALSE, FALSE, nullptr);

    // One round of each side at a time, each side first every other round, so
    // that both meet the machine (its caches, the other processor, whatever
    // else runs) alike.
    auto sdkRound = [&]() -> double {
        ResetEvent(firstPicture);
        firstPictureAt = 0;
        const double start = Now();
        int port = -1;
        double ms = -1;
        if (sdk.OpenFile(file.c_str(), &port) == KV_OK && sdk.Play(port, &OnFrame, firstPicture) == KV_OK &&
            WaitForSingleObject(firstPicture, kDeadlineMs) == WAIT_OBJECT_0)
            ms = firstPictureAt - start;
        if (port >= 0) {
            sdk.Stop(port);
            sdk.CloseFile(port);
        }
        return ms;
    };
    auto peerRound = [&]() -> double {
        std::vector<uint8_t> chunk(bytes.begin() + ptrdiff_t(first.offset),
                                   bytes.begin() + ptrdiff_t(first.offset + first.size));
        chunk.reserve(chunk.size() + 64);
        demoplay::MjpegPicture picture;
        const double start = Now();
        std::unique_ptr<demoplay::MjpegDecoder> decoder = demoplay::MjpegDecoder::Create(
            info.headers.video.width, info.headers.video.height, info.headers.video.compression, {});
        const bool ok = decoder && decoder->Decode(chunk, &picture) == demoplay::MjpegDecoder::Result::kPicture;
        const double ms = Now() - start;
        return ok ? ms : -1;
    };
    std::vector<double> sdkMs, decodeMs;
    int status = 0;
    for (int round = 0; round < kRounds && status == 0; ++round) {
        double ours, peer;
        if (round % 2 == 0) {
            ours = sdkRound();
            peer = peerRound();
        } else {
            peer = peerRound();
            ours = sdkRound();
        }
        if (ours < 0) std::fprintf(stderr, "bench: no first picture from the SDK\n");
        if (peer < 0) std::fprintf(stderr, "bench: libavcodec did not decode the first picture\n");
        if (ours < 0 || peer < 0) status = 1;
        sdkMs.push_back(ours);
        decodeMs.push_back(peer);
    }
    sdk.Free();
    CloseHandle(firstPicture);
    FreeLibrary(module);
    DeleteFileA(file.c_str());
    if (status != 0) return status;
    const double sdkMedian = Median(sdkMs), decodeMedian = Median(decodeMs);
    std::printf("ms sdk_open_to_first_picture %.2f\n", sdkMedian);
    std::printf("ms jpeg_decode_first_picture %.2f\n", decodeMedian);
    std::printf("ratio sdk_open_to_first_picture %.3f\n", decodeMedian > 0 ? sdkMedian / decodeMedian : 0.0);
    return 0;
}
