// Decoding 1080p H.264 through DemoPlay.dll (32-bit, under Wine), pictures
// handed to a callback that does nothing, against the machine's ffmpeg
// decoding the same pictures natively with one thread, in the same run.
// Prints
//   ratio sdk_h264_1080p_vs_ffmpeg <SDK's median time / ffmpeg's>
//   ratio sdk_h264_1080p_vs_ffmpeg_same_threads <the same against ffmpeg with the SDK's thread count>
//   fps sdk_h264_1080p <pictures per second>
//   fps sdk_hevc_1080p <pictures per second>
//   ms live_latency_h264_cif <median time from a picture's last byte pushed to its delivery>
//   ms decode_h264_cif <median time libavcodec takes to decode one of its pictures on one thread>
//   ratio live_latency_vs_decode_h264_cif <the one over the other>
// and for Motion-JPEG (one decoding thread on both sides) and raw I420, fed
// in pieces from the open on (the files are larger than a stream port holds):
//   ratio sdk_mjpeg_1080p_vs_ffmpeg <open to last picture / ffmpeg -threads 1>
//   ratio sdk_mjpeg_1080p_vs_libavcodec <the same / the SDK's libavcodec decoding the chunks alone>
//   ms decode_mjpeg_1080p <that decoding, per picture>
// (the same for mjpeg422, a 4:2:2 clip handed over as YUY2), and
//   ratio sdk_raw_1080p_vs_memcpy <open to last picture / copying the pictures' bytes once>
// and for ten minutes of cameras' sound (G.711 A-law and mu-law, IMA ADPCM,
// AAC-LC) beside a small picture a second, fed as a stream in pieces, which
// hands its sound on at once:
//   ratio sdk_sound_<codec>_vs_ffmpeg <open to the last sound handed over / ffmpeg decoding the sound>
//   ms sdk_sound_<codec>_per_second <the SDK's time per second of sound: decoding, 16 kHz, the callback>
// With the argument "sound", only the sound is measured.
// The 1080p clips are fed as a live AVI stream, which the SDK decodes as
// fast as it can (files are paced in real time); the end of the pushed movie
// data drains the decoder, so both sides decode every picture of the clip.
// The CIF clip (no B-pictures) is pushed a picture at a time at its own
// pace, as a camera sends it; its pictures' decoding time is measured with
// the SDK's own libraries, loaded directly, in the same run and at the same
// pace.
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
#include "common/codec_clips.h"
#include "codec/libav_library.h"
#include "common/host_command.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 3;

struct Sdk {
    int(__cdecl* OpenStream)(const void*, int, int*);
    int(__cdecl* CloseStream)(int);
    int(__cdecl* InputData)(int, const void*, int);
    int(__cdecl* Play)(int, KV_FrameCallBack, void*);
    int(__cdecl* Stop)(int);
};

