// vdplay as a user runs it: a child process with its exit code, its one-line
// message and its summary line; the pictures it saved checked for the test
// pattern. The playback cases need a display (tests/client/with_display.sh
// gives them one).
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <Orvane/VideoDecoderPlugin.h>

#include "common/child_process.h"
#include "common/codec_clips.h"
#include "common/plugin_fixture.h"
#include "common/rtsp_camera.h"
#include "core/avi_parser.h"
#include "player/exit_codes.h"
#include "sample/sample_recording.h"
#include "sample/test_pattern.h"
#include "vdplay/output_traces.h"

namespace {

using vdtest::ChildResult;
using vdtest::ScratchDirectory;

constexpr unsigned long kDeadlineMs = 90000;

std::string Bin(const std::string& name) { return vdtest::BinaryDirectory() + "\\" + name; }
std::string In(const ScratchDirectory& dir, const std::string& name) { return dir.path() + "\\" + name; }

ChildResult Vdplay(const std::vector<std::string>& args, const std::string& cwd = "") {
    return vdtest::RunChild(Bin("vdplay.exe"), args, kDeadlineMs, cwd);
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool ReadBytes(const std::string& path, std::vector<unsigned char>* bytes) {
    bytes->clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes->insert(bytes->end(), block, block + n);
    std::fclose(f);
    return true;
}

std::string SummaryOf(const ChildResult& r) {
    for (const std::string& line : vdtest::Lines(r.out))
        if (line.rfind("vdplay summary:", 0) == 0) return line;
    return "";
}

// The value of key=value in the summary line ("" when absent).
std::string Field(const std::string& summary, const std::string& key) {
    const std::string needle = " " + key + "=";
    const size_t at = summary.find(needle);
    if (at == std::string::npos) return "";
    const size_t start = at + needle.size();
    return summary.substr(start, summary.find(' ', start) - start);
}

vdsample::RecordingPlan SmallPlan() {
    vdsample::RecordingPlan plan;
    plan.width = 320;
    plan.height = 240;
    plan.seconds = 4;
    plan.format = vdsample::PictureFormat::kYv12;
    return plan;
}

std::string WriteSample(const ScratchDirectory& dir, const std::string& name,
                        const vdsample::RecordingPlan& plan = SmallPlan()) {
    vdsample::WrittenFiles written;
    const std::string path = In(dir, name);
    EXPECT_EQ(vdsample::WriteRecording(path, plan, &written), "");
    return path;
}

// ---------------------------------------------------------------------------
// Every failure gives one message, its own exit code and the summary line.

struct FailureCase {
    const char* name;
    int exitCode;
    const char* message;  // a part of the one error line
};

class Failures : public ::testing::Test {
protected:
    ScratchDirectory dir;
};

void ExpectFailure(const ChildResult& r, const FailureCase& c) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(r.started);
    ASSERT_FALSE(r.timedOut) << r.out << r.err;
    EXPECT_EQ(int(r.exitCode), c.exitCode) << r.out << r.err;
    std::vector<std::string> errors;
    for (const std::string& line : vdtest::Lines(r.err))
        if (line.rfind("vdplay: error: ", 0) == 0) errors.push_back(line);
    ASSERT_EQ(errors.size(), 1u) << r.err;
    EXPECT_NE(errors[0].find(c.message), std::string::npos) << errors[0];
    if (c.exitCode != vdplay::kExitUsage) {
        const std::string summary = SummaryOf(r);
        EXPECT_EQ(Field(summary, "exit"), std::to_string(c.exitCode)) << r.out;
        EXPECT_EQ(Field(summary, "result"), vdplay::ExitCodeName(c.exitCode)) << r.out;
    }
}

// The plug-in's traces of its video outputs, caught in vdplay's own process
// from any thread, while every other trace passes by untouched.
TEST(OutputTraces, CaughtFromAnyThreadOncePerChange) {
    vdplay::OutputTraces traces;
    ASSERT_TRUE(traces.Start());
    vdplay::OutputTraces second;
    EXPECT_FALSE(second.Start()) << "one catcher per process";
    OutputDebugStringA("begin draw video\n");
    std::thread display([] { OutputDebugStringA("video output: port=4 output=drawdib reason=cheaper\n"); });
    display.join();
    OutputDebugStringA("video output: port=4 output=drawdib reason=cheaper\n");
    OutputDebugStringA("video output: port=7 output=ddraw reason=format\n");
    OutputDebugStringA("video output: port=4 output=ddraw reason=forced\n");
    const std::vector<vdplay::OutputTrace> fresh = traces.TakeNew();
    ASSERT_EQ(fresh.size(), 3u);
    EXPECT_EQ(vdplay::OutputTraceLine(fresh[0]), "port 4 video output drawdib (cheaper)");
    EXPECT_EQ(vdplay::OutputTraceLine(fresh[1]), "port 7 video output ddraw (format)");
    EXPECT_EQ(vdplay::OutputTraceLine(fresh[2]), "port 4 video output ddraw (forced)");
    EXPECT_TRUE(traces.TakeNew().empty());
    EXPECT_EQ(traces.OutputOf(4), "ddraw");
    EXPECT_EQ(traces.OutputOf(5), "");
    traces.Stop();
    OutputDebugStringA("video output: port=9 output=ddraw reason=forced\n");
    EXPECT_EQ(traces.OutputOf(9), "");
    EXPECT_TRUE(second.Start()) << "free again once stopped";
}

TEST_F(Failures, EachHasItsMessageAndExitCode) {
    const std::string sampleFile = WriteSample(dir, "sample.avi");
    // A plug-in without its SDK beside it.
    ScratchDirectory alone;
    alone.Install("VD2_DemoPlay.dll", "VD2_DemoPlay.dll");
    ASSERT_TRUE(WriteBytes(In(dir, "notes.avi"), {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'}));
    // An AVI header with no picture data after it.
    std::vector<unsigned char> headerOnly = {'R', 'I', 'F', 'F', 4,   0,   0, 0, 'A', 'V',
                                             'I', ' ', 'J', 'U', 'N', 'K', 0, 0, 0,   0};
    ASSERT_TRUE(WriteBytes(In(dir, "header.avi"), headerOnly));

    struct Row {
        FailureCase expect;
        std::vector<std::string> args;
    } rows[] = {
        {{"no file", vdplay::kExitUsage, "no file given"}, {}},
        {{"bad option", vdplay::kExitUsage, "--ports wants"}, {sampleFile, "--ports", "99"}},
        {{"missing plug-in", vdplay::kExitNoPlugin, "no plug-in at"},
         {sampleFile, "--plugin", In(dir, "VD2_Missing.dll")}},
        {{"not a plug-in", vdplay::kExitNotAPlugin, "is not a decoder plug-in"},
         {sampleFile, "--plugin", Bin("DemoPlay.dll")}},
        {{"missing SDK", vdplay::kExitNoSdk, "play SDK is missing"},
         {sampleFile, "--plugin", In(alone, "VD2_DemoPlay.dll")}},
        {{"missing file", vdplay::kExitUnreadableFile, "cannot read"}, {In(dir, "nothing.avi")}},
        {{"a directory", vdplay::kExitUnreadableFile, "it is a directory"}, {dir.path()}},
        {{"not a recording", vdplay::kExitUnsupportedFile, "is not a recording this plug-in plays"},
         {In(dir, "notes.avi")}},
        {{"stream without pictures", vdplay::kExitUnsupportedFile, "cannot be fed as a stream"},
         {In(dir, "header.avi"), "--stream"}},
    };
    for (const Row& row : rows) ExpectFailure(Vdplay(row.args), row.expect);
}

// ---------------------------------------------------------------------------
// Playback through the plug-in, as file and as live stream.

// The plug-in answers E_NOTIMPL for OpenFile until its playback is built.
bool PluginOpensFiles(const std::string& file, std::string* why) {
    vdtest::Plugin plugin(Bin("VD2_DemoPlay.dll"));
    bool opens = false;
    if (auto* decoder = plugin.loaded() ? plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M") : nullptr) {
        if (decoder->Initialize(0) == 0) {
            int port = -1;
            const int result = decoder->OpenFile(file.c_str(), &port);
            opens = result != int(0x80004001u);
            if (result == 0) decoder->CloseFile(port);
            decoder->Release();
        }
        plugin.ReleaseObject(decoder);
    }
    if (!opens) *why = "the plug-in answers E_NOTIMPL for OpenFile: playback is not built yet";
    return opens;
}

struct Bitmap {
    int width = 0, height = 0, bits = 0;
    std::vector<unsigned char> bytes;
    size_t pixels = 0;  // offset of the pixel rows
    // Red, green, blue at (x, y), y counted from the top.
    vdsample::Rgb At(int x, int y) const {
        const int bytesPerPixel = bits / 8;
        const size_t stride = (size_t(width) * size_t(bytesPerPixel) + 3) & ~size_t(3);
        const unsigned char* p = &bytes[pixels + size_t(height - 1 - y) * stride + size_t(x) * size_t(bytesPerPixel)];
        return vdsample::Rgb{p[2], p[1], p[0]};
    }
};

bool ReadBitmap(const std::string& path, Bitmap* out) {
    if (!ReadBytes(path, &out->bytes) || out->bytes.size() < 54) return false;
    const unsigned char* b = out->bytes.data();
    if (b[0] != 'B' || b[1] != 'M') return false;
    auto le32 = [&](size_t at) {
        return int(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (unsigned(b[at + 3]) << 24));
    };
    out->pixels = size_t(le32(10));
    out->width = le32(18);
    out->height = le32(22);
    out->bits = b[28] | (b[29] << 8);
    const size_t stride = (size_t(out->width) * size_t(out->bits / 8) + 3) & ~size_t(3);
    return out->width > 0 && out->height > 0 && (out->bits == 24 || out->bits == 32) &&
           out->bytes.size() >= out->pixels + stride * size_t(out->height);
}

// The colour bars of the test pattern, scaled to the bitmap's size.
void ExpectBars(const Bitmap& bmp, int pictureWidth, int pictureHeight, int tolerance) {
    for (int bar = 0; bar < vdsample::kBarCount; ++bar) {
        const vdsample::Rect r = vdsample::BarRect(pictureWidth, pictureHeight, bar);
        const int x = (r.left + r.right) / 2 * bmp.width / pictureWidth;
        const int y = (r.top + r.bottom) / 2 * bmp.height / pictureHeight;
        const vdsample::Rgb got = bmp.At(x, y), want = vdsample::BarColour(bar);
        EXPECT_NEAR(got.r, want.r, tolerance) << "bar " << bar;
        EXPECT_NEAR(got.g, want.g, tolerance) << "bar " << bar;
        EXPECT_NEAR(got.b, want.b, tolerance) << "bar " << bar;
    }
}

// The overlay's box around the moving square: green lines whose bounds
// enclose the square, in the band below the bars.
void ExpectBoxAroundSquare(const Bitmap& bmp) {
    const int bandTop = vdsample::BarRect(bmp.width, bmp.height, 0).bottom;
    int greenLeft = bmp.width, greenRight = -1, greenTop = bmp.height, greenBottom = -1;
    int whiteLeft = bmp.width, whiteRight = -1, whiteTop = bmp.height, whiteBottom = -1;
    for (int y = bandTop; y < bmp.height; ++y) {
        for (int x = 0; x < bmp.width; ++x) {
            const vdsample::Rgb c = bmp.At(x, y);
            if (c.g > 220 && c.r < 80 && c.b < 80) {
                greenLeft = std::min(greenLeft, x), greenRight = std::max(greenRight, x);
                greenTop = std::min(greenTop, y), greenBottom = std::max(greenBottom, y);
            } else if (c.r > 200 && c.g > 200 && c.b > 200 && y < bmp.height * 7 / 8) {  // not the clock
                whiteLeft = std::min(whiteLeft, x), whiteRight = std::max(whiteRight, x);
                whiteTop = std::min(whiteTop, y), whiteBottom = std::max(whiteBottom, y);
            }
        }
    }
    ASSERT_GE(greenRight, 0) << "no overlay box on the screen";
    ASSERT_GE(whiteRight, 0) << "no square on the screen";
    // At the turns the square touches a side, and that side of the box lies
    // outside the picture.
    if (whiteLeft > 0) {
        EXPECT_LT(greenLeft, whiteLeft);
    }
    if (whiteRight < bmp.width - 1) {
        EXPECT_GT(greenRight, whiteRight);
    }
    EXPECT_LT(greenTop, whiteTop);
    EXPECT_GT(greenBottom, whiteBottom);
}

class Playback : public ::testing::Test {
protected:
    void SetUp() override {
        file = WriteSample(dir, "sample.avi");
        std::string why;
        if (!PluginOpensFiles(file, &why)) GTEST_SKIP() << why;
    }

    // Runs vdplay and checks what every successful run shows.
    std::string PlayOk(std::vector<std::string> args) {
        ChildResult r = Vdplay(args, dir.path());
        EXPECT_TRUE(r.started);
        EXPECT_FALSE(r.timedOut) << r.out << r.err;
        EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
        EXPECT_EQ(r.err.find("vdplay: error:"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("catalogue Name = CVideoDecoderDemoPlay"), std::string::npos) << r.out;
        const std::string summary = SummaryOf(r);
        EXPECT_EQ(Field(summary, "result"), "ok") << r.out;
        EXPECT_GT(std::atoi(Field(summary, "pictures").c_str()), 0) << summary;
        EXPECT_EQ(Field(summary, "size"), "320x240") << summary;
        return summary;
    }

    ScratchDirectory dir;
    std::string file;
};

TEST_F(Playback, FileShowsTheTestPattern) {
    const std::string summary = PlayOk(
        {file, "--seconds", "2", "--no-sound", "--snapshot", In(dir, "snap.bmp"), "--screenshot", In(dir, "shot.bmp")});
    EXPECT_EQ(Field(summary, "mode"), "file");
    EXPECT_EQ(Field(summary, "length_s"), "4");
    Bitmap snap;
    ASSERT_TRUE(ReadBitmap(In(dir, "snap.bmp"), &snap));
    EXPECT_EQ(snap.width, 320);
    EXPECT_EQ(snap.height, 240);
    EXPECT_EQ(snap.bits, 32);
    EXPECT_EQ(Field(summary, "snapshot_bytes"), std::to_string(54 + 4 * 320 * 240));
    ExpectBars(snap, 320, 240, 12);
    Bitmap shot;
    ASSERT_TRUE(ReadBitmap(In(dir, "shot.bmp"), &shot));
    ExpectBars(shot, 320, 240, 40);
    ExpectBoxAroundSquare(shot);
}

TEST_F(Playback, StreamShowsTheTestPattern) {
    const std::string summary =
        PlayOk({file, "--stream", "--seconds", "2", "--no-sound", "--snapshot", In(dir, "snap.bmp")});
    EXPECT_EQ(Field(summary, "mode"), "stream");
    Bitmap snap;
    ASSERT_TRUE(ReadBitmap(In(dir, "snap.bmp"), &snap));
    EXPECT_EQ(snap.width, 320);
    ExpectBars(snap, 320, 240, 12);
}

TEST_F(Playback, ShortFileEndsByItself) {
    vdsample::RecordingPlan plan = SmallPlan();
    plan.seconds = 1;
    const std::string shortFile = WriteSample(dir, "short.avi", plan);
    ChildResult r = Vdplay({shortFile, "--no-sound"}, dir.path());
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
    EXPECT_NE(r.out.find("reached the end of"), std::string::npos) << r.out;
    EXPECT_EQ(Field(SummaryOf(r), "pictures"), "25") << r.out;
}

TEST_F(Playback, CameraWallPlaysEveryPort) {
    const std::string summary = PlayOk({file, "--ports", "4", "--seconds", "2", "--no-sound"});
    EXPECT_EQ(Field(summary, "ports"), "4");
    EXPECT_GE(std::atoi(Field(summary, "pictures").c_str()), 4);
}

TEST_F(Playback, RecordingIsAnAviWithThePictures) {
    const std::string summary = PlayOk({file, "--seconds", "2", "--no-sound", "--record", In(dir, "rec.avi")});
    EXPECT_NE(Field(summary, "record_bytes"), "-");
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadBytes(In(dir, "rec.avi"), &bytes));
    demoplay::MemorySource source(bytes.data(), bytes.size());
    demoplay::AviFileInfo info;
    ASSERT_EQ(demoplay::ParseAviFile(source, &info), demoplay::AviStatus::kOk);
    EXPECT_GT(info.videoChunks.size(), 0u);
    EXPECT_EQ(info.headers.video.width, 320);
}

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindWall(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[32] = {};
    GetClassNameA(window, name, sizeof name);
    if (process == search->process && std::string(name) == "VdplayWall") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWall(DWORD process, DWORD deadlineMs) {
    const ULONGLONG until = GetTickCount64() + deadlineMs;
    do {
        WindowSearch search{process, nullptr};
        EnumWindows(&FindWall, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(50);
    } while (GetTickCount64() < until);
    return nullptr;
}

std::string TitleOf(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Waits until the title does (or does not) contain `part`.
bool WaitForTitle(HWND window, const std::string& part, bool present = true, DWORD deadlineMs = 20000) {
    const ULONGLONG until = GetTickCount64() + deadlineMs;
    do {
        if ((TitleOf(window).find(part) != std::string::npos) == present) return true;
        Sleep(50);
    } while (GetTickCount64() < until);
    return false;
}

TEST_F(Playback, KeysPauseChangeSpeedSnapshotAndQuit) {
    vdsample::RecordingPlan plan = SmallPlan();
    plan.format = vdsample::PictureFormat::kMjpeg;
    plan.seconds = 60;
    const std::string longFile = WriteSample(dir, "long.avi", plan);
    vdtest::Child child;
    ASSERT_TRUE(child.Start(Bin("vdplay.exe"), {longFile, "--no-sound"}, dir.path()));
    HWND wall = WaitForWall(child.processId(), 30000);
    ASSERT_NE(wall, nullptr);
    // The position has reached a second: pictures have been drawn.
    ASSERT_TRUE(WaitForTitle(wall, "00:01 / 01:00 - 320x240", true, 60000)) << TitleOf(wall);
    PostMessageA(wall, WM_CHAR, ' ', 0);
    EXPECT_TRUE(WaitForTitle(wall, "paused")) << TitleOf(wall);
    PostMessageA(wall, WM_CHAR, 's', 0);
    const std::string snapshot = In(dir, "vdplay-snapshot-1.bmp");
    const ULONGLONG until = GetTickCount64() + 20000;
    while (GetFileAttributesA(snapshot.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount64() < until) Sleep(50);
    Bitmap bmp;
    EXPECT_TRUE(ReadBitmap(snapshot, &bmp));
    PostMessageA(wall, WM_CHAR, ' ', 0);
    EXPECT_TRUE(WaitForTitle(wall, "paused", false)) << TitleOf(wall);
    PostMessageA(wall, WM_CHAR, '+', 0);
    EXPECT_TRUE(WaitForTitle(wall, "speed x2")) << TitleOf(wall);
    PostMessageA(wall, WM_CHAR, 'q', 0);
    ChildResult r = child.Wait(kDeadlineMs);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
    const std::vector<std::string> lines = vdtest::Lines(r.out);
    auto said = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(said("vdplay: paused")) << r.out;
    EXPECT_TRUE(said("vdplay: snapshot vdplay-snapshot-1.bmp")) << r.out;
    EXPECT_TRUE(said("vdplay: speed exponent 1")) << r.out;
    EXPECT_EQ(Field(SummaryOf(r), "result"), "ok") << r.out;
}

TEST_F(Playback, DamagedRecordingIsUnsupported) {
    // Passes the catalogue's check (RIFF....AVI ) but has no header list.
    std::vector<unsigned char> bytes = {'R', 'I', 'F', 'F', 20, 0, 0, 0, 'A', 'V', 'I', ' ',
                                        'L', 'I', 'S', 'T', 4,  0, 0, 0, 'm', 'o', 'v', 'i'};
    ASSERT_TRUE(WriteBytes(In(dir, "damaged.avi"), bytes));
    ExpectFailure(Vdplay({In(dir, "damaged.avi"), "--no-sound"}),
                  {"damaged recording", vdplay::kExitUnsupportedFile, "is not playable"});
}

// ---------------------------------------------------------------------------
// A camera on the network: vdplay connects to a TCP port the test listens on
// (or listens for the test's datagrams), and plays what comes live.

using Bytes = std::vector<uint8_t>;

bool SendAll(SOCKET s, const uint8_t* data, size_t size) {
    while (size > 0) {
        const int n = send(s, reinterpret_cast<const char*>(data), int(std::min<size_t>(size, 1 << 16)), 0);
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// A camera on 127.0.0.1 run by the test: it accepts connections one after
// the other and plays one script on each (then closes it); a script returns
// early once the camera is asked to stop.
class LoopbackCamera {
public:
    using Script = std::function<void(SOCKET, LoopbackCamera&)>;

    explicit LoopbackCamera(std::vector<Script> scripts) : scripts_(std::move(scripts)) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listener_, 4) == 0 &&
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            port_ = ntohs(a.sin_port);
        thread_ = CreateThread(nullptr, 0, &LoopbackCamera::Main, this, 0, nullptr);
    }
    ~LoopbackCamera() {
        stop_ = true;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        closesocket(listener_);
        WSACleanup();
    }
    std::string url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    bool stopping() const { return stop_.load(); }
    // Waits `ms` unless the camera is stopping.
    void Hold(DWORD ms) {
        for (const ULONGLONG until = GetTickCount64() + ms; !stop_ && GetTickCount64() < until;) Sleep(10);
    }
    // Sends `bytes` in pieces of `piece` bytes, `pauseMs` apart, as a camera does.
    bool Send(SOCKET s, const Bytes& bytes, size_t piece = 4096, DWORD pauseMs = 5) {
        for (size_t at = 0; at < bytes.size() && !stop_; at += piece) {
            if (!SendAll(s, &bytes[at], std::min(piece, bytes.size() - at))) return false;
            if (pauseMs) Sleep(pauseMs);
        }
        return !stop_;
    }

private:
    static DWORD WINAPI Main(void* self) {
        auto* camera = static_cast<LoopbackCamera*>(self);
        for (Script& script : camera->scripts_) {
            SOCKET s = INVALID_SOCKET;
            while (!camera->stop_ && s == INVALID_SOCKET) {
                fd_set readable;
                FD_ZERO(&readable);
                FD_SET(camera->listener_, &readable);
                timeval wait = {0, 50000};
                if (select(0, &readable, nullptr, nullptr, &wait) > 0) s = accept(camera->listener_, nullptr, nullptr);
            }
            if (s == INVALID_SOCKET) break;
            script(s, *camera);
            closesocket(s);
        }
        return 0;
    }

    std::vector<Script> scripts_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
};

Bytes Garbage(size_t size, uint32_t seed) {
    Bytes b(size);
    for (uint8_t& x : b) {
        seed = seed * 1664525u + 1013904223u;
        x = uint8_t(seed >> 24);
    }
    return b;
}

class Live : public ::testing::Test {
protected:
    void SetUp() override {
        clip = vdtest::ReadClip("h264.h264");  // 30 pictures of 320x240, a key picture every 10
        ASSERT_FALSE(clip.empty()) << "no clip at " << vdtest::ClipPath("h264.h264");
    }
    Bytes Clips(int times) const {
        Bytes b;
        for (int i = 0; i < times; ++i) b.insert(b.end(), clip.begin(), clip.end());
        return b;
    }
    int Pictures(const ChildResult& r) { return std::atoi(Field(SummaryOf(r), "pictures").c_str()); }

    ScratchDirectory dir;
    Bytes clip;
};

TEST_F(Live, FailingConnectionsHaveTheirMessageAndExitCode) {
    LoopbackCamera quiet({[](SOCKET, LoopbackCamera& c) { c.Hold(20000); }});
    LoopbackCamera fewBytes({[](SOCKET s, LoopbackCamera& c) {
        SendAll(s, reinterpret_cast<const uint8_t*>("\0\0\0"), 3);
        c.Hold(20000);
    }});
    LoopbackCamera closes({[](SOCKET, LoopbackCamera&) {}});
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(vdtest::FreeLocalPort(SOCK_STREAM));
    struct Row {
        FailureCase expect;
        std::vector<std::string> args;
    } rows[] = {
        {{"refused", vdplay::kExitNoConnection, "connection refused"}, {refused}},
        {{"silent", vdplay::kExitSilent, "sent nothing for 5 s"}, {quiet.url()}},
        {{"silent after a few bytes", vdplay::kExitSilent, "sent 3 bytes, then nothing for 5 s"}, {fewBytes.url()}},
        {{"closed at once", vdplay::kExitConnectionLost, "closed the connection after 0 bytes"}, {closes.url()}},
        {{"no port", vdplay::kExitUsage, "wants HOST:PORT"}, {"tcp://127.0.0.1"}},
        {{"no such host", vdplay::kExitNoConnection, "cannot find the host"}, {"tcp://no-such-host.invalid:5000"}},
        // Tried again for as long as the run may last, then given up.
        {{"refused, tried again", vdplay::kExitNoConnection, "connection refused"},
         {refused, "--reconnect", "--seconds", "2"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.push_back("--no-sound");
        ExpectFailure(Vdplay(args, dir.path()), row.expect);
    }
}

// Damage of every kind, then the stream as it should be: the pictures after
// it are shown again, and vdplay ends with the connection.
TEST_F(Live, PicturesAgainAfterACutPictureGarbageAndABurst) {
    const size_t cut = clip.size() * 3 / 5;  // mid-picture
    LoopbackCamera camera({[&](SOCKET s, LoopbackCamera& c) {
        c.Send(s, Clips(1)) && c.Send(s, Bytes(clip.begin(), clip.begin() + ptrdiff_t(cut))) &&
            c.Send(s, Garbage(256 * 1024, 1)) &&
            c.Send(s, Garbage(64 << 20, 2), 1 << 16, 0) &&  // beyond all the SDK holds, as fast as it goes
            c.Send(s, Clips(3));
        c.Hold(2000);
    }});
    const ChildResult r = Vdplay({camera.url(), "--no-sound", "--seconds", "60"}, dir.path());
    ExpectFailure(r, {"the camera closes", vdplay::kExitConnectionLost, "closed the connection after"});
    EXPECT_EQ(Field(SummaryOf(r), "mode"), "live");
    EXPECT_EQ(Field(SummaryOf(r), "size"), "320x240") << r.out;
    // Whatever the first clip and its cut copy gave, no more than 60 pictures;
    // the three clips after the damage give the rest.
    EXPECT_GT(Pictures(r), 60 + 20) << r.out;
}

// An AVI camera that drops the connection and comes back: its new headers
// are not given to the ports again, and its pictures play on, on two ports.
TEST_F(Live, ReconnectsAndPlaysOn) {
    vdsample::RecordingPlan plan = SmallPlan();
    plan.seconds = 2;  // 50 pictures
    Bytes avi;
    ASSERT_TRUE(ReadBytes(WriteSample(dir, "camera.avi", plan), &avi));
    LoopbackCamera camera({[&](SOCKET s, LoopbackCamera& c) {
                               c.Send(s, avi, 65536, 20);
                               c.Hold(1000);
                           },
                           [&](SOCKET s, LoopbackCamera& c) {
                               c.Send(s, avi, 65536, 20);
                               c.Hold(60000);
                           }});
    const ChildResult r =
        Vdplay({camera.url(), "--reconnect", "--seconds", "10", "--ports", "2", "--no-sound"}, dir.path());
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
    EXPECT_NE(r.out.find("vdplay: " + camera.url() + " closed the connection after"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("vdplay: connected to " + camera.url() + " again"), std::string::npos) << r.out;
    EXPECT_EQ(Field(SummaryOf(r), "ports"), "2");
    // Two ports, 50 pictures each from the first connection: more than 100 in
    // all means pictures of the second connection were shown.
    EXPECT_GT(Pictures(r), 100 + 20) << r.out;
}

// The number in "... N decoded (M with a picture code) ..." of the live
// report: pictures whose number the camera wrote into them was read back.
int CodedPictures(const ChildResult& r) {
    const size_t at = r.out.find(" decoded (");
    return at == std::string::npos ? -1 : std::atoi(r.out.c_str() + at + 10);
}

// The camera's pattern: 352x288 with its picture numbers and its tone.
std::string WriteCameraPattern(const ScratchDirectory& dir) {
    vdsample::RecordingPlan plan;
    plan.width = 352;
    plan.height = 288;
    plan.seconds = 4;
    plan.format = vdsample::PictureFormat::kI420;
    return WriteSample(dir, "camera-pattern.avi", plan);
}

// Sends `stream` to 127.0.0.1:port in datagrams, as a camera does.
void SendDatagrams(int port, const Bytes& stream) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(u_short(port));
    for (size_t at = 0; at < stream.size(); at += 1400) {
        sendto(s, reinterpret_cast<const char*>(&stream[at]), int(std::min<size_t>(1400, stream.size() - at)), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
        Sleep(1);
    }
    closesocket(s);
    WSACleanup();
}

// A camera that falls silent or drops and comes back is shown again, and
// the run ends well: the stall check counts from the new connection, a UDP
// camera is listened for anew, and an AVI camera that drops mid-chunk has
// its ports opened again. The camera resumes mid-way between key pictures,
// as real ones do.
TEST_F(Live, CamerasThatComeBackAreShownAgain) {
    vdsample::RecordingPlan plan = SmallPlan();
    plan.seconds = 2;  // 50 pictures
    Bytes avi;
    ASSERT_TRUE(ReadBytes(WriteSample(dir, "camera.avi", plan), &avi));
    demoplay::MemorySource aviSource(avi.data(), avi.size());
    demoplay::AviFileInfo aviInfo;
    ASSERT_EQ(demoplay::ParseAviFile(aviSource, &aviInfo), demoplay::AviStatus::kOk);
    ASSERT_EQ(aviInfo.videoChunks.size(), 50u);
    const demoplay::ChunkRef& middle = aviInfo.videoChunks[25];
    const size_t aviCut = size_t(middle.offset + middle.size * 6 / 10);
    const Bytes midGop(clip.begin() + ptrdiff_t(clip.size() / 2), clip.end());  // from the middle of a clip

    // Sends again and again once the camera is back: vdplay's tries made
    // while it was away wait in the listening queue, already given up.
    auto resumes = [](const Bytes& first, const Bytes& then) {
        std::vector<LoopbackCamera::Script> scripts;
        for (int i = 0; i < 4; ++i)
            scripts.push_back([first, then](SOCKET s, LoopbackCamera& c) {
                if (c.Send(s, first) && c.Send(s, then)) c.Hold(60000);
            });
        return scripts;
    };
    struct Row {
        const char* name;
        std::vector<LoopbackCamera::Script> scripts;  // tcp://: the camera's connections
        bool udp;
        int before;  // pictures before the gap, on every port
        std::vector<std::string> args;
    };
    std::vector<Row> rows;
    {
        std::vector<LoopbackCamera::Script> scripts = {[&](SOCKET s, LoopbackCamera& c) {
            if (c.Send(s, Clips(2))) c.Hold(12000);  // silent for 12 s, connected
        }};
        for (auto& r : resumes(midGop, Clips(3))) scripts.push_back(std::move(r));
        rows.push_back({"TCP camera silent 12 s", std::move(scripts), false, 60, {"--seconds", "24"}});
    }
    rows.push_back({"UDP camera silent 12 s", {}, true, 60, {"--seconds", "24"}});
    {
        std::vector<LoopbackCamera::Script> scripts = {[&](SOCKET s, LoopbackCamera& c) {
            c.Send(s, Bytes(avi.begin(), avi.begin() + ptrdiff_t(aviCut)), 65536, 20);
        }};
        for (auto& r : resumes(avi, Bytes())) scripts.push_back(std::move(r));
        rows.push_back({"AVI camera dropped at 60 % of a chunk",
                        std::move(scripts),
                        false,
                        25,
                        {"--seconds", "10", "--ports", "2"}});
    }
    // The RTSP server is stopped 4 s into the run, for 3 s.
    rows.push_back({"RTSP server restarted", {}, false, 125, {"--seconds", "16"}});
    vdtest::RtspCamera server(VD_RTSP_CAMERA);
    const std::string pattern = WriteCameraPattern(dir);
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = row.args;
        args.push_back("--reconnect");
        args.push_back("--no-sound");
        ChildResult r;
        if (std::string(row.name).find("RTSP") == 0) {
            ASSERT_EQ(server.Start(pattern), "");
            args.insert(args.begin(), server.url("h264"));
            vdtest::Child child;
            ASSERT_TRUE(child.Start(Bin("vdplay.exe"), args, dir.path()));
            ASSERT_NE(WaitForWall(child.processId(), 30000), nullptr);
            Sleep(4000);
            server.Stop();
            Sleep(3000);
            ASSERT_EQ(server.Start(pattern), "");
            r = child.Wait(kDeadlineMs);
            EXPECT_NE(r.out.find("vdplay: connected to " + server.url("h264") + " again"), std::string::npos) << r.out;
        } else if (row.udp) {
            const int port = vdtest::FreeLocalPort(SOCK_DGRAM);
            args.insert(args.begin(), "udp://127.0.0.1:" + std::to_string(port));
            vdtest::Child child;
            ASSERT_TRUE(child.Start(Bin("vdplay.exe"), args, dir.path()));
            ASSERT_NE(WaitForWall(child.processId(), 30000), nullptr);
            Sleep(1000);
            SendDatagrams(port, Clips(2));
            Sleep(12000);
            SendDatagrams(port, Clips(3));
            r = child.Wait(kDeadlineMs);
        } else {
            LoopbackCamera camera(std::move(row.scripts));
            args.insert(args.begin(), camera.url());
            r = Vdplay(args, dir.path());
            EXPECT_NE(r.out.find("vdplay: connected to " + camera.url() + " again"), std::string::npos) << r.out;
        }
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
        EXPECT_NE(r.out.find("; trying again in "), std::string::npos) << r.out;
        const int ports = std::atoi(Field(SummaryOf(r), "ports").c_str());
        // Pictures of after the gap were shown on every port.
        EXPECT_GT(Pictures(r), (row.before + 20) * ports) << r.out;
    }
}

// A listener whose queue is full: a connection to it is neither taken nor
// refused, as with a camera behind a firewall that drops packets.
class BlackHole {
public:
    BlackHole() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof a;
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 0);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        for (SOCKET& f : fillers_) {
            f = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(f, FIONBIO, &nonBlocking);
            connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
        Sleep(200);
    }
    ~BlackHole() {
        for (SOCKET f : fillers_) closesocket(f);
        closesocket(listener_);
        WSACleanup();
    }
    std::string url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }

private:
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET fillers_[4] = {INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};
    int port_ = 0;
};

// Closing the window while a camera is being reached ends vdplay: the
// window goes on with its messages, and the connect is given up, not
// waited for.
TEST_F(Live, ClosingWhileConnectingEndsAtOnce) {
    BlackHole hole;
    const struct Row {
        const char* name;
        std::string url;
        UINT message;
        WPARAM key;
    } rows[] = {
        {"refused, closed", "tcp://127.0.0.1:" + std::to_string(vdtest::FreeLocalPort(SOCK_STREAM)), WM_CLOSE, 0},
        {"black-holed, closed", hole.url(), WM_CLOSE, 0},
        {"black-holed, q", hole.url(), WM_CHAR, 'q'},
        {"RTSP refused, closed", "rtsp://127.0.0.1:" + std::to_string(vdtest::FreeLocalPort(SOCK_STREAM)) + "/h264",
         WM_CLOSE, 0},
        {"RTSP black-holed, q", "rtsp://127.0.0.1:" + std::to_string(hole.port()) + "/h264", WM_CHAR, 'q'},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        vdtest::Child child;
        ASSERT_TRUE(child.Start(Bin("vdplay.exe"), {row.url, "--reconnect", "--no-sound"}, dir.path()));
        HWND wall = WaitForWall(child.processId(), 30000);
        ASSERT_NE(wall, nullptr);
        Sleep(500);
        PostMessageA(wall, row.message, row.key, 0);
        const ChildResult r = child.Wait(kDeadlineMs);
        ASSERT_FALSE(r.timedOut) << r.out;
        EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
        EXPECT_EQ(Field(SummaryOf(r), "result"), "ok") << r.out;
        // The connect was stopped, not left to end by itself.
        EXPECT_EQ(r.out.find("no answer within"), std::string::npos) << r.out;
    }
}

// A real RTSP server's camera through the plug-in: every transport, codec
// and sound the server offers; the pictures shown carry the camera's
// picture numbers.
// A real RTSP server's cameras (tests/common/rtsp_camera.py).
class Rtsp : public Live {};

TEST_F(Rtsp, CamerasShowTheirPictures) {
    vdtest::RtspCamera camera(VD_RTSP_CAMERA);
    ASSERT_EQ(camera.Start(WriteCameraPattern(dir)), "");
    for (const char* transport : {"tcp", "udp"}) {
        for (const char* codec : {"h264", "h265", "mjpeg"}) {
            for (const char* sound : {"", "-pcmu"}) {
                const std::string path = std::string(codec) + sound;
                SCOPED_TRACE(std::string(transport) + " " + path);
                std::vector<std::string> args = {camera.url(path), "--rtsp-transport", transport, "--seconds", "4"};
                if (!*sound) args.push_back("--no-sound");
                const ChildResult r = Vdplay(args, dir.path());
                ASSERT_FALSE(r.timedOut);
                EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
                EXPECT_EQ(Field(SummaryOf(r), "size"), "352x288") << r.out;
                EXPECT_GT(Pictures(r), 10) << r.out;
                EXPECT_GT(CodedPictures(r), 5) << r.out;
            }
        }
    }
}

// The number just after `text` in vdplay's output, or -1.
long long NumberAfter(const ChildResult& r, const std::string& text) {
    const size_t at = r.out.find(text);
    return at == std::string::npos ? -1 : std::atoll(r.out.c_str() + at + text.size());
}

// A network that loses and reorders RTP datagrams shows no damaged picture:
// every picture decoded carries the camera's picture number, readable and
// like the camera's own. The pictures after a lost packet are held to the
// next key picture (H.264, H.265); a Motion-JPEG picture with a packet
// missing is left out alone.
TEST_F(Rtsp, LossyNetworksShowNoDamagedPictures) {
    vdtest::RtspCamera camera(VD_RTSP_CAMERA);
    ASSERT_EQ(camera.Start(WriteCameraPattern(dir)), "");
    const struct Row {
        const char* codec;
        double drop;
        bool everyLossHeld;  // vdplay itself holds pictures after each lost packet
    } rows[] = {{"h264", 0.02, false}, {"h265", 0.02, true}, {"mjpeg", 0.01, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codec);
        vdtest::LossyRelay relay(VD_LOSSY_RELAY);
        const std::string log = In(dir, std::string("relay-") + row.codec + ".log");
        ASSERT_EQ(relay.Start(camera, row.drop, 0.05, log), "");
        const ChildResult r = Vdplay(
            {relay.url(row.codec), "--rtsp-transport", "udp", "--seconds", "10", "--no-sound", "--check-pictures"},
            dir.path());
        relay.Stop();
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
        Bytes counts;
        ASSERT_TRUE(ReadBytes(log, &counts));
        const std::string relayed(counts.begin(), counts.end());
        const size_t dropped = relayed.find("dropped ");
        ASSERT_NE(dropped, std::string::npos) << relayed;
        ASSERT_GT(std::atoi(relayed.c_str() + dropped + 8), 0) << relayed;
        // vdplay saw the losses by their sequence numbers.
        EXPECT_GT(NumberAfter(r, "held after lost packets, "), 0) << r.out;
        const long long decoded = NumberAfter(r, "pictures arrived, ");
        EXPECT_GT(decoded, 20) << r.out;
        EXPECT_EQ(CodedPictures(r), decoded) << r.out;
        EXPECT_EQ(NumberAfter(r, "unlike it: "), 0) << r.out;
        if (row.everyLossHeld) {
            EXPECT_GT(NumberAfter(r, "with a picture code), "), 0) << r.out;
        }
    }
}

// Several cameras make a wall, one port each, whatever their kind; each is
// reached on its own: one that cannot be reached keeps no other from
// showing its pictures.
TEST_F(Rtsp, SeveralCamerasMakeAWall) {
    vdtest::RtspCamera camera(VD_RTSP_CAMERA);
    ASSERT_EQ(camera.Start(WriteCameraPattern(dir)), "");
    LoopbackCamera raw({[&](SOCKET s, LoopbackCamera& c) {
        if (c.Send(s, Clips(4))) c.Hold(60000);
    }});
    const std::string away = "tcp://127.0.0.1:" + std::to_string(vdtest::FreeLocalPort(SOCK_STREAM));
    const std::string awayRtsp = "rtsp://127.0.0.1:" + std::to_string(vdtest::FreeLocalPort(SOCK_STREAM)) + "/h264";
    const ChildResult r = Vdplay({camera.url("h264"), camera.url("mjpeg"), raw.url(), away, awayRtsp, "--reconnect",
                                  "--seconds", "6", "--no-sound"},
                                 dir.path());
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
    const std::string summary = SummaryOf(r);
    EXPECT_EQ(Field(summary, "ports"), "5") << r.out;
    // Every port that had a camera drew pictures (its video output is
    // known); the one away was never opened.
    const std::string outputs = Field(summary, "outputs");
    EXPECT_EQ(std::count(outputs.begin(), outputs.end(), ','), 2) << outputs;
    EXPECT_EQ(outputs.find("unknown"), std::string::npos) << outputs;
    for (const std::string& source : {camera.url("h264"), camera.url("mjpeg"), raw.url()})
        EXPECT_NE(r.out.find("vdplay: playing " + source + " as a live stream on port"), std::string::npos) << r.out;
    // An RTSP camera that is away is found refused as a TCP one is, not
    // waited for until a timeout.
    for (const std::string& source : {away, awayRtsp}) {
        EXPECT_NE(r.out.find(source + ": connection refused; trying again"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("vdplay: never reached " + source + ": connection refused"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(source + ": no answer"), std::string::npos) << r.out;
    }
}

TEST_F(Live, ListensForDatagramsUntilTheCameraFallsSilent) {
    const int port = vdtest::FreeLocalPort(SOCK_DGRAM);
    vdtest::Child child;
    ASSERT_TRUE(child.Start(Bin("vdplay.exe"), {"udp://127.0.0.1:" + std::to_string(port), "--no-sound"}, dir.path()));
    // The window comes first, then vdplay listens.
    ASSERT_NE(WaitForWall(child.processId(), 30000), nullptr);
    Sleep(1000);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(u_short(port));
    // An empty datagram first: it carries nothing and changes nothing.
    sendto(s, "", 0, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    Sleep(200);
    const Bytes stream = Clips(3);
    for (size_t at = 0; at < stream.size(); at += 1400) {
        sendto(s, reinterpret_cast<const char*>(&stream[at]), int(std::min<size_t>(1400, stream.size() - at)), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
        Sleep(1);
    }
    closesocket(s);
    WSACleanup();
    const ChildResult r = child.Wait(kDeadlineMs);
    ExpectFailure(r, {"silent camera", vdplay::kExitSilent, "sent nothing for 5 s"});
    EXPECT_GT(Pictures(r), 30) << r.out;
}

}  // namespace
