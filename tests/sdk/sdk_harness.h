// Loads DemoPlay.dll as the plug-in does (LoadLibrary and GetProcAddress by
// name) and collects what its frame callback delivers.
#ifndef VD_TESTS_DEMOPLAY_SDK_HARNESS_H
#define VD_TESTS_DEMOPLAY_SDK_HARNESS_H

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DemoPlaySdk.h"

namespace demoplay_test {

struct Sdk {
    HMODULE module = nullptr;
    int(__cdecl* Initial)();
    int(__cdecl* Free)();
    int(__cdecl* GetDecoderInf)(char*, int);
    int(__cdecl* OpenFile)(const char*, int*);
    int(__cdecl* CloseFile)(int);
    int(__cdecl* GetFileTime)(int, int*);
    int(__cdecl* OpenStream)(const void*, int, int*);
    int(__cdecl* CloseStream)(int);
    int(__cdecl* InputData)(int, const void*, int);
    int(__cdecl* ClearBuffer)(int);
    int(__cdecl* GetMediaInfo)(int, void*);
    int(__cdecl* Play)(int, KV_FrameCallBack, void*);
    int(__cdecl* Stop)(int);
    int(__cdecl* SetPlayTime)(int, int);
    int(__cdecl* GetPlayTime)(int, int*);
    int(__cdecl* StartRecord)(int, const char*);
    int(__cdecl* StopRecord)(int);
};

// The loaded SDK, shared by all tests of the program (null on failure).
const Sdk* LoadSdk();
// The SDK the build made, and loading a copy of it from elsewhere.
std::string BuiltSdkPath();
bool LoadSdkFrom(const std::string& path, Sdk* out);
// Names of the 17 entry points.
const std::vector<std::string>& EntryPointNames();

struct Frame {
    int port = 0;
    int kind = 0;
    int size = 0;
    int width = 0;
    int height = 0;
    unsigned stamp = 0;
    int frameRate = 0;
    DWORD thread = 0;
    unsigned epoch = 0;  // the collector's epoch as the callback began
    std::vector<uint8_t> data;
};

// Collects callbacks; pass it as the user value of KV_Play.
class Collector {
public:
    static int __stdcall Callback(int port, const unsigned char* data, int size, int width, int height, unsigned stamp,
                                  int kind, int frameRate, void* user);

    // Waits until pred(frames) holds or the deadline passes; returns pred's value.
    bool WaitFor(const std::function<bool(const std::vector<Frame>&)>& pred,
                 std::chrono::milliseconds deadline = std::chrono::milliseconds(15000));
    bool WaitForEnd(std::chrono::milliseconds deadline = std::chrono::milliseconds(15000));
    std::vector<Frame> Snapshot();
    std::vector<Frame> Pictures();
    std::vector<Frame> Sounds();
    int Count(int kind);
    void Clear();

    // Called inside the callback before the frame is stored (may be empty).
    std::function<void(const Frame&)> onFrame;
    bool keepData = true;
    // Set by a test to tell frames whose callback began after a point (a
    // call that returned) from those that began before it.
    std::atomic<unsigned> epoch{0};

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Frame> frames_;
};

// A file in the temporary folder, deleted with the object.
class TempFile {
public:
    explicit TempFile(const std::string& stem, const std::vector<uint8_t>& bytes = {});
    ~TempFile();
    const std::string& path() const { return path_; }
    static bool Exists(const std::string& path);

private:
    std::string path_;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);

// A copy of the built SDK under another name in a folder of its own (no
// codec libraries beside it), loaded; deleted with the object.
class SdkCopy {
public:
    explicit SdkCopy(const std::string& name);
    ~SdkCopy();
    bool loaded() const { return sdk.module != nullptr; }
    // Whether the copy is still mapped in the process.
    bool InProcess() const { return GetModuleHandleA(path_.c_str()) != nullptr; }
    // Waits until the copy has left the process; false at the deadline.
    bool WaitUntilUnloaded(std::chrono::milliseconds deadline) const;

    Sdk sdk;

private:
    std::string folder_, path_;
};

// The SDK loaded and initialised for a test, and every port closed after it.
class SdkFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens a file port (-1 and a failure when it does not open).
    int OpenSample(const TempFile& file);
    // Feeds data in random pieces, retrying pieces refused as over the limit
    // (for at most 20 s).
    void Feed(int port, const uint8_t* data, size_t size, unsigned seed, size_t maxPiece);
    // Plays a file port to its end, expecting so many pictures.
    void PlayFile(const std::string& path, Collector* got, int expectedPictures);

    const Sdk* sdk = nullptr;
};

}  // namespace demoplay_test

#endif  // VD_TESTS_DEMOPLAY_SDK_HARNESS_H
