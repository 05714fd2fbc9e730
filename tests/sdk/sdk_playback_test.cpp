// DemoPlay.dll called as the plug-in calls it: file playback of every picture
// kind with sound, pacing stamps, seeking, the end notification, the stop
// guarantee and malformed input.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "sdk/sample_avi.h"
#include "sdk/sdk_harness.h"

using namespace demoplay_test;
using namespace std::chrono_literals;

namespace {

using SdkTest = SdkFixture;

TEST_F(SdkTest, ExportsAndDescribesItself) {
    for (const std::string& name : EntryPointNames())
        EXPECT_NE(GetProcAddress(sdk->module, name.c_str()), nullptr) << name;
    char text[1024];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(sdk->GetDecoderInf(text, sizeof text), 0);
    EXPECT_STREQ(text,
                 "Protocol=AVI,H264,H265;Check=0,4,RIFF|8,4,AVI ;FileHeadLen=12;"
                 "Video=I420,YV12,YUY2,UYVY,RGB,MJPG,H264,H265");
    char small[8];
    EXPECT_EQ(sdk->GetDecoderInf(small, sizeof small), KV_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(sdk->GetDecoderInf(nullptr, 1024), KV_ERR_ARGUMENT);
}

struct KindCase {
    vdsample::Video video;
    int kind;
};

class SdkKinds : public SdkTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(SdkKinds, PlaysEveryPictureInOrderWithSoundAndOneEndNotification) {
    const KindCase& c = GetParam();
    vdsample::Recipe recipe;
    recipe.video = c.video;
    recipe.width = 50;  // 24-bit rows of 150 bytes are padded to 152
    recipe.height = 32;
    recipe.frames = 8;
    recipe.audioRate = 22050;
    recipe.audioChannels = 2;
    TempFile file("kind.avi", vdsample::Make(recipe).bytes);
    int port = OpenSample(file);
    ASSERT_GE(port, 0);

    uint8_t info[12];
    std::memset(info, 0xEE, sizeof info);
    ASSERT_EQ(sdk->GetMediaInfo(port, info), 0);
    EXPECT_EQ(info[0] | (info[1] << 8), 50);
    EXPECT_EQ(info[2] | (info[3] << 8), 32);
    EXPECT_EQ(info[4], 25);

    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    std::this_thread::sleep_for(100ms);  // nothing may follow the notification
    std::vector<Frame> all = got.Snapshot();
    EXPECT_EQ(got.Count(KV_FRAME_NOTIFY), 1);
    EXPECT_EQ(all.back().kind, KV_FRAME_NOTIFY);
    EXPECT_EQ(all.back().stamp, 320u);

    std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), 8u);
    for (int n = 0; n < 8; ++n) {
        const Frame& f = pictures[n];
        EXPECT_EQ(f.port, port);
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_EQ(f.width, 50);
        EXPECT_EQ(f.height, 32);
        EXPECT_EQ(f.stamp, unsigned(n * 40));
        EXPECT_EQ(f.frameRate, 25);
        EXPECT_NE(f.thread, GetCurrentThreadId());
        EXPECT_EQ(f.thread, pictures[0].thread);
        if (c.video == vdsample::Video::kMjpeg) {
            // A flat grey: the first and last luma samples, neutral chroma.
            ASSERT_EQ(f.size, 50 * 32 * 3 / 2);
            EXPECT_NEAR(f.data[0], vdsample::StudioLevel(vdsample::JpegLevel(n)), 2) << n;
            EXPECT_NEAR(f.data[50 * 32 - 1], vdsample::StudioLevel(vdsample::JpegLevel(n)), 2) << n;
            EXPECT_NEAR(f.data[f.data.size() - 1], 128, 2) << n;
        } else {
            EXPECT_EQ(f.data, vdsample::DeliveredPicture(recipe, n)) << "picture " << n;
            EXPECT_EQ(vdsample::PictureNumber(f.kind, f.data.data(), f.data.size(), f.width, f.height), n);
        }
    }
    // 0.32 s of sound at 16 kHz mono, less the resampler's reach at the end.
    std::vector<Frame> sounds = got.Sounds();
    int samples = 0;
    unsigned lastStamp = 0;
    for (const Frame& s : sounds) {
        EXPECT_EQ(s.size % 2, 0);
        EXPECT_GE(s.stamp, lastStamp);
        lastStamp = s.stamp;
        samples += s.size / 2;
    }
    EXPECT_GT(samples, 5000);
    EXPECT_LE(samples, 5120);
    EXPECT_EQ(sdk->CloseFile(port), 0);
}

