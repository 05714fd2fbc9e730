// DemoPlay.dll on the inputs that used to go wrong: a crafted super-index,
// sound that needs no conversion, 24-bit and float sound, long sound chunks,
// rounded main headers, interlaced Motion-JPEG, and ports met while they
// open.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "sdk/sample_avi.h"
#include "sdk/sdk_harness.h"

using namespace demoplay_test;
using namespace std::chrono_literals;

namespace {

using SdkBounded = SdkFixture;

std::vector<uint8_t> JoinedSound(const std::vector<Frame>& sounds) {
    std::vector<uint8_t> all;
    for (const Frame& s : sounds) all.insert(all.end(), s.data.begin(), s.data.end());
    return all;
}

std::vector<uint8_t> AsBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out(samples.size() * 2);
    if (!out.empty()) std::memcpy(out.data(), samples.data(), out.size());
    return out;
}

// Every sound chunk of a file, as stored, one after the other.
std::vector<uint8_t> StoredSound(const vdsample::File& file, int chunks) {
    std::vector<uint8_t> all;
    std::string text(file.bytes.begin(), file.bytes.end());
    size_t at = file.streamHeaderLength;
    for (int i = 0; i < chunks; ++i) {
        at = text.find("01wb", at);
        if (at == std::string::npos) break;
        uint32_t size = uint32_t(file.bytes[at + 4]) | (uint32_t(file.bytes[at + 5]) << 8) |
                        (uint32_t(file.bytes[at + 6]) << 16) | (uint32_t(file.bytes[at + 7]) << 24);
        all.insert(all.end(), file.bytes.begin() + at + 8, file.bytes.begin() + at + 8 + size);
        at += 8 + size;
    }
    return all;
}

// Opens a stream port with the whole header, feeds the rest of the file and
// waits for its pictures; each picture follows its sound in the file, so all
// the sound has come with the last one.
void PlayAsStream(const Sdk* sdk, const vdsample::File& file, int pictures, Collector* got) {
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(file.bytes.data(), int(file.streamHeaderLength), &port), 0);
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, got), 0);
    ASSERT_EQ(sdk->InputData(port, file.bytes.data() + file.streamHeaderLength,
                             int(file.bytes.size() - file.streamHeaderLength)),
              0);
    EXPECT_TRUE(got->WaitFor([&](const std::vector<Frame>& frames) {
        int n = 0;
        for (const Frame& f : frames) n += f.kind >= KV_FRAME_RGB32;
        return n >= pictures;
    }));
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

