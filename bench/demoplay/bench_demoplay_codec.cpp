// Decoding 1080p H.264 through DemoPlay.dll (32-bit, under Wine), pictures
// handed to a callback that does nothing, against the machine's ffmpeg
// decoding the same pictures natively with one thread, in the same run.
// Prints
//   ratio sdk_h264_1080p_vs_ffmpeg <SDK's median time / ffmpeg's>
//   ratio sdk_h264_1080p_vs_ffmpeg_same_threads <the same against ffmpeg with the SDK's thread count>
//   fps sdk_h264_1080p <pictures per second>
//   fps sdk_hevc_1080p <pictures per second>
// and for Motion-JPEG (one decoding thread on both sides) and raw I420, fed
// in pieces from the open on (the files are larger than a stream port holds):
//   ratio sdk_mjpeg_1080p_vs_ffmpeg <open to last picture / ffmpeg -threads 1>
//   ratio sdk_raw_1080p_vs_memcpy <open to last picture / copying the pictures' bytes once>
// The clips are fed as a live AVI stream, which the SDK decodes as fast as it
// can (files are paced in real time). A live stream never ends, so the last
// pictures stay in the decoder; both sides decode the same number of
// pictures, that many fewer.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DemoPlaySdk.h"
#include "common/host_command.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 3;
constexpr int kHeld = 8;

struct Sdk {
  int(__cdecl* OpenStream)(const void*, int, int*);
  int(__cdecl* CloseStream)(int);
  int(__cdecl* InputData)(int, const void*, int);
  int(__cdecl* Play)(int, KV_FrameCallBack, void*);
  int(__cdecl* Stop)(int);
};

std::atomic<int> pictures{0};
int __stdcall CountPicture(int, const unsigned char*, int, int, int, unsigned, int kind, int, void*) {
  if (kind >= KV_FRAME_RGB32) pictures.fetch_add(1);
  return 0;
}

template <typename T>
bool Resolve(HMODULE m, const char* name, T* out) {
  *out = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(m, name)));
  return *out != nullptr;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Seconds to decode `count` pictures of the file fed whole as a stream; <0 on failure.
double SdkSeconds(const Sdk& sdk, const std::vector<uint8_t>& file, int count) {
  pictures = 0;
  const Clock::time_point start = Clock::now();
  int port = -1;
  if (sdk.OpenStream(file.data(), int(file.size()), &port) != 0) return -1;
  sdk.Play(port, &CountPicture, nullptr);
  const Clock::time_point deadline = start + std::chrono::seconds(300);
  while (pictures.load() < count && Clock::now() < deadline) Sleep(1);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const bool done = pictures.load() >= count;
  sdk.Stop(port);
  sdk.CloseStream(port);
  return done ? seconds : -1;
}

// Seconds from opening the file as a stream until `count` pictures are in,
// fed in pieces of 1 MiB as fast as the port takes them; <0 on failure.
double SdkFedSeconds(const Sdk& sdk, const std::vector<uint8_t>& file, int count) {
  constexpr size_t kHead = 64 << 10, kPiece = 1 << 20;
  pictures = 0;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + std::chrono::seconds(300);
  int port = -1;
  if (file.size() < kHead || sdk.OpenStream(file.data(), int(kHead), &port) != 0) return -1;
  sdk.Play(port, &CountPicture, nullptr);
  for (size_t at = kHead; at < file.size() && Clock::now() < deadline;) {
    const size_t n = std::min(kPiece, file.size() - at);
    const int r = sdk.InputData(port, file.data() + at, int(n));
    if (r == KV_ERR_BUFFER_FULL) {
      Sleep(0);
      continue;
    }
    if (r != 0) break;
    at += n;
  }
  while (pictures.load() < count && Clock::now() < deadline) Sleep(0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const bool done = pictures.load() >= count;
  sdk.Stop(port);
  sdk.CloseStream(port);
  return done ? seconds : -1;
}

// Seconds to copy `count` pictures of `bytes` each from the file once.
double MemcpySeconds(const std::vector<uint8_t>& file, int count, size_t bytes) {
  std::vector<uint8_t> to(bytes);
  const size_t usable = file.size() / bytes;
  if (usable == 0) return -1;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) std::memcpy(to.data(), file.data() + (size_t(i) % usable) * bytes, bytes);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  volatile uint8_t keep = to[bytes / 2];
  (void)keep;
  return seconds;
}

// ffmpeg's own wall time ("rtime") for decoding `count` pictures natively.
double FfmpegSeconds(const std::string& hostClip, int count, int threads) {
  const std::string command = "ffmpeg -hide_banner -nostdin -benchmark -threads " + std::to_string(threads) +
                              " -i " + vdtest::ShellWord(hostClip) + " -an -frames:v " + std::to_string(count) +
                              " -f null - 2>&1 | sed -n 's/.*rtime=\\([0-9.]*\\)s.*/\\1/p'";
  const vdtest::HostResult r = vdtest::RunHostCommand(command, 300000);
  if (!r.finished || r.exitCode != 0) return -1;
  return std::atof(r.output.c_str());
}

int PictureCount(const std::string& hostClip) {
  const vdtest::HostResult r = vdtest::RunHostCommand(
      "ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 " +
          vdtest::ShellWord(hostClip),
      120000);
  return r.finished && r.exitCode == 0 ? std::atoi(r.output.c_str()) : 0;
}