INSTANTIATE_TEST_SUITE_P(
    All, SdkKinds,
    ::testing::Values(KindCase{vdsample::Video::kI420, KV_FRAME_I420}, KindCase{vdsample::Video::kYv12, KV_FRAME_YV12},
                      KindCase{vdsample::Video::kYuy2, KV_FRAME_YUY2}, KindCase{vdsample::Video::kUyvy, KV_FRAME_UYVY},
                      KindCase{vdsample::Video::kRgb32, KV_FRAME_RGB32},
                      KindCase{vdsample::Video::kRgb32TopDown, KV_FRAME_RGB32},
                      KindCase{vdsample::Video::kMjpeg, KV_FRAME_YV12},
                      KindCase{vdsample::Video::kRgb24, KV_FRAME_RGB32}),
    [](const ::testing::TestParamInfo<KindCase>& i) { return vdsample::VideoName(i.param.video); });

// The reference check: 4 s of CIF at 25 pictures per second, played in real
// time, with 44.1 kHz stereo sound.
TEST_F(SdkTest, FourSecondsOfCifGiveOneHundredPicturesAndFourSecondsOfSound) {
    vdsample::Recipe recipe;
    recipe.video = vdsample::Video::kI420;
    recipe.width = 352;
    recipe.height = 288;
    recipe.frames = 100;
    recipe.audioRate = 44100;
    recipe.audioChannels = 2;
    TempFile file("cif.avi", vdsample::Make(recipe).bytes);
    int port = OpenSample(file);
    ASSERT_GE(port, 0);
    int seconds = -1;
    ASSERT_EQ(sdk->GetFileTime(port, &seconds), 0);
    EXPECT_EQ(seconds, 4);
    Collector got;
    got.keepData = false;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd(20s));
    std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), 100u);
    for (size_t i = 1; i < pictures.size(); ++i) EXPECT_GT(pictures[i].stamp, pictures[i - 1].stamp);
    EXPECT_EQ(pictures.back().stamp, 3960u);
    int samples = 0;
    for (const Frame& s : got.Sounds()) samples += s.size / 2;
    EXPECT_NEAR(samples / 16000.0, 4.0, 0.02);
    EXPECT_EQ(got.Count(KV_FRAME_NOTIFY), 1);
}

TEST_F(SdkTest, SeeksThroughEveryKindOfIndex) {
    for (vdsample::Index index : {vdsample::Index::kIdx1, vdsample::Index::kNone, vdsample::Index::kOpenDml}) {
        vdsample::Recipe recipe;
        recipe.index = index;
        recipe.frames = 60;  // 2.4 s
        recipe.framesPerRiff = 25;
        recipe.audioRate = 16000;
        TempFile file("seek.avi", vdsample::Make(recipe).bytes);
        int port = OpenSample(file);
        ASSERT_GE(port, 0);
        int seconds = 0;
        ASSERT_EQ(sdk->GetFileTime(port, &seconds), 0);
        EXPECT_EQ(seconds, 2);
        EXPECT_EQ(sdk->SetPlayTime(port, 3), KV_ERR_OUT_OF_RANGE);
        EXPECT_EQ(sdk->SetPlayTime(port, -1), KV_ERR_ARGUMENT);
        // Seek before playing: the first picture is the one at 2 s.
        ASSERT_EQ(sdk->SetPlayTime(port, 2), 0);
        ASSERT_EQ(sdk->GetPlayTime(port, &seconds), 0);
        EXPECT_EQ(seconds, 2);
        Collector got;
        ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
        ASSERT_TRUE(got.WaitForEnd());
        std::vector<Frame> pictures = got.Pictures();
        ASSERT_EQ(pictures.size(), 10u) << int(index);
        EXPECT_EQ(pictures[0].stamp, 2000u);
        EXPECT_EQ(vdsample::PictureNumber(pictures[0].kind, pictures[0].data.data(), pictures[0].data.size(), 32, 16),
                  50);
        std::vector<Frame> sounds = got.Sounds();
        ASSERT_FALSE(sounds.empty());
        EXPECT_GE(sounds[0].stamp, 1960u);
        EXPECT_LE(sounds[0].stamp, 2000u);

        // Seek back while playing after the end: playback goes on from 1 s.
        got.Clear();
        ASSERT_EQ(sdk->SetPlayTime(port, 1), 0);
        ASSERT_TRUE(got.WaitForEnd());
        pictures = got.Pictures();
        ASSERT_EQ(pictures.size(), 35u);
        EXPECT_EQ(pictures[0].stamp, 1000u);
        EXPECT_EQ(got.Count(KV_FRAME_NOTIFY), 1);
        EXPECT_EQ(sdk->Stop(port), 0);
        EXPECT_EQ(sdk->CloseFile(port), 0);
    }
}