// The crafted file opens (its 60,000 super-index entries name one index
// whose 400,000 entries all point past the end) and plays its one picture.
TEST_F(SdkBounded, SuperIndexNamingOneIndexManyTimesOpensAndPlays) {
    TempFile file("crafted.avi", vdsample::SuperIndexOnOneIndex(60000, 400000));
    int port = OpenSample(file);
    ASSERT_GE(port, 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    EXPECT_EQ(got.Pictures().size(), 1u);
    EXPECT_EQ(sdk->CloseFile(port), 0);
}

// 16 kHz mono 16-bit sound is what the plug-in plays: it comes out byte for
// byte as stored, in files and in streams alike.
TEST_F(SdkBounded, SoundThatNeedsNoConversionPassesByteForByte) {
    vdsample::Recipe recipe;
    recipe.frames = 10;
    recipe.audioRate = 16000;
    recipe.toneHz = 3100;  // near the top of the band, where filtering shows
    vdsample::File made = vdsample::Make(recipe);
    const std::vector<uint8_t> stored = StoredSound(made, recipe.frames);
    ASSERT_EQ(stored.size(), 10u * 640 * 2);

    TempFile file("passthrough.avi", made.bytes);
    Collector fromFile;
    PlayFile(file.path(), &fromFile, 10);
    EXPECT_EQ(JoinedSound(fromFile.Sounds()), stored);

    Collector fromStream;
    PlayAsStream(sdk, made, recipe.frames, &fromStream);
    EXPECT_EQ(JoinedSound(fromStream.Sounds()), stored);
}

// Sound of 24 and 32 bits and float sound holding a 16-bit tone give that
// tone: exactly at 16 kHz mono, and at 44.1 kHz stereo the same as the
// 16-bit file gives.
TEST_F(SdkBounded, EverySoundFormatPlaysAtItsFullLevel) {
    const vdsample::Sound formats[] = {vdsample::Sound::kPcm24,           vdsample::Sound::kPcm32,
                                       vdsample::Sound::kFloat32,         vdsample::Sound::kFloat64,
                                       vdsample::Sound::kPcm24Extensible, vdsample::Sound::kFloat32Extensible};
    struct Layout {
        int rate, channels;
    };
    for (Layout l : {Layout{16000, 1}, Layout{44100, 2}}) {
        vdsample::Recipe recipe;
        recipe.frames = 10;
        recipe.audioRate = l.rate;
        recipe.audioChannels = l.channels;
        Collector reference;
        vdsample::File referenceFile = vdsample::Make(recipe);
        PlayAsStream(sdk, referenceFile, recipe.frames, &reference);
        const std::vector<uint8_t> expected = JoinedSound(reference.Sounds());
        ASSERT_GT(expected.size(), 12000u);
        if (l.rate == 16000) {
            EXPECT_EQ(expected, AsBytes(vdsample::ToneSamples(recipe)));
        }
        for (vdsample::Sound format : formats) {
            recipe.sound = format;
            Collector got;
            PlayAsStream(sdk, vdsample::Make(recipe), recipe.frames, &got);
            std::vector<uint8_t> sound = JoinedSound(got.Sounds());
            ASSERT_EQ(sound.size(), expected.size()) << vdsample::SoundName(format) << " at " << l.rate;
            int worst = 0;
            for (size_t i = 0; i + 1 < sound.size(); i += 2) {
                int a = int16_t(uint16_t(sound[i] | (sound[i + 1] << 8)));
                int b = int16_t(uint16_t(expected[i] | (expected[i + 1] << 8)));
                worst = std::max(worst, std::abs(a - b));
            }
            EXPECT_LE(worst, l.rate == 16000 ? 0 : 1) << vdsample::SoundName(format) << " at " << l.rate;
        }
    }
}

// One-second sound chunks come in blocks of 200 ms (6400 bytes), each at its
// own time among the pictures, their stamps 200 ms apart.
TEST_F(SdkBounded, LongSoundChunksComeInBlocksOf200Ms) {
    vdsample::Recipe recipe;
    recipe.frames = 50;  // 2 s
    recipe.audioRate = 16000;
    recipe.soundChunkFrames = 25;  // two chunks of one second
    vdsample::File made = vdsample::Make(recipe);
    const std::vector<uint8_t> stored = StoredSound(made, 2);
    ASSERT_EQ(stored.size(), 2u * 32000);

    TempFile file("long-sound.avi", made.bytes);
    Collector got;
    PlayFile(file.path(), &got, 50);
    const std::vector<Frame> all = got.Snapshot();
    std::vector<size_t> soundAt;
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].kind == KV_FRAME_SOUND) soundAt.push_back(i);
    ASSERT_EQ(soundAt.size(), 10u);
    for (size_t k = 0; k < soundAt.size(); ++k) {
        const Frame& block = all[soundAt[k]];
        EXPECT_EQ(block.size, 6400) << k;
        EXPECT_EQ(block.stamp, unsigned(200 * k)) << k;
        // Block k is due at 200 k - 200 ms (sound leads by 200 ms): the five
        // pictures due from block k - 1's time on come between the two, but the
        // very first picture goes before all sound.
        if (k == 0) {
            EXPECT_EQ(soundAt[0], 1u) << "the first picture goes first";
        }
        if (k >= 2) {
            EXPECT_EQ(soundAt[k] - soundAt[k - 1] - 1, k == 2 ? 4u : 5u)
                << "pictures between blocks " << k - 1 << " and " << k;
        }
    }
    EXPECT_EQ(JoinedSound(got.Sounds()), stored);

    // A stream hands them on as they arrive, in blocks all the same.
    Collector fromStream;
    PlayAsStream(sdk, made, recipe.frames, &fromStream);
    std::vector<Frame> blocks = fromStream.Sounds();
    ASSERT_EQ(blocks.size(), 10u);
    for (size_t k = 0; k < blocks.size(); ++k) {
        EXPECT_EQ(blocks[k].size, 6400) << k;
        EXPECT_EQ(blocks[k].stamp, unsigned(200 * k)) << k;
    }
    EXPECT_EQ(JoinedSound(blocks), stored);
}