std::atomic<int> pictures{0};
int picturesWanted = 0;
HANDLE lastPicture = CreateEventA(nullptr, FALSE, FALSE, nullptr);
int __stdcall CountPicture(int, const unsigned char*, int, int, int, unsigned, int kind, int, void*) {
    if (kind >= KV_FRAME_RGB32 && pictures.fetch_add(1) + 1 == picturesWanted) SetEvent(lastPicture);
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

// Feeds the file from `at` on to a stream port in pieces, as fast as the
// port takes them, until it is all in, the port refuses it or the deadline.
void FeedStream(const Sdk& sdk, int port, const std::vector<uint8_t>& file, size_t at, size_t piece,
                Clock::time_point deadline) {
    while (at < file.size() && Clock::now() < deadline) {
        const size_t n = std::min(piece, file.size() - at);
        const int r = sdk.InputData(port, file.data() + at, int(n));
        // A full port only yields: a millisecond's sleep would hold raw
        // pictures (3 MB each) to about a gigabyte a second.
        if (r == KV_ERR_BUFFER_FULL) {
            Sleep(0);
            continue;
        }
        if (r != 0) break;
        at += n;
    }
}

// Seconds from opening the file as a stream until `count` pictures are in,
// fed in pieces of 1 MiB as fast as the port takes them; <0 on failure.
double SdkFedSeconds(const Sdk& sdk, const std::vector<uint8_t>& file, int count) {
    constexpr size_t kHead = 64 << 10, kPiece = 1 << 20;
    pictures = 0;
    picturesWanted = count;
    ResetEvent(lastPicture);
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(300);
    int port = -1;
    if (file.size() < kHead || sdk.OpenStream(file.data(), int(kHead), &port) != 0) return -1;
    sdk.Play(port, &CountPicture, nullptr);
    FeedStream(sdk, port, file, kHead, kPiece, deadline);
    // The last picture wakes this thread (it does not spin beside the decoding one).
    while (pictures.load() < count && Clock::now() < deadline) WaitForSingleObject(lastPicture, 100);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool done = pictures.load() >= count;
    sdk.Stop(port);
    sdk.CloseStream(port);
    return done ? seconds : -1;
}

std::atomic<uint64_t> soundBytes{0};
uint64_t soundBytesWanted = 0;
HANDLE lastSound = CreateEventA(nullptr, FALSE, FALSE, nullptr);
int __stdcall CountSound(int, const unsigned char*, int size, int, int, unsigned, int kind, int, void*) {
    if (kind != KV_FRAME_SOUND) return 0;
    const uint64_t before = soundBytes.fetch_add(uint64_t(size));
    if (before < soundBytesWanted && before + uint64_t(size) >= soundBytesWanted) SetEvent(lastSound);
    return 0;
}

// Seconds from opening the file as a stream until `wanted` bytes of sound
// have been handed over, fed in pieces of 1 MiB; <0 on failure.
double SdkSoundSeconds(const Sdk& sdk, const std::vector<uint8_t>& file, uint64_t wanted) {
    constexpr size_t kPiece = 1 << 20;
    const vdtest::AviPieces pieces = vdtest::CutAvi(file);
    soundBytes = 0;
    soundBytesWanted = wanted;
    ResetEvent(lastSound);
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(120);
    int port = -1;
    if (pieces.headerLength == 0 || sdk.OpenStream(file.data(), int(pieces.headerLength), &port) != 0) return -1;
    sdk.Play(port, &CountSound, nullptr);
    FeedStream(sdk, port, file, pieces.headerLength, kPiece, deadline);
    while (soundBytes.load() < wanted && Clock::now() < deadline) WaitForSingleObject(lastSound, 100);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool done = soundBytes.load() >= wanted;
    if (!done)
        std::fprintf(stderr, "bench: %llu of %llu bytes of sound handed over\n", (unsigned long long)soundBytes.load(),
                     (unsigned long long)wanted);
    sdk.Stop(port);
    sdk.CloseStream(port);
    return done ? seconds : -1;
}

// ffmpeg's wall time for decoding a file's sound natively on one thread.
double FfmpegSoundSeconds(const std::string& hostClip) {
    const vdtest::HostResult r =
        vdtest::RunHostCommand("ffmpeg -hide_banner -nostdin -benchmark -threads 1 -i " + vdtest::ShellWord(hostClip) +
                                   " -map 0:a -f null - 2>&1 | sed -n 's/.*rtime=\\([0-9.]*\\)s.*/\\1/p'",
                               300000);
    if (!r.finished || r.exitCode != 0) return -1;
    return std::atof(r.output.c_str());
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
    const std::string command = "ffmpeg -hide_banner -nostdin -benchmark -threads " + std::to_string(threads) + " -i " +
                                vdtest::ShellWord(hostClip) + " -an -frames:v " + std::to_string(count) +
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

// A clip's bytes (read from Wine's side) and its pictures as ffprobe counts
// them; empty, and said, when the clip is missing or holds no picture.
std::vector<uint8_t> ReadClipAndCount(const std::string& hostClip, int* count) {
    std::ifstream in("Z:" + hostClip, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    *count = PictureCount(hostClip);
    if (file.empty() || *count <= 0) {
        std::fprintf(stderr, "bench: %s is missing\n", hostClip.c_str());
        return {};
    }
    return file;
}

constexpr int kMaxLivePictures = 1000;
std::atomic<int> livePictures{0};
Clock::time_point deliveredAt[kMaxLivePictures];
HANDLE pictureArrived = nullptr;  // the waiting side sleeps rather than spin on a shared machine
int __stdcall StampPicture(int, const unsigned char*, int, int, int, unsigned, int kind, int, void*) {
    if (kind != KV_FRAME_I420) return 0;
    const int n = livePictures.load();
    if (n < kMaxLivePictures) deliveredAt[n] = Clock::now();
    livePictures.store(n + 1);
    SetEvent(pictureArrived);
    return 0;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Median milliseconds from pushing a picture's last byte to its delivery;
// <0 on failure.
double LiveLatencyMs(const Sdk& sdk, const std::vector<uint8_t>& file, int* count) {
    const vdtest::AviPieces pieces = vdtest::CutAvi(file);
    int port = -1;
    if (pieces.headerLength == 0 || sdk.OpenStream(file.data(), int(pieces.headerLength), &port) != 0) return -1;
    livePictures = 0;
    if (!pictureArrived) pictureArrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    sdk.Play(port, &StampPicture, nullptr);
    std::vector<double> latencies;
    Clock::time_point due = Clock::now();
    int pushed = 0;
    bool ok = true;
    for (const vdtest::AviPieces::Chunk& chunk : pieces.chunks) {
        if (chunk.video) {
            // 25 pictures a second, as the camera sends them.
            while (Clock::now() < due) Sleep(1);
            due += std::chrono::milliseconds(40);
        }
        const Clock::time_point pushedAt = Clock::now();
        if (sdk.InputData(port, file.data() + chunk.offset, int(chunk.length)) != 0) ok = false;
        if (!chunk.video || !ok || pushed >= kMaxLivePictures) continue;
        ++pushed;
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
        while (livePictures.load() < pushed && Clock::now() < deadline) WaitForSingleObject(pictureArrived, 100);
        if (livePictures.load() < pushed) {
            ok = false;
            break;
        }
        latencies.push_back(Ms(deliveredAt[pushed - 1] - pushedAt));
    }
    sdk.Stop(port);
    sdk.CloseStream(port);
    *count = int(latencies.size());
    return ok && !latencies.empty() ? Median(latencies) : -1;
}

// Decodes the clip's video chunks with the SDK's own libavcodec DLLs (loaded
// directly, as the SDK loads them) on one thread, each chunk copied out with
// the decoder's padding beforehand. Paced: a picture every 40 ms, as a live
// stream comes, each picture's time kept; else as fast as it goes, the whole
// time kept. <0 on failure.
double LibAvDecode(const demoplay::LibAv& av, AVCodecID id, const std::vector<uint8_t>& file, bool paced,
                   std::vector<double>* perPicture) {
    std::vector<std::vector<uint8_t>> chunks;
    for (const vdtest::AviPieces::Chunk& chunk : vdtest::CutAvi(file).chunks) {
        if (!chunk.video || chunk.length <= 8) continue;
        chunks.emplace_back(file.begin() + ptrdiff_t(chunk.offset + 8),
                            file.begin() + ptrdiff_t(chunk.offset + chunk.length));
        chunks.back().resize(chunks.back().size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    }
    AVCodecContext* context = av.allocContext(av.findDecoder(id));
    AVPacket* packet = av.packetAlloc();
    AVFrame* frame = av.frameAlloc();
    if (!context || !packet || !frame) return -1;
    context->thread_count = 1;
    if (id == AV_CODEC_ID_MJPEG) {
        // As the SDK sets it up.
        context->idct_algo = FF_IDCT_SIMPLE;
        context->err_recognition |= AV_EF_EXPLODE;
        context->field_order = AV_FIELD_TT;
    }
    if (av.open(context, av.findDecoder(id), nullptr) < 0) return -1;
    int pictures = 0;
    Clock::time_point due = Clock::now();
    const Clock::time_point start = Clock::now();
    for (std::vector<uint8_t>& padded : chunks) {
        if (paced) {
            // At the pace the live stream is pushed, so that both find the
            // processor and its caches alike.
            while (Clock::now() < due) Sleep(1);
            due += std::chrono::milliseconds(40);
        }
        packet->data = padded.data();
        packet->size = int(padded.size() - AV_INPUT_BUFFER_PADDING_SIZE);
        const Clock::time_point sent = Clock::now();
        int out = 0;
        if (av.sendPacket(context, packet) >= 0) {
            while (av.receiveFrame(context, frame) >= 0) {
                ++out;
                av.frameUnref(frame);
            }
        }
        pictures += out;
        if (out && perPicture) perPicture->push_back(Ms(Clock::now() - sent));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    packet->data = nullptr;
    packet->size = 0;
    av.frameFree(&frame);
    av.packetFree(&packet);
    av.freeContext(&context);
    return pictures > 0 ? seconds : -1;
}

// Median milliseconds libavcodec takes for one picture of the clip on one
// thread, sending it and taking it out, a picture every 40 ms as the live
// stream comes; <0 on failure.
double DecodeMsPerPicture(const demoplay::LibAv& av, const std::vector<uint8_t>& file) {
    std::vector<double> times;
    if (LibAvDecode(av, AV_CODEC_ID_H264, file, true, &times) < 0 || times.empty()) return -1;
    return Median(times);
}

int DecodingThreads() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return int(std::max<DWORD>(1, std::min<DWORD>(info.dwNumberOfProcessors, 8)));
}

}  // namespace

int main(int argc, char** argv) {
    const bool soundOnly = argc > 1 && std::strcmp(argv[1], "sound") == 0;
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
    const std::shared_ptr<const demoplay::LibAv> libav = demoplay::AcquireLibAv();
    if (!soundOnly) {
        std::ifstream in("Z:" + hostDir + "/h264_cif.avi", std::ios::binary);
        const std::vector<uint8_t> cif((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int count = 0;
        const double latency = LiveLatencyMs(sdk, cif, &count);
        const double decode = libav ? DecodeMsPerPicture(*libav, cif) : -1;
        if (latency < 0 || decode <= 0) {
            std::fprintf(stderr, "bench: the CIF clip did not play live (%.3f ms) or decode (%.3f ms)\n", latency,
                         decode);
            status = 1;
        } else {
            std::printf("bench: h264_cif.avi live: %d pictures pushed at 25 a second\n", count);
            std::printf("ms live_latency_h264_cif %.3f\n", latency);
            std::printf("ms decode_h264_cif %.3f\n", decode);
            std::printf("ratio live_latency_vs_decode_h264_cif %.3f\n", latency / decode);
        }
        std::fflush(stdout);
    }
    const char* clips[] = {"h264_1080p.avi", "hevc_1080p.avi"};
    for (const char* clip : clips) {
        if (soundOnly) break;
        const std::string hostClip = hostDir + "/" + clip;
        int count = 0;
        const std::vector<uint8_t> file = ReadClipAndCount(hostClip, &count);
        if (file.empty()) return 1;
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
        if (h264)
            std::printf(", ffmpeg -threads 1 %.3f s, ffmpeg -threads %d %.3f s", Median(peer), DecodingThreads(),
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

    // Motion-JPEG (4:2:0 handed over as YV12, 4:2:2 as YUY2) and raw I420:
    // every picture comes out as soon as its chunk is in.
    for (const char* clip : {"mjpeg_1080p.avi", "mjpeg422_1080p.avi", "i420_1080p.avi"}) {
        if (soundOnly) break;
        const std::string hostClip = hostDir + "/" + clip;
        int count = 0;
        const std::vector<uint8_t> file = ReadClipAndCount(hostClip, &count);
        if (file.empty()) return 1;
        const std::string name = std::string(clip).substr(0, std::string(clip).find('_'));
        const bool mjpeg = name != "i420";
        const size_t pictureBytes = size_t(1920) * 1080 * 3 / 2;
        std::vector<double> ours, peer, decodeOnly;
        // Raw pictures take a few milliseconds in all: more runs steady the median.
        for (int run = 0; run < (mjpeg ? kRuns : 3 * kRuns); ++run) {
            ours.push_back(SdkFedSeconds(sdk, file, count));
            peer.push_back(mjpeg ? FfmpegSeconds(hostClip, count, 1) : MemcpySeconds(file, count, pictureBytes));
            if (mjpeg) decodeOnly.push_back(libav ? LibAvDecode(*libav, AV_CODEC_ID_MJPEG, file, false, nullptr) : -1);
        }
        const double sdkTime = Median(ours), peerTime = Median(peer);
        if (sdkTime <= 0 || peerTime <= 0) {
            std::fprintf(stderr, "bench: %s was not decoded\n", clip);
            status = 1;
            continue;
        }
        const std::string sdkName = mjpeg ? "sdk_" + name + "_1080p" : "sdk_raw_1080p";
        std::printf("bench: %s: %d pictures, DemoPlay.dll %.3f s (one decoding thread), %s %.3f s\n", clip, count,
                    sdkTime, mjpeg ? "ffmpeg -threads 1" : "memcpy", peerTime);
        std::printf("ratio %s_vs_%s %.3f\n", sdkName.c_str(), mjpeg ? "ffmpeg" : "memcpy", sdkTime / peerTime);
        std::printf("fps %s %.1f\n", sdkName.c_str(), count / sdkTime);
        if (mjpeg && Median(decodeOnly) > 0) {
            // What the SDK adds to libavcodec's own decoding: reading the stream,
            // studio range and layout, the callback.
            std::printf("ms decode_%s_1080p %.3f\n", name.c_str(), Median(decodeOnly) * 1000 / count);
            std::printf("ratio %s_vs_libavcodec %.3f\n", sdkName.c_str(), sdkTime / Median(decodeOnly));
        }
        std::fflush(stdout);
    }

    // Cameras' sound: about ten minutes of each codec, all of it handed over
    // (but for the last few samples, which the resampler's window holds).
    const struct {
        const char* clip;
        const char* name;
    } sounds[] = {{"sound_pcm_alaw.avi", "alaw"},
                  {"sound_pcm_mulaw.avi", "mulaw"},
                  {"sound_adpcm_ima_wav.avi", "adpcm"},
                  {"sound_aac.avi", "aac"}};
    for (const auto& s : sounds) {
        const std::string hostClip = hostDir + "/" + s.clip;
        std::ifstream in("Z:" + hostClip, std::ios::binary);
        const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (file.empty()) {
            std::fprintf(stderr, "bench: %s is missing\n", hostClip.c_str());
            return 1;
        }
        // All but the last few samples, as ffmpeg counts the sound at 16 kHz.
        const vdtest::HostResult length =
            vdtest::RunHostCommand("ffmpeg -nostdin -v error -i " + vdtest::ShellWord(hostClip) +
                                       " -map 0:a -ac 1 -ar 16000 -f s16le - | wc -c",
                                   300000);
        const uint64_t decodedBytes = length.finished && length.exitCode == 0 ? std::atoll(length.output.c_str()) : 0;
        if (decodedBytes < 64000) {
            std::fprintf(stderr, "bench: ffmpeg does not decode the sound of %s\n", s.clip);
            status = 1;
            continue;
        }
        const uint64_t wanted = decodedBytes - 2000;
        std::vector<double> ours, peer;
        for (int run = 0; run < kRuns; ++run) {
            ours.push_back(SdkSoundSeconds(sdk, file, wanted));
            peer.push_back(FfmpegSoundSeconds(hostClip));
        }
        const double sdkTime = Median(ours), peerTime = Median(peer);
        if (sdkTime <= 0 || peerTime <= 0) {
            std::fprintf(stderr, "bench: the sound of %s was not decoded (SDK %.3f s, ffmpeg %.3f s)\n", s.clip,
                         sdkTime, peerTime);
            status = 1;
            continue;
        }
        const double soundSeconds = double(decodedBytes) / 32000;
        std::printf("bench: %s: %.1f s of sound, DemoPlay.dll %.3f s, ffmpeg -threads 1 %.3f s\n", s.clip, soundSeconds,
                    sdkTime, peerTime);
        std::printf("ratio sdk_sound_%s_vs_ffmpeg %.3f\n", s.name, sdkTime / peerTime);
        std::printf("ms sdk_sound_%s_per_second %.4f\n", s.name, sdkTime * 1000 / soundSeconds);
        std::fflush(stdout);
    }
    return status;
}