TEST_F(SdkTest, PlayAfterTheEndStartsAgainAndStopThenPlayResumes) {
    vdsample::Recipe recipe;
    recipe.frames = 6;
    TempFile file("again.avi", vdsample::Make(recipe).bytes);
    int port = OpenSample(file);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    ASSERT_EQ(sdk->Stop(port), 0);
    got.Clear();
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), 6u);
    EXPECT_EQ(pictures[0].stamp, 0u);

    // Stopped in the middle, it resumes where it was.
    got.Clear();
    ASSERT_EQ(sdk->SetPlayTime(port, 0), 0);
    ASSERT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 2; }));
    ASSERT_EQ(sdk->Stop(port), 0);
    size_t before = got.Pictures().size();
    ASSERT_GE(before, 2u);
    got.Clear();
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    pictures = got.Pictures();
    ASSERT_FALSE(pictures.empty());
    EXPECT_EQ(pictures[0].stamp, unsigned(before * 40));
    EXPECT_EQ(before + pictures.size(), 6u);
}

// KV_Play on a port that plays hands the following frames to the new
// callback; nothing is lost, repeated or started again.
TEST_F(SdkTest, PlayWhilePlayingSwitchesTheCallback) {
    vdsample::Recipe recipe;
    recipe.frames = 12;
    TempFile file("switch.avi", vdsample::Make(recipe).bytes);
    int port = OpenSample(file);
    Collector first, second;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &first), 0);
    ASSERT_TRUE(first.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 3; }));
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &second), 0);
    ASSERT_TRUE(second.WaitForEnd());
    EXPECT_EQ(first.Count(KV_FRAME_NOTIFY), 0);
    std::vector<Frame> all = first.Pictures();
    std::vector<Frame> later = second.Pictures();
    ASSERT_FALSE(later.empty());
    all.insert(all.end(), later.begin(), later.end());
    ASSERT_EQ(all.size(), 12u);
    for (int n = 0; n < 12; ++n) EXPECT_EQ(all[n].stamp, unsigned(n * 40)) << n;
}

// When KV_Stop returns no callback for the port is running, and none starts
// later; repeated at different moments on ports that deliver without pause.
TEST_F(SdkTest, NoCallbackRunsOrStartsAfterStopReturns) {
    vdsample::Recipe recipe;
    recipe.frames = 400;
    vdsample::File stream = vdsample::Make(recipe);
    for (int round = 0; round < 12; ++round) {
        int port = -1;
        ASSERT_EQ(sdk->OpenStream(stream.bytes.data(), int(stream.streamHeaderLength), &port), 0);
        ASSERT_EQ(sdk->InputData(port, stream.bytes.data() + stream.streamHeaderLength,
                                 int(stream.bytes.size() - stream.streamHeaderLength)),
                  0);
        std::atomic<int> inside{0}, calls{0};
        Collector got;
        got.keepData = false;
        got.onFrame = [&](const Frame&) {
            inside++;
            calls++;
            Sleep(2);
            inside--;
        };
        ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
        ASSERT_TRUE(got.WaitFor([&](const std::vector<Frame>& f) { return int(f.size()) >= 1 + round % 5; }));
        ASSERT_EQ(sdk->Stop(port), 0);
        EXPECT_EQ(inside.load(), 0);
        int after = calls.load();
        Sleep(30);
        EXPECT_EQ(calls.load(), after);
        EXPECT_LT(after, 400);
        EXPECT_EQ(sdk->CloseStream(port), 0);
    }
}