// A Motion-JPEG file of 120 pictures at 30 per second (its main header says
// 33333 microseconds a picture) lasts 4 s; its pictures are stamped from the
// stream's rate. (Small pictures: the size plays no part.)
TEST_F(SdkBounded, LengthAndStampsComeFromTheStreamRate) {
    vdsample::Recipe recipe;
    recipe.video = vdsample::Video::kMjpeg;
    recipe.width = 64;
    recipe.height = 48;
    recipe.fps = 30;
    recipe.frames = 120;
    TempFile file("thirty.avi", vdsample::Make(recipe).bytes);
    int port = OpenSample(file);
    ASSERT_GE(port, 0);
    int seconds = -1;
    ASSERT_EQ(sdk->GetFileTime(port, &seconds), 0);
    EXPECT_EQ(seconds, 4);
    uint8_t info[12];
    ASSERT_EQ(sdk->GetMediaInfo(port, info), 0);
    EXPECT_EQ(info[4], 30);
    // The last second: pictures 90 to 119.
    ASSERT_EQ(sdk->SetPlayTime(port, 3), 0);
    Collector got;
    got.keepData = false;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), 30u);
    for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i].stamp, unsigned((90 + i) * 1000 / 30)) << i;
    EXPECT_EQ(pictures.back().stamp, 3966u);
    EXPECT_EQ(got.Snapshot().back().stamp, 4000u);  // the end
    EXPECT_EQ(sdk->SetPlayTime(port, 4), 0);
    EXPECT_EQ(sdk->SetPlayTime(port, 5), KV_ERR_OUT_OF_RANGE);
    EXPECT_EQ(sdk->CloseFile(port), 0);
}

// Interlaced Motion-JPEG (two fields a chunk) plays at its full height, the
// fields' rows woven.
TEST_F(SdkBounded, InterlacedMotionJpegPlaysAtFullHeight) {
    vdsample::Recipe recipe;
    recipe.video = vdsample::Video::kMjpeg;
    recipe.interlaced = true;
    recipe.width = 48;
    recipe.height = 32;
    recipe.frames = 3;
    TempFile file("interlaced.avi", vdsample::Make(recipe).bytes);
    Collector got;
    PlayFile(file.path(), &got, 3);
    std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), 3u);
    for (int n = 0; n < 3; ++n) {
        const Frame& f = pictures[n];
        EXPECT_EQ(f.width, 48);
        ASSERT_EQ(f.height, 32);
        EXPECT_EQ(f.kind, KV_FRAME_YV12);
        ASSERT_EQ(f.data.size(), 48u * 32 * 3 / 2);
        for (int y = 0; y < 32; ++y) {
            const int level = (y & 1) ? vdsample::BottomFieldLevel(n) : vdsample::JpegLevel(n);
            EXPECT_NEAR(f.data[size_t(y) * 48 + 20], vdsample::StudioLevel(level), 2)
                << "picture " << n << " row " << y;
        }
    }
}

// A port is found by other calls only once its open has finished: another
// thread that calls on every number meets either no port or an open one,
// never one without its length or picture size, while ports open, close
// and are freed all along.
TEST_F(SdkBounded, PortsAreFoundOnlyOnceOpen) {
    vdsample::Recipe recipe;
    recipe.frames = 60;  // 2.4 s
    recipe.framesPerRiff = 20;
    recipe.index = vdsample::Index::kOpenDml;
    vdsample::File made = vdsample::Make(recipe);
    TempFile file("opening.avi", made.bytes);
    std::atomic<bool> done{false};
    std::atomic<int> halfMade{0}, seenOpen{0};
    std::thread watcher([&] {
        while (!done.load()) {
            for (int port = 0; port < 64; ++port) {
                int seconds = -1;
                uint8_t info[12] = {0};
                int r = sdk->GetFileTime(port, &seconds);
                if (r == KV_ERR_BAD_PORT) continue;
                int m = sdk->GetMediaInfo(port, info);
                if (m == KV_ERR_BAD_PORT) continue;
                // A file port lasts 2 s; a stream port (0 s) knows its picture size.
                if (r != 0 || m != 0 || (seconds != 2 && seconds != 0) || info[0] != 32) {
                    halfMade++;
                } else {
                    seenOpen++;
                }
            }
        }
    });
    int failures = 0;
    for (int round = 0; round < 300; ++round) {
        int filePort = -1, streamPort = -1;
        failures += sdk->OpenFile(file.path().c_str(), &filePort) != 0;
        failures += sdk->OpenStream(made.bytes.data(), int(made.streamHeaderLength), &streamPort) != 0;
        if (round % 10 == 9) {
            failures += sdk->Free() != 0;
        } else {
            failures += sdk->CloseFile(filePort) != 0;
            failures += sdk->CloseStream(streamPort) != 0;
        }
    }
    done = true;
    watcher.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(halfMade.load(), 0);
    EXPECT_GT(seenOpen.load(), 0);  // the watcher did meet open ports
}

// A test file that cannot be written fails the test that needed it, instead
// of leaving the test to check something else.
TEST(SdkHarness, ATestFileThatCannotBeWrittenFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(TempFile("no_such_folder\\file.avi", std::vector<uint8_t>(16, 1)),
                            "cannot write the test file");
}

}  // namespace
