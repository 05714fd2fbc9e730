#include "sdk/sdk_harness.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>

namespace demoplay_test {

const std::vector<std::string>& EntryPointNames() {
    static const std::vector<std::string> names = {
        "KV_Initial",    "KV_Free",        "KV_GetDecoderInf", "KV_OpenFile",    "KV_CloseFile",    "KV_GetFileTime",
        "KV_OpenStream", "KV_CloseStream", "KV_InputData",     "KV_ClearBuffer", "KV_GetMediaInfo", "KV_Play",
        "KV_Stop",       "KV_SetPlayTime", "KV_GetPlayTime",   "KV_StartRecord", "KV_StopRecord"};
    return names;
}

namespace {

template <typename T>
bool Resolve(HMODULE m, const char* name, T* out) {
    *out = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(m, name)));
    return *out != nullptr;
}

Sdk* Load() {
    static Sdk sdk;
    if (LoadSdkFrom(BuiltSdkPath(), &sdk) || LoadSdkFrom("DemoPlay.dll", &sdk)) return &sdk;
    return nullptr;
}

}  // namespace

std::string BuiltSdkPath() {
    std::string path = DEMOPLAY_DLL_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;  // the build's Unix path, seen from Wine
    return path;
}

bool LoadSdkFrom(const std::string& path, Sdk* out) {
    HMODULE m = LoadLibraryA(path.c_str());
    if (!m) return false;
    Sdk& sdk = *out;
    sdk.module = m;
    bool ok = Resolve(m, "KV_Initial", &sdk.Initial) && Resolve(m, "KV_Free", &sdk.Free) &&
              Resolve(m, "KV_GetDecoderInf", &sdk.GetDecoderInf) && Resolve(m, "KV_OpenFile", &sdk.OpenFile) &&
              Resolve(m, "KV_CloseFile", &sdk.CloseFile) && Resolve(m, "KV_GetFileTime", &sdk.GetFileTime) &&
              Resolve(m, "KV_OpenStream", &sdk.OpenStream) && Resolve(m, "KV_CloseStream", &sdk.CloseStream) &&
              Resolve(m, "KV_InputData", &sdk.InputData) && Resolve(m, "KV_ClearBuffer", &sdk.ClearBuffer) &&
              Resolve(m, "KV_GetMediaInfo", &sdk.GetMediaInfo) && Resolve(m, "KV_Play", &sdk.Play) &&
              Resolve(m, "KV_Stop", &sdk.Stop) && Resolve(m, "KV_SetPlayTime", &sdk.SetPlayTime) &&
              Resolve(m, "KV_GetPlayTime", &sdk.GetPlayTime) && Resolve(m, "KV_StartRecord", &sdk.StartRecord) &&
              Resolve(m, "KV_StopRecord", &sdk.StopRecord);
    if (!ok) FreeLibrary(m);
    return ok;
}

const Sdk* LoadSdk() {
    static Sdk* sdk = Load();
    return sdk;
}

int __stdcall Collector::Callback(int port, const unsigned char* data, int size, int width, int height, unsigned stamp,
                                  int kind, int frameRate, void* user) {
    auto* self = static_cast<Collector*>(user);
    Frame f;
    f.epoch = self->epoch.load();
    f.port = port;
    f.kind = kind;
    f.size = size;
    f.width = width;
    f.height = height;
    f.stamp = stamp;
    f.frameRate = frameRate;
    f.thread = GetCurrentThreadId();
    if (self->keepData && data && size > 0) f.data.assign(data, data + size);
    if (self->onFrame) self->onFrame(f);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->frames_.push_back(std::move(f));
    self->changed_.notify_all();
    return 0;
}

bool Collector::WaitFor(const std::function<bool(const std::vector<Frame>&)>& pred,
                        std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return pred(frames_); });
}

bool Collector::WaitForEnd(std::chrono::milliseconds deadline) {
    return WaitFor(
        [](const std::vector<Frame>& f) {
            for (const Frame& x : f)
                if (x.kind == KV_FRAME_NOTIFY) return true;
            return false;
        },
        deadline);
}

std::vector<Frame> Collector::Snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

std::vector<Frame> Collector::Pictures() {
    std::vector<Frame> out;
    for (Frame& f : Snapshot())
        if (f.kind >= KV_FRAME_RGB32) out.push_back(std::move(f));
    return out;
}

std::vector<Frame> Collector::Sounds() {
    std::vector<Frame> out;
    for (Frame& f : Snapshot())
        if (f.kind == KV_FRAME_SOUND) out.push_back(std::move(f));
    return out;
}

int Collector::Count(int kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Frame& f : frames_) n += f.kind == kind;
    return n;
}

void Collector::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.clear();
}

TempFile::TempFile(const std::string& stem, const std::vector<uint8_t>& bytes) {
    static std::atomic<int> counter{0};
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    path_ = std::string(dir) + "demoplay_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++) +
            "_" + stem;
    if (!bytes.empty()) {
        FILE* f = std::fopen(path_.c_str(), "wb");
        const bool written = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if ((f && std::fclose(f) != 0) || !written) ADD_FAILURE() << "cannot write the test file " << path_;
    }
}

TempFile::~TempFile() { DeleteFileA(path_.c_str()); }

SdkCopy::SdkCopy(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    static std::atomic<int> serial{0};
    folder_ =
        std::string(temp) + "vd_sdk_copy_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(serial++);
    path_ = folder_ + "\\" + name;
    CreateDirectoryA(folder_.c_str(), nullptr);
    if (!CopyFileA(BuiltSdkPath().c_str(), path_.c_str(), FALSE) || !LoadSdkFrom(path_, &sdk)) sdk = Sdk();
}

SdkCopy::~SdkCopy() {
    // A thread of the copy may still hold it for a moment.
    WaitUntilUnloaded(std::chrono::milliseconds(10000));
    DeleteFileA(path_.c_str());
    RemoveDirectoryA(folder_.c_str());
}

bool SdkCopy::WaitUntilUnloaded(std::chrono::milliseconds deadline) const {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (InProcess()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        Sleep(10);
    }
    return true;
}

bool TempFile::Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::vector<uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

void SdkFixture::SetUp() {
    sdk = LoadSdk();
    ASSERT_NE(sdk, nullptr) << "DemoPlay.dll or one of its entry points is missing";
    ASSERT_EQ(sdk->Initial(), 0);
}

void SdkFixture::TearDown() {
    if (sdk) sdk->Free();
}

int SdkFixture::OpenSample(const TempFile& file) {
    int port = -1;
    EXPECT_EQ(sdk->OpenFile(file.path().c_str(), &port), 0) << file.path();
    return port;
}

void SdkFixture::Feed(int port, const uint8_t* data, size_t size, unsigned seed, size_t maxPiece) {
    std::mt19937 rng(seed);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (size_t pos = 0; pos < size;) {
        size_t n = std::min<size_t>(size - pos, 1 + rng() % maxPiece);
        int r = sdk->InputData(port, data + pos, int(n));
        if (r == KV_ERR_BUFFER_FULL) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            Sleep(1);
            continue;
        }
        ASSERT_EQ(r, 0);
        pos += n;
    }
}

void SdkFixture::PlayFile(const std::string& path, Collector* got, int expectedPictures) {
    int port = -1;
    ASSERT_EQ(sdk->OpenFile(path.c_str(), &port), 0);
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, got), 0);
    ASSERT_TRUE(got->WaitForEnd());
    EXPECT_EQ(int(got->Pictures().size()), expectedPictures);
    EXPECT_EQ(sdk->CloseFile(port), 0);
}

}  // namespace demoplay_test