// Several ports played, stopped, seeked and fed from several client threads
// at once: each Stop still leaves no callback of its port running, and the
// port's callbacks do not resume until it is played again.
TEST_F(SdkTest, StopGuaranteeHoldsWhileSeveralThreadsDriveSeveralPorts) {
    constexpr int kPorts = 4;
    vdsample::Recipe recipe;
    recipe.frames = 50;
    recipe.audioRate = 8000;
    std::vector<TempFile> files;
    files.reserve(kPorts);
    vdsample::Recipe streamRecipe;
    streamRecipe.frames = 300;
    vdsample::File stream = vdsample::Make(streamRecipe);
    int ports[kPorts];
    for (int i = 0; i < kPorts - 1; ++i) {
        files.emplace_back("load.avi", vdsample::Make(recipe).bytes);
        ports[i] = OpenSample(files.back());
    }
    ASSERT_EQ(sdk->OpenStream(stream.bytes.data(), int(stream.streamHeaderLength), &ports[kPorts - 1]), 0);
    const uint8_t* streamData = stream.bytes.data() + stream.streamHeaderLength;
    const int streamSize = int(stream.bytes.size() - stream.streamHeaderLength);

    Collector got[kPorts];
    std::atomic<int> inside[kPorts];
    std::atomic<int> calls[kPorts];
    for (int i = 0; i < kPorts; ++i) {
        inside[i] = 0;
        calls[i] = 0;
        got[i].keepData = false;
        got[i].onFrame = [&, i](const Frame&) {
            inside[i]++;
            calls[i]++;
            Sleep(1);
            inside[i]--;
        };
    }
    std::atomic<int> failures{0};
    auto until = std::chrono::steady_clock::now() + 1500ms;
    // Thread t plays and stops ports t and t + 2; both also seek, query and
    // feed every port.
    auto drive = [&](int t) {
        std::mt19937 rng(t);
        while (std::chrono::steady_clock::now() < until) {
            int own = t + 2 * int(rng() % 2);
            int any = int(rng() % kPorts);
            int value = 0;
            uint8_t info[12];
            switch (rng() % 6) {
                case 0:
                    if (sdk->Play(ports[own], &Collector::Callback, &got[own]) != 0) failures++;
                    break;
                case 1: {
                    if (sdk->Stop(ports[own]) != 0) failures++;
                    if (inside[own].load() != 0) failures++;
                    int before = calls[own].load();
                    Sleep(3);
                    if (calls[own].load() != before) failures++;
                    break;
                }
                case 2: {
                    int r = sdk->SetPlayTime(ports[any], int(rng() % 3));
                    if (r != 0 && r != KV_ERR_NOT_SEEKABLE) failures++;
                    break;
                }
                case 3:
                    if (sdk->GetPlayTime(ports[any], &value) != 0 || sdk->GetMediaInfo(ports[any], info) != 0)
                        failures++;
                    break;
                case 4: {
                    int r = sdk->InputData(ports[kPorts - 1], streamData, streamSize);
                    if (r != 0 && r != KV_ERR_BUFFER_FULL) failures++;
                    break;
                }
                default:
                    Sleep(1);
            }
        }
    };
    std::thread a(drive, 0), b(drive, 1);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    for (int i = 0; i < kPorts; ++i) EXPECT_EQ(sdk->Stop(ports[i]), 0);
    for (int i = 0; i < kPorts; ++i) EXPECT_EQ(inside[i].load(), 0);
    int total = 0;
    for (int i = 0; i < kPorts; ++i) total += calls[i].load();
    EXPECT_GT(total, 0);
    EXPECT_EQ(sdk->Free(), 0);
}