int DecodingThreads() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return int(std::max<DWORD>(1, std::min<DWORD>(info.dwNumberOfProcessors, 8)));
}

}  // namespace

int main() {
  std::string path = DEMOPLAY_DLL_PATH;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  HMODULE m = LoadLibraryA(path.c_str());
  Sdk sdk{};
  if (!m || !Resolve(m, "KV_OpenStream", &sdk.OpenStream) || !Resolve(m, "KV_CloseStream", &sdk.CloseStream) ||
      !Resolve(m, "KV_InputData", &sdk.InputData) || !Resolve(m, "KV_Play", &sdk.Play) ||
      !Resolve(m, "KV_Stop", &sdk.Stop)) {
    std::fprintf(stderr, "bench: cannot load %s\n", path.c_str());
    return 1;
  }
  const std::string hostDir = VD_BENCH_CLIPS_DIR;
  std::printf("bench: making the 1080p clips in %s (once)\n", hostDir.c_str());
  std::fflush(stdout);
  const vdtest::HostResult made = vdtest::RunHostCommand(
      "bash " + vdtest::ShellWord(VD_MAKE_BENCH_CLIPS) + " " + vdtest::ShellWord(hostDir), 900000);
  if (!made.finished || made.exitCode != 0) {
    std::fprintf(stderr, "bench: the clips were not made: %s\n", made.output.c_str());
    return 1;
  }
  int status = 0;
  const char* clips[] = {"h264_1080p.avi", "hevc_1080p.avi"};
  for (const char* clip : clips) {
    const std::string hostClip = hostDir + "/" + clip;
    std::ifstream in("Z:" + hostClip, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int count = PictureCount(hostClip) - kHeld;
    if (file.empty() || count <= 0) {
      std::fprintf(stderr, "bench: %s is missing\n", clip);
      return 1;
    }
    const bool h264 = clip[1] == '2';
    std::vector<double> ours, peer, peerThreads;
    for (int run = 0; run < kRuns; ++run) {
      ours.push_back(SdkSeconds(sdk, file, count));
      if (h264) {
        peer.push_back(FfmpegSeconds(hostClip, count, 1));
        peerThreads.push_back(FfmpegSeconds(hostClip, count, DecodingThreads()));
      }
    }
    const double sdkTime = Median(ours);
    if (sdkTime <= 0) {
      std::fprintf(stderr, "bench: DemoPlay.dll did not decode %s\n", clip);
      status = 1;
      continue;
    }
    std::printf("bench: %s: %d pictures, DemoPlay.dll %.3f s (%d decoding threads)", clip, count, sdkTime,
                DecodingThreads());
    if (h264) std::printf(", ffmpeg -threads 1 %.3f s, ffmpeg -threads %d %.3f s", Median(peer), DecodingThreads(),
                          Median(peerThreads));
    std::printf("\n");
    if (h264) {
      if (Median(peer) <= 0 || Median(peerThreads) <= 0) {
        std::fprintf(stderr, "bench: ffmpeg did not decode %s\n", clip);
        status = 1;
        continue;
      }
      std::printf("ratio sdk_h264_1080p_vs_ffmpeg %.3f\n", sdkTime / Median(peer));
      std::printf("ratio sdk_h264_1080p_vs_ffmpeg_same_threads %.3f\n", sdkTime / Median(peerThreads));
      std::printf("fps sdk_h264_1080p %.1f\n", count / sdkTime);
    } else {
      std::printf("fps sdk_hevc_1080p %.1f\n", count / sdkTime);
    }
    std::fflush(stdout);
  }

  // Motion-JPEG and raw I420: every picture comes out as soon as its chunk is in.
  for (const char* clip : {"mjpeg_1080p.avi", "i420_1080p.avi"}) {
    const std::string hostClip = hostDir + "/" + clip;
    std::ifstream in("Z:" + hostClip, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int count = PictureCount(hostClip);
    if (file.empty() || count <= 0) {
      std::fprintf(stderr, "bench: %s is missing\n", clip);
      return 1;
    }
    const bool mjpeg = clip[0] == 'm';
    const size_t pictureBytes = size_t(1920) * 1080 * 3 / 2;
    std::vector<double> ours, peer;
    for (int run = 0; run < kRuns; ++run) {
      ours.push_back(SdkFedSeconds(sdk, file, count));
      peer.push_back(mjpeg ? FfmpegSeconds(hostClip, count, 1) : MemcpySeconds(file, count, pictureBytes));
    }
    const double sdkTime = Median(ours), peerTime = Median(peer);
    if (sdkTime <= 0 || peerTime <= 0) {
      std::fprintf(stderr, "bench: %s was not decoded\n", clip);
      status = 1;
      continue;
    }
    std::printf("bench: %s: %d pictures, DemoPlay.dll %.3f s (one decoding thread), %s %.3f s\n", clip, count, sdkTime,
                mjpeg ? "ffmpeg -threads 1" : "memcpy", peerTime);
    std::printf("ratio %s %.3f\n", mjpeg ? "sdk_mjpeg_1080p_vs_ffmpeg" : "sdk_raw_1080p_vs_memcpy", sdkTime / peerTime);
    std::printf("fps sdk_%s_1080p %.1f\n", mjpeg ? "mjpeg" : "raw", count / sdkTime);
    std::fflush(stdout);
  }
  return status;
}
