// A play SDK whose every answer is set by the test that uses it.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

typedef int(__stdcall* FrameCallback)(int port, const void* data, int size, int width, int height, unsigned int stamp,
                                      int kind, int frameRate, void* user);

struct Playing {
    FrameCallback callback;
    void* user;
};

struct State {
    std::mutex lock;
    std::map<std::string, int> results;
    std::map<std::string, int> counts;
    std::string log;
    std::vector<char> decoderInf;
    int openPort = 0;
    int fileTime = 0;
    unsigned char mediaInfo[12] = {};
    std::map<int, Playing> playing;
    std::map<int, int> delivering;  // calls of the frame callback still running, per port
    std::condition_variable delivered;
};

State& TheState() {
    static State state;
    return state;
}

// Records the call and returns the result scripted for it (0 by default).
int Called(const char* entryPoint, const std::string& arguments) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.log += std::string(entryPoint) + "(" + arguments + ")\n";
    ++s.counts[entryPoint];
    const auto found = s.results.find(entryPoint);
    return found == s.results.end() ? 0 : found->second;
}

std::string Args(int value) { return std::to_string(value); }
std::string Args(int a, int b) { return std::to_string(a) + "," + std::to_string(b); }
std::string Text(const char* text) { return text ? text : "(null)"; }

}  // namespace

extern "C" {

// ---- control ---------------------------------------------------------------

__declspec(dllexport) void __cdecl TestSdk_Reset() {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.results.clear();
    s.counts.clear();
    s.log.clear();
    s.decoderInf.clear();
    s.openPort = 0;
    s.fileTime = 0;
    std::memset(s.mediaInfo, 0, sizeof s.mediaInfo);
    s.playing.clear();
}

__declspec(dllexport) void __cdecl TestSdk_SetResult(const char* entryPoint, int result) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.results[entryPoint] = result;
}

__declspec(dllexport) void __cdecl TestSdk_SetDecoderInf(const void* bytes, int length) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    const char* begin = static_cast<const char*>(bytes);
    s.decoderInf.assign(begin, begin + (length > 0 ? length : 0));
}

__declspec(dllexport) void __cdecl TestSdk_SetOpenPort(int port) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.openPort = port;
}

__declspec(dllexport) void __cdecl TestSdk_SetFileTime(int seconds) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.fileTime = seconds;
}

__declspec(dllexport) void __cdecl TestSdk_SetMediaInfo(const void* info12) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    std::memcpy(s.mediaInfo, info12, sizeof s.mediaInfo);
}

__declspec(dllexport) int __cdecl TestSdk_CallLog(char* buffer, int size) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    if (buffer && size > 0) {
        const std::size_t n = s.log.size() < static_cast<std::size_t>(size - 1) ? s.log.size() : size - 1;
        std::memcpy(buffer, s.log.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(s.log.size());
}

__declspec(dllexport) int __cdecl TestSdk_CallCount(const char* entryPoint) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto found = s.counts.find(entryPoint);
    return found == s.counts.end() ? 0 : found->second;
}

__declspec(dllexport) int __cdecl TestSdk_Deliver(int port, const void* data, int size, int width, int height,
                                                  unsigned int stamp, int kind, int frameRate) {
    Playing target{};
    State& s = TheState();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        const auto found = s.playing.find(port);
        if (found == s.playing.end()) return -1;
        target = found->second;
        ++s.delivering[port];
    }
    const int result = target.callback(port, data, size, width, height, stamp, kind, frameRate, target.user);
    {
        std::lock_guard<std::mutex> guard(s.lock);
        --s.delivering[port];
    }
    s.delivered.notify_all();
    return result;
}

// Number of frame-callback calls running for the port right now.
__declspec(dllexport) int __cdecl TestSdk_Delivering(int port) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto found = s.delivering.find(port);
    return found == s.delivering.end() ? 0 : found->second;
}

// ---- the play SDK's entry points --------------------------------------------

int __cdecl KV_Initial() { return Called("KV_Initial", ""); }
int __cdecl KV_Free() { return Called("KV_Free", ""); }

#ifndef TESTSDK_WITHOUT_GET_DECODER_INF
int __cdecl KV_GetDecoderInf(char* buffer, int size) {
    const int result = Called("KV_GetDecoderInf", std::to_string(size));
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    if (buffer && size > 0) {
        const int n = static_cast<int>(s.decoderInf.size()) < size ? static_cast<int>(s.decoderInf.size()) : size;
        if (n > 0) std::memcpy(buffer, s.decoderInf.data(), n);
        if (n < size) buffer[n] = '\0';
    }
    return result;
}
#endif

int __cdecl KV_OpenFile(const char* fileName, int* port) {
    const int result = Called("KV_OpenFile", Text(fileName));
    if (result >= 0 && port) *port = TheState().openPort;
    return result;
}

int __cdecl KV_CloseFile(int port) { return Called("KV_CloseFile", Args(port)); }

int __cdecl KV_GetFileTime(int port, int* seconds) {
    const int result = Called("KV_GetFileTime", Args(port));
    if (seconds) *seconds = TheState().fileTime;
    return result;
}

int __cdecl KV_OpenStream(const void* header, int headerLength, int* port) {
    const int result = Called("KV_OpenStream", Args(headerLength));
    if (result >= 0 && port) *port = TheState().openPort;
    return result;
}

int __cdecl KV_CloseStream(int port) { return Called("KV_CloseStream", Args(port)); }
int __cdecl KV_InputData(int port, const void*, int length) { return Called("KV_InputData", Args(port, length)); }

#ifndef TESTSDK_WITHOUT_CLEAR_BUFFER
int __cdecl KV_ClearBuffer(int port) { return Called("KV_ClearBuffer", Args(port)); }
#endif

int __cdecl KV_GetMediaInfo(int port, void* info) {
    const int result = Called("KV_GetMediaInfo", Args(port));
    if (result >= 0 && info) std::memcpy(info, TheState().mediaInfo, 12);
    return result;
}

int __cdecl KV_Play(int port, FrameCallback callback, void* user) {
    const int result = Called("KV_Play", Args(port));
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.playing[port] = Playing{callback, user};
    return result;
}

// As a real SDK does, KV_Stop returns only when no call of the frame
// callback for the port is running any more (bounded, so that a plug-in
// that holds the callback forever fails its test instead of hanging it;
// the result then says so).
constexpr int kStopTimedOut = -99;

int __cdecl KV_Stop(int port) {
    int result = Called("KV_Stop", Args(port));
    State& s = TheState();
    std::unique_lock<std::mutex> guard(s.lock);
    s.playing.erase(port);
    if (!s.delivered.wait_for(guard, std::chrono::seconds(20), [&] { return s.delivering[port] == 0; })) {
        result = kStopTimedOut;
    }
    return result;
}

int __cdecl KV_SetPlayTime(int port, int seconds) { return Called("KV_SetPlayTime", Args(port, seconds)); }

int __cdecl KV_GetPlayTime(int port, int* seconds) {
    const int result = Called("KV_GetPlayTime", Args(port));
    if (seconds) *seconds = 0;
    return result;
}

int __cdecl KV_StartRecord(int port, const char* fileName) {
    return Called("KV_StartRecord", std::to_string(port) + "," + Text(fileName));
}

int __cdecl KV_StopRecord(int port) { return Called("KV_StopRecord", Args(port)); }

}  // extern "C"