TEST_F(SdkTest, StopFromInsideTheCallbackEndsDelivery) {
    vdsample::Recipe recipe;
    recipe.frames = 30;
    vdsample::File stream = vdsample::Make(recipe);
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(stream.bytes.data(), int(stream.bytes.size()), &port), 0);
    std::atomic<int> stopResult{1};
    std::atomic<int> closeResult{1};
    Collector got;
    got.onFrame = [&](const Frame& f) {
        if (stopResult.load() == 1) {
            closeResult = sdk->CloseStream(f.port);
            stopResult = sdk->Stop(f.port);
        }
    };
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return !f.empty(); }));
    Sleep(50);
    EXPECT_EQ(stopResult.load(), 0);
    EXPECT_EQ(closeResult.load(), KV_ERR_IN_CALLBACK);
    EXPECT_EQ(got.Snapshot().size(), 1u);
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

// A port's decoding loop runs on the thread an earlier port's loop left
// idle. An idle thread keeps the SDK loaded: a client that unloads it without
// KV_Free does not pull the code from under it; the copy goes once the thread
// has ended. With KV_Free the threads end at once.
TEST(SdkThreads, LoopsReuseIdleThreadsWhichHoldTheLibraryUntilTheyEnd) {
    vdsample::Recipe recipe;
    recipe.frames = 3;
    TempFile file("threads.avi", vdsample::Make(recipe).bytes);
    auto playToEnd = [&](const Sdk& sdk) -> DWORD {
        int port = -1;
        if (sdk.OpenFile(file.path().c_str(), &port) != 0) return 0;
        Collector got;
        const bool ended = sdk.Play(port, &Collector::Callback, &got) == 0 && got.WaitForEnd();
        sdk.CloseFile(port);
        const std::vector<Frame> pictures = got.Pictures();
        return ended && !pictures.empty() ? pictures[0].thread : 0;
    };
    {
        SdkCopy copy("DemoPlayPooled.dll");
        ASSERT_TRUE(copy.loaded());
        ASSERT_EQ(copy.sdk.Initial(), 0);
        const DWORD first = playToEnd(copy.sdk);
        ASSERT_NE(first, 0u);
        EXPECT_EQ(playToEnd(copy.sdk), first) << "the second port's loop runs on the first one's thread";
        FreeLibrary(copy.sdk.module);  // no KV_Free
        EXPECT_TRUE(copy.InProcess()) << "unloaded under its idle thread";
        EXPECT_TRUE(copy.WaitUntilUnloaded(std::chrono::milliseconds(3 * 5000))) << "the idle thread never ended";
    }
    SdkCopy copy("DemoPlayFreed.dll");
    ASSERT_TRUE(copy.loaded());
    ASSERT_EQ(copy.sdk.Initial(), 0);
    EXPECT_NE(playToEnd(copy.sdk), 0u);
    EXPECT_EQ(copy.sdk.Free(), 0);
    FreeLibrary(copy.sdk.module);
    EXPECT_TRUE(copy.WaitUntilUnloaded(std::chrono::milliseconds(4000))) << "KV_Free left a thread waiting";
}

