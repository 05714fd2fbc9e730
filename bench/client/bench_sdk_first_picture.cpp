// Opening a 1080p Motion-JPEG recording through DemoPlay.dll and playing it
// until the first picture reaches the frame callback (KV_OpenFile, KV_Play,
// callback), against the peer: decoding that first picture alone with the
// same JPEG decoder (libavcodec's, from the DLLs beside the benchmark: a
// decoder made for it, the picture decoded and converted to its kind; the
// libraries stay loaded throughout, as they do in the SDK from KV_Initial to
// KV_Free). Prints
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

constexpr int kRounds = 9;
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

int __stdcall OnFrame(int, const unsigned char*, int, int, int, unsigned, int kind, int, void* user) {
  if (kind >= KV_FRAME_RGB32) SetEvent(static_cast<HANDLE>(user));
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
  sample::RecordingPlan plan;
  plan.width = 1920;
  plan.height = 1080;
  plan.seconds = 1.0;
  plan.format = sample::PictureFormat::kMjpeg;
  plan.overlay = false;
  sample::WrittenFiles written;
  const std::string problem = sample::WriteRecording(file, plan, &written);
  if (!problem.empty()) {
    std::fprintf(stderr, "bench: %s\n", problem.c_str());
    return 1;
  }

  HMODULE module = LoadLibraryA((Directory() + "DemoPlay.dll").c_str());
  Sdk sdk = {};
  if (!module || !Resolve(module, "KV_Initial", &sdk.Initial) || !Resolve(module, "KV_Free", &sdk.Free) ||
      !Resolve(module, "KV_OpenFile", &sdk.OpenFile) || !Resolve(module, "KV_CloseFile", &sdk.CloseFile) ||
      !Resolve(module, "KV_Play", &sdk.Play) || !Resolve(module, "KV_Stop", &sdk.Stop)) {
    std::fprintf(stderr, "bench: cannot load DemoPlay.dll beside the benchmark\n");
    DeleteFileA(file.c_str());
    return 1;
  }
  sdk.Initial();
  HANDLE firstPicture = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::vector<double> sdkMs;
  int status = 0;
  for (int round = 0; round < kRounds && status == 0; ++round) {
    ResetEvent(firstPicture);
    const double start = Now();
    int port = -1;
    if (sdk.OpenFile(file.c_str(), &port) != KV_OK || sdk.Play(port, &OnFrame, firstPicture) != KV_OK ||
        WaitForSingleObject(firstPicture, kDeadlineMs) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "bench: no first picture from the SDK\n");
      status = 1;
    } else {
      sdkMs.push_back(Now() - start);
    }
    if (port >= 0) {
      sdk.Stop(port);
      sdk.CloseFile(port);
    }
  }
  sdk.Free();
  CloseHandle(firstPicture);
  FreeLibrary(module);

  // The peer: the first picture decoded alone.
  std::vector<double> decodeMs;
  std::vector<uint8_t> bytes;
  if (status == 0) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f) {
      uint8_t block[1 << 16];
      size_t n;
      while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
      std::fclose(f);
    }
    demoplay::MemorySource source(bytes.data(), bytes.size());
    demoplay::AviFileInfo info;
    if (demoplay::ParseAviFile(source, &info) != demoplay::AviStatus::kOk || info.videoChunks.empty()) {
      std::fprintf(stderr, "bench: the sample does not parse\n");
      status = 1;
    } else {
      const demoplay::ChunkRef& c = info.videoChunks[0];
      const std::shared_ptr<const demoplay::LibAv> libraries = demoplay::AcquireLibAv();
      for (int round = 0; round < kRounds && libraries; ++round) {
        std::vector<uint8_t> chunk(bytes.begin() + ptrdiff_t(c.offset), bytes.begin() + ptrdiff_t(c.offset + c.size));
        chunk.reserve(chunk.size() + 64);
        demoplay::MjpegPicture picture;
        const double start = Now();
        std::unique_ptr<demoplay::MjpegDecoder> decoder = demoplay::MjpegDecoder::Create(
            info.headers.video.width, info.headers.video.height, info.headers.video.compression, {});
        const bool ok = decoder && decoder->Decode(chunk, &picture) == demoplay::MjpegDecoder::Result::kPicture;
        decodeMs.push_back(Now() - start);
        if (!ok) status = 1;
      }
      if (!libraries || decodeMs.empty()) {
        std::fprintf(stderr, "bench: no avcodec-59.dll and avutil-57.dll beside the benchmark\n");
        status = 1;
      }
    }
  }
  DeleteFileA(file.c_str());
  if (status != 0) return status;
  const double sdkMedian = Median(sdkMs), decodeMedian = Median(decodeMs);
  std::printf("ms sdk_open_to_first_picture %.2f\n", sdkMedian);
  std::printf("ms jpeg_decode_first_picture %.2f\n", decodeMedian);
  std::printf("ratio sdk_open_to_first_picture %.3f\n", decodeMedian > 0 ? sdkMedian / decodeMedian : 0.0);
  return 0;
}