TEST_F(SdkTest, BadCallsGetDistinctNegativeResults) {
    vdsample::Recipe recipe;
    std::vector<uint8_t> good = vdsample::Make(recipe).bytes;
    std::string text(good.begin(), good.end());
    std::vector<uint8_t> audioOnly = good;
    std::memcpy(&audioOnly[text.find("vids")], "auds", 4);
    std::vector<uint8_t> h263 = good;
    std::memcpy(&h263[text.find("I420", text.find("strf"))], "H263", 4);
    std::vector<uint8_t> huge = good;
    size_t strf = text.find("strf");
    std::memset(&huge[strf + 8 + 4], 0x7F, 3);  // width in the millions

    struct FileCase {
        const char* name;
        std::vector<uint8_t> bytes;
        int expected;
    };
    const FileCase files[] = {
        {"not avi", std::vector<uint8_t>(200, 'x'), KV_ERR_NOT_AVI},
        {"cut in the headers", std::vector<uint8_t>(good.begin(), good.begin() + 120), KV_ERR_CORRUPT},
        {"sound only", audioOnly, KV_ERR_NO_VIDEO},
        {"unknown codec", h263, KV_ERR_UNSUPPORTED},
        {"absurd picture size", huge, KV_ERR_UNSUPPORTED},
    };
    for (const FileCase& c : files) {
        TempFile f("bad.avi", c.bytes);
        int port = 12345;
        EXPECT_EQ(sdk->OpenFile(f.path().c_str(), &port), c.expected) << c.name;
        EXPECT_EQ(port, 12345) << c.name;
        EXPECT_EQ(sdk->OpenStream(c.bytes.data(), int(c.bytes.size()), &port),
                  c.expected == KV_ERR_CORRUPT ? 0 : c.expected)
            << c.name;  // a stream may still send the rest of its headers
        if (c.expected == KV_ERR_CORRUPT) {
            EXPECT_EQ(sdk->CloseStream(port), 0);
        }
    }
    int port = -1;
    EXPECT_EQ(sdk->OpenFile("Z:\\no\\such\\file.avi", &port), KV_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(sdk->OpenFile(nullptr, &port), KV_ERR_ARGUMENT);
    EXPECT_EQ(sdk->OpenStream(good.data(), -1, &port), KV_ERR_ARGUMENT);
    EXPECT_EQ(sdk->OpenStream(good.data(), 8, &port), KV_ERR_NOT_AVI);

    int value = 0;
    uint8_t info[12];
    for (int bad : {-1, 7, 64, 100000}) {
        EXPECT_EQ(sdk->CloseFile(bad), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->CloseStream(bad), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->GetFileTime(bad, &value), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->GetMediaInfo(bad, info), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->Play(bad, &Collector::Callback, nullptr), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->Stop(bad), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->SetPlayTime(bad, 0), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->InputData(bad, good.data(), 4), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->StartRecord(bad, "x.avi"), KV_ERR_BAD_PORT);
        EXPECT_EQ(sdk->StopRecord(bad), KV_ERR_BAD_PORT);
    }

    TempFile f("good.avi", good);
    int file = OpenSample(f);
    EXPECT_EQ(sdk->CloseStream(file), KV_ERR_WRONG_PORT_TYPE);
    EXPECT_EQ(sdk->InputData(file, good.data(), 4), KV_ERR_WRONG_PORT_TYPE);
    EXPECT_EQ(sdk->Play(file, nullptr, nullptr), KV_ERR_ARGUMENT);
    EXPECT_EQ(sdk->GetMediaInfo(file, nullptr), KV_ERR_ARGUMENT);
    EXPECT_EQ(sdk->StopRecord(file), KV_ERR_NOT_RECORDING);
    EXPECT_EQ(sdk->CloseFile(file), 0);
    EXPECT_EQ(sdk->CloseFile(file), KV_ERR_BAD_PORT);

    // 64 ports at most.
    std::vector<int> ports;
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(sdk->OpenStream(good.data(), 12, &port), 0);
        ports.push_back(port);
    }
    EXPECT_EQ(sdk->OpenStream(good.data(), 12, &port), KV_ERR_TOO_MANY_PORTS);
    for (int p : ports) EXPECT_EQ(sdk->CloseStream(p), 0);
}

// Damaged files play what can be played: short or unreadable chunks and
// JPEGs that do not decode are skipped, the end is still notified.
TEST_F(SdkTest, DamagedFilesSkipWhatCannotBeDecoded) {
    struct Case {
        vdsample::Video video;
        vdsample::Index index;
        bool cut;
    };
    for (Case c : {Case{vdsample::Video::kYuy2, vdsample::Index::kIdx1, true},
                   Case{vdsample::Video::kYuy2, vdsample::Index::kNone, true},
                   Case{vdsample::Video::kMjpeg, vdsample::Index::kIdx1, false}}) {
        vdsample::Recipe recipe;
        recipe.video = c.video;
        recipe.index = c.index;
        recipe.frames = 6;
        vdsample::File made = vdsample::Make(recipe);
        std::vector<uint8_t> bytes = made.bytes;
        std::string text(bytes.begin(), bytes.end());
        if (c.cut) {
            // Cut in the middle of the fifth picture.
            size_t fifth = made.streamHeaderLength;
            for (int i = 0; i < 4; ++i) fifth = text.find("00dc", fifth + 1);  // the first is at the start
            bytes.resize(fifth + 20);
        } else {
            // Spoil the third JPEG's data, all of it: with its tables' start
            // spoiled alone libavcodec decodes it with the tables of the one before.
            size_t third = made.streamHeaderLength;
            for (int i = 0; i < 3; ++i) third = text.find("00dc", third + 1);
            size_t length = 0;
            for (int i = 3; i >= 0; --i) length = length << 8 | bytes[third + 4 + size_t(i)];
            std::memset(&bytes[third + 8], 0x00, length);
        }
        TempFile f("damaged.avi", bytes);
        int port = OpenSample(f);
        ASSERT_GE(port, 0);
        Collector got;
        ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
        ASSERT_TRUE(got.WaitForEnd());
        std::vector<Frame> pictures = got.Pictures();
        EXPECT_EQ(pictures.size(), c.cut ? 4u : 5u);
        EXPECT_EQ(got.Count(KV_FRAME_NOTIFY), 1);
        EXPECT_EQ(sdk->CloseFile(port), 0);
    }
}

// A port's decoding loop waits on its condition, not on the clock: waiting
// for Play since the open, for a stream's data, or for a file's next picture
// to be due (one a second here), it is woken by Play, by the data, and by
// Stop (a wake-up that went missing would leave it waiting for good).
TEST_F(SdkTest, TheDecodingLoopWakesOnWhatItWaitsFor) {
    enum class Wait { kForPlay, kForData, kForDueTime };
    enum class Wake { kPlay, kData, kStop };
    const struct {
        const char* name;
        Wait wait;
        Wake wake;
    } cases[] = {
        {"waiting for Play: Play", Wait::kForPlay, Wake::kPlay},
        {"waiting for Play: Stop", Wait::kForPlay, Wake::kStop},
        {"waiting for data: data", Wait::kForData, Wake::kData},
        {"waiting for data: Stop", Wait::kForData, Wake::kStop},
        {"waiting for the due time: Stop", Wait::kForDueTime, Wake::kStop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vdsample::Recipe recipe;
        recipe.frames = 3;
        if (c.wait == Wait::kForDueTime) recipe.fps = 1;
        const vdsample::File made = vdsample::Make(recipe);
        TempFile file("waits.avi", made.bytes);
        int port = -1;
        const bool stream = c.wait != Wait::kForDueTime;
        if (stream) {
            ASSERT_EQ(sdk->OpenStream(made.bytes.data(), int(made.streamHeaderLength), &port), 0);
        } else {
            port = OpenSample(file);
            ASSERT_GE(port, 0);
        }
        Collector got;
        if (c.wait != Wait::kForPlay) {
            ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
            if (c.wait == Wait::kForDueTime) {
                ASSERT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return !f.empty(); }));
            }
        }
        Sleep(50);  // let the loop find nothing to do and wait
        switch (c.wake) {
            case Wake::kPlay:
                ASSERT_EQ(sdk->InputData(port, made.bytes.data() + made.streamHeaderLength,
                                         int(made.bytes.size() - made.streamHeaderLength)),
                          0);
                ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
                EXPECT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 3; }));
                break;
            case Wake::kData:
                ASSERT_EQ(sdk->InputData(port, made.bytes.data() + made.streamHeaderLength,
                                         int(made.bytes.size() - made.streamHeaderLength)),
                          0);
                EXPECT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 3; }));
                break;
            case Wake::kStop: {
                // Stop waits for the loop; run it where a Stop that does not
                // come back cannot hold the test.
                auto returned = std::make_shared<std::atomic<bool>>(false);
                const Sdk* s = sdk;
                std::thread([s, port, returned] {
                    s->Stop(port);
                    returned->store(true);
                }).detach();
                const DWORD start = GetTickCount();
                while (!returned->load() && GetTickCount() - start < 15000) Sleep(1);
                ASSERT_TRUE(returned->load()) << "Stop did not come back";
                break;
            }
        }
        EXPECT_EQ(sdk->Stop(port), 0);
        EXPECT_EQ(stream ? sdk->CloseStream(port) : sdk->CloseFile(port), 0);
    }
}

}  // namespace
