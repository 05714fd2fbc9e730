// DemoPlay.dll decoding H.264, H.265 and Motion-JPEG, and cameras' sound
// (G.711, IMA ADPCM, AAC): files and streams (raw Annex-B, and AVI fed in
// pieces) give exactly the pictures ffmpeg decodes from the same clips (made
// at test time by tests/sdk/make-clips), at their stamps, and ffmpeg's
// sound through the SDK's resampler; seeking, joining a stream in its middle,
// a size change, and damaged or cut data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "common/codec_clips.h"
#include "core/avi_parser.h"
#include "core/resampler.h"
#include "sdk/sdk_harness.h"

using namespace demoplay_test;
using vdtest::ClipPath;
using vdtest::FindPicture;
using vdtest::ReadClip;
using vdtest::ReferencePictures;

namespace {

using Pictures = std::vector<std::vector<uint8_t>>;

// Live streams never end, so the last few pictures stay in the splitter and
// the decoder (reordering, threads) until more data would come.
constexpr size_t kHeldAtStreamEnd = 6;

void ExpectIdentical(const std::vector<Frame>& got, size_t gotFrom, const Pictures& expected, size_t count, int width,
                     int height, const char* what, int kind = KV_FRAME_I420) {
    ASSERT_GE(got.size(), gotFrom + count) << what;
    ASSERT_GE(expected.size(), count) << what;
    for (size_t i = 0; i < count; ++i) {
        const Frame& f = got[gotFrom + i];
        EXPECT_EQ(f.kind, kind) << what << " picture " << i;
        EXPECT_EQ(f.width, width) << what << " picture " << i;
        EXPECT_EQ(f.height, height) << what << " picture " << i;
        ASSERT_EQ(f.data.size(), expected[i].size()) << what << " picture " << i;
        EXPECT_TRUE(std::memcmp(f.data.data(), expected[i].data(), f.data.size()) == 0)
            << what << ": picture " << i << " differs from ffmpeg's";
    }
}

// ffmpeg's planar pictures in the layout of the kind the SDK hands over:
// H.264 and H.265 as I420, Motion-JPEG 4:2:0 as YV12 and 4:2:2 as YUY2.
// Where each H.264 slice's start code begins in an Annex-B stream.
std::vector<size_t> SliceStarts(const std::vector<uint8_t>& bytes) {
    std::vector<size_t> slices;
    for (size_t i = 0; i + 5 <= bytes.size(); ++i)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 &&
            ((bytes[i + 3] & 0x1F) == 1 || (bytes[i + 3] & 0x1F) == 5))
            slices.push_back(i);
    return slices;
}

Pictures InKind(Pictures pictures, int kind, int width = 320, int height = 240) {
    for (std::vector<uint8_t>& p : pictures) {
        if (kind == KV_FRAME_YV12) p = vdtest::SwapChromaPlanes(p, width, height);
        if (kind == KV_FRAME_YUY2) p = vdtest::PackYuy2(p, width, height);
    }
    return pictures;
}

Pictures ExpectedPictures(const std::string& yuvName, int kind, int width = 320, int height = 240) {
    return InKind(ReferencePictures(yuvName, width, height, kind == KV_FRAME_YUY2), kind, width, height);
}

// The key flags ('K' or '_') of a file's pictures as the SDK's own parser
// reads them: from the standard indexes its super-indexes name, or from its
// 'idx1' alone (the super-indexes hidden).
std::string IndexKeyFlags(std::vector<uint8_t> bytes, bool idx1Only) {
    if (idx1Only)
        for (size_t at = 0; at + 4 < bytes.size(); ++at)
            if (std::memcmp(&bytes[at], "indx", 4) == 0) bytes[at] = 'x';
    demoplay::AviFileInfo info;
    demoplay::MemorySource source(bytes.data(), bytes.size());
    if (demoplay::ParseAviFile(source, &info) != demoplay::AviStatus::kOk) return "unreadable";
    const auto from =
        idx1Only ? demoplay::AviFileInfo::IndexSource::kIdx1 : demoplay::AviFileInfo::IndexSource::kSuperIndex;
    if (info.indexSource != from) return "another index";
    std::string flags;
    for (const demoplay::ChunkRef& r : info.videoChunks) flags += r.key ? 'K' : '_';
    return flags;
}

int WaitForPictures(Collector* got, size_t count) {
    got->WaitFor([&](const std::vector<Frame>& all) {
        size_t n = 0;
        for (const Frame& f : all) n += f.kind >= KV_FRAME_RGB32;
        return n >= count;
    });
    return int(got->Pictures().size());
}

using SetRateFn = int(__cdecl*)(int, int, int);
SetRateFn SetStreamFrameRate(const Sdk* sdk) {
    return reinterpret_cast<SetRateFn>(reinterpret_cast<void*>(GetProcAddress(sdk->module, "KV_SetStreamFrameRate")));
}

class SdkCodecTest : public SdkFixture {
protected:
    // Opens a raw stream with the first 12 bytes (the length the SDK asks
    // for), plays it and feeds the rest in pieces of 1 to maxPiece bytes.
    int PlayStream(const std::vector<uint8_t>& bytes, size_t maxPiece, Collector* got, unsigned seed) {
        int port = -1;
        EXPECT_EQ(sdk->OpenStream(bytes.data(), 12, &port), 0);
        if (port < 0) return -1;
        EXPECT_EQ(sdk->Play(port, &Collector::Callback, got), 0);
        Feed(port, bytes.data() + 12, bytes.size() - 12, seed, maxPiece);
        return port;
    }
};

enum class Mode { kFile, kStream, kLive, kRecording };
const char* ModeName(Mode m) {
    switch (m) {
        case Mode::kFile:
            return "file";
        case Mode::kStream:
            return "stream";
        case Mode::kLive:
            return "live";
        case Mode::kRecording:
            return "recording";
    }
    return "";
}

// A camera's compressed sound in a clip, with ffmpeg's decode of it beside
// the clip (<clip>.sound, mono at the clip's rate). The SDK's sound must be
// that decode put through the SDK's resampler, sample for sample. AAC too:
// its decoder computes in float, yet the 32-bit Windows build of the same
// libavcodec source gives the machine's ffmpeg's samples bit for bit; a
// tolerance (in 16-bit steps) would say where it does not.
struct CameraSound {
    uint32_t rate = 0;  // 0: no camera sound
    bool isFloat = false;
    int tolerance = 0;
    // A stored block (bytes, 0 for an AAC chunk) and the samples it holds.
    uint32_t blockBytes = 1;
    uint32_t blockSamples = 1;
};
constexpr CameraSound kG711{8000, false, 0, 1, 1};
constexpr CameraSound kImaAdpcm{8000, false, 0, 1024, 2041};
constexpr CameraSound kAac16k{16000, true, 0, 0, 1024};
constexpr CameraSound kAac8k{8000, true, 0, 0, 1024};

struct ClipCase {
    const char* clip;
    int pictures;
    bool sound;
    bool bPictures;
    int kind = KV_FRAME_I420;  // Motion-JPEG: YV12 (4:2:0) or YUY2 (4:2:2)
    bool interlaced = false;   // fields woven top first
    CameraSound camera = {};
};

std::vector<uint8_t> JoinedSound(const std::vector<Frame>& sounds) {
    std::vector<uint8_t> all;
    for (const Frame& s : sounds) all.insert(all.end(), s.data.begin(), s.data.end());
    return all;
}

// ffmpeg's decode of a camera's sound as the SDK hands it over.
std::vector<int16_t> ResampledTheSdksWay(const std::vector<uint8_t>& decoded, const CameraSound& s) {
    demoplay::Resampler resampler;
    std::vector<int16_t> out;
    if (!resampler.Configure(s.rate, 1, s.isFloat ? 32 : 16,
                             s.isFloat ? demoplay::SampleFormat::kFloat : demoplay::SampleFormat::kInteger))
        return out;
    resampler.Process(decoded.data(), decoded.size(), &out);
    return out;
}

// The sound handed over is `expected` (from its start, `count` samples of
// it, all when 0), each sample within `tolerance`, and stamped where its
// samples begin (the first at firstMs).
void ExpectSound(const std::vector<Frame>& sounds, const std::vector<int16_t>& expected, int tolerance,
                 const std::string& what, size_t count = 0, double firstMs = 0) {
    const std::vector<uint8_t> joined = JoinedSound(sounds);
    ASSERT_FALSE(expected.empty()) << what;
    if (count == 0) {
        ASSERT_EQ(joined.size(), expected.size() * 2) << what << ": sound of another length than ffmpeg's";
        count = expected.size();
    }
    ASSERT_LE(count * 2, joined.size()) << what;
    size_t differing = 0, first = 0;
    int worst = 0;
    for (size_t i = 0; i < count; ++i) {
        int16_t v;
        std::memcpy(&v, joined.data() + 2 * i, 2);
        const int d = std::abs(int(v) - int(expected[i]));
        if (d > tolerance && differing++ == 0) first = i;
        worst = std::max(worst, d);
    }
    EXPECT_EQ(differing, 0u) << what << ": samples off ffmpeg's by more than " << tolerance << ", the first at "
                             << first << ", by up to " << worst;
    // 16 samples a millisecond; the resampler's window holds back the first
    // chunk's last few samples (about a millisecond) to the next chunk.
    size_t before = 0;
    for (const Frame& s : sounds) {
        EXPECT_NEAR(double(s.stamp), firstMs + double(before) / 16.0, 3.0)
            << what << ": the stamp of sound at sample " << before;
        before += s.data.size() / 2;
    }
}

void WaitForSoundBytes(Collector* got, size_t bytes) {
    got->WaitFor([&](const std::vector<Frame>& all) {
        size_t n = 0;
        for (const Frame& f : all) n += f.kind == KV_FRAME_SOUND ? f.data.size() : 0;
        return n >= bytes;
    });
}

class SdkCodecClips : public SdkCodecTest, public ::testing::WithParamInterface<std::tuple<ClipCase, Mode>> {
protected:
    // Plays the clip as a file, recording it from a little after its start;
    // returns the pictures played and fills the recording's path and the
    // pictures handed over when the recording had started.
    void Record(const ClipCase& c, const TempFile& recording, Collector* played, int* shownAtStart) {
        int port = -1;
        ASSERT_EQ(sdk->OpenFile(ClipPath(std::string(c.clip) + ".avi").c_str(), &port), 0);
        ASSERT_EQ(sdk->Play(port, &Collector::Callback, played), 0);
        ASSERT_GE(WaitForPictures(played, 5), 5);
        ASSERT_EQ(sdk->StartRecord(port, recording.path().c_str()), 0);
        *shownAtStart = int(played->Pictures().size());
        ASSERT_TRUE(played->WaitForEnd());
        EXPECT_EQ(sdk->StopRecord(port), 0);
        EXPECT_EQ(sdk->CloseFile(port), 0);
    }
};

// Each clip as a file, as an AVI live stream pushed in pieces (every picture,
// the last ones once the movie data ends), pushed picture by picture (each
// out before the next is pushed: nothing held back), and recorded from its
// middle and played back.
TEST_P(SdkCodecClips, EveryPictureIsFfmpegsAtItsStamp) {
    const ClipCase& c = std::get<0>(GetParam());
    const Mode mode = std::get<1>(GetParam());
    const std::string name = c.clip;
    const Pictures expected = ExpectedPictures(name + ".yuv", c.kind);
    ASSERT_EQ(int(expected.size()), c.pictures) << "the clip " << name << " was not made";
    const std::vector<uint8_t> bytes = ReadClip(name + ".avi");
    const CameraSound& camera = c.camera;
    const std::vector<int16_t> sound =
        camera.rate ? ResampledTheSdksWay(ReadClip(name + ".sound"), camera) : std::vector<int16_t>();
    Collector got;
    int port = -1;
    size_t from = 0;  // the first of the clip's pictures expected
    switch (mode) {
        case Mode::kFile: {
            ASSERT_EQ(sdk->OpenFile(ClipPath(name + ".avi").c_str(), &port), 0);
            uint8_t info[12] = {};
            ASSERT_EQ(sdk->GetMediaInfo(port, info), 0);
            EXPECT_EQ(info[0] | (info[1] << 8), 320);
            EXPECT_EQ(info[2] | (info[3] << 8), 240);
            EXPECT_EQ(info[4], 100);
            ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
            ASSERT_TRUE(got.WaitForEnd());
            EXPECT_EQ(got.Snapshot().back().kind, KV_FRAME_NOTIFY);
            EXPECT_EQ(sdk->CloseFile(port), 0);
            break;
        }
        case Mode::kStream: {
            port = PlayStream(bytes, 3000, &got, 17);
            ASSERT_GE(port, 0);
            ASSERT_GE(WaitForPictures(&got, expected.size()), c.pictures)
                << "pictures held back at the end of the movie data";
            WaitForSoundBytes(&got, sound.size() * 2);
            Sleep(50);
            EXPECT_EQ(got.Count(KV_FRAME_NOTIFY), 0);  // streams have no end
            EXPECT_EQ(sdk->CloseStream(port), 0);
            break;
        }
        case Mode::kLive: {
            // Each picture comes out once decoded: with B-pictures, as late as the
            // reordering these clips declare (two pictures); the end of the movie
            // data hands over the rest.
            const int delay = c.bPictures ? 2 : 0;
            const vdtest::AviPieces pieces = vdtest::CutAvi(bytes);
            ASSERT_GT(pieces.headerLength, 0u);
            ASSERT_EQ(sdk->OpenStream(bytes.data(), int(pieces.headerLength), &port), 0);
            ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
            int pushed = 0;
            for (const vdtest::AviPieces::Chunk& chunk : pieces.chunks) {
                ASSERT_EQ(sdk->InputData(port, bytes.data() + chunk.offset, int(chunk.length)), 0);
                if (!chunk.video) continue;
                if (++pushed <= delay) continue;
                ASSERT_GE(WaitForPictures(&got, size_t(pushed - delay)), pushed - delay)
                    << "picture " << pushed - delay - 1 << " is held back";
            }
            ASSERT_GE(WaitForPictures(&got, expected.size()), int(expected.size()))
                << "held back at the end of the movie";
            WaitForSoundBytes(&got, sound.size() * 2);
            EXPECT_EQ(sdk->CloseStream(port), 0);
            break;
        }
        case Mode::kRecording: {
            TempFile recording(name + "_recording.avi");
            Collector played;
            int shownAtStart = 0;
            Record(c, recording, &played, &shownAtStart);
            const vdtest::FfmpegView view =
                vdtest::ViewWithFfmpeg(recording.path(), 320, 240, c.kind == KV_FRAME_YUY2, c.interlaced);
            ASSERT_TRUE(view.ran) << view.errors;
            EXPECT_EQ(view.errors, "") << "ffmpeg finds fault with the recording";
            EXPECT_EQ(view.headerFrames, view.packets) << "the header's frame count";
            EXPECT_EQ(int(view.pictures.size()), view.packets) << "pictures ffmpeg decodes";
            // Only the key pictures are flagged as such in both indexes: those
            // ffmpeg's parsers find in the pictures (every Motion-JPEG picture).
            ASSERT_EQ(int(view.keyFlags.size()), view.packets);
            EXPECT_EQ(view.keyFlags[0], 'K');
            EXPECT_EQ(view.keyFlags.find('_') == std::string::npos, c.kind != KV_FRAME_I420) << view.keyFlags;
            const std::vector<uint8_t> recorded = ReadWholeFile(recording.path());
            EXPECT_EQ(IndexKeyFlags(recorded, false), view.keyFlags) << "the standard indexes' key flags";
            EXPECT_EQ(IndexKeyFlags(recorded, true), view.keyFlags) << "the key flags of 'idx1'";
            PlayFile(recording.path(), &got, view.packets);
            const Pictures viewed = InKind(view.pictures, c.kind);
            ExpectIdentical(got.Pictures(), 0, viewed, viewed.size(), 320, 240, "played back", c.kind);
            // H.264 and H.265: from the last key picture at or before the one on
            // display at the start (each clip has one after its first); every
            // Motion-JPEG picture from the next one after the start on; to the
            // clip's end.
            const std::vector<Frame> first = got.Pictures();
            ASSERT_FALSE(first.empty());
            const int at = FindPicture(expected, first[0].data.data(), first[0].data.size());
            ASSERT_GE(at, 0);
            if (c.kind == KV_FRAME_I420)
                EXPECT_LT(at, shownAtStart) << "the recording does not hold the picture on display at its start";
            else
                EXPECT_GT(at, 0) << "the recording does not start at a picture played after its start";
            EXPECT_EQ(at + view.packets, c.pictures);
            from = size_t(at);
            if (camera.rate) {
                // The camera's sound as it came, from the block that holds the
                // first recorded picture's time on; played back as ffmpeg decodes it.
                size_t clipChunks = 0, recordedChunks = 0;
                const std::vector<uint8_t> original = vdtest::SoundChunkData(bytes, &clipChunks);
                const std::vector<uint8_t> kept =
                    vdtest::SoundChunkData(ReadWholeFile(recording.path()), &recordedChunks);
                ASSERT_GT(kept.size(), 0u);
                ASSERT_LE(kept.size(), original.size());
                EXPECT_TRUE(std::equal(kept.begin(), kept.end(), original.end() - ptrdiff_t(kept.size())))
                    << "the recorded sound is not the camera's";
                const size_t left = original.size() - kept.size();
                const uint64_t leftSamples = camera.blockBytes ? left / camera.blockBytes * camera.blockSamples
                                                               : (clipChunks - recordedChunks) * camera.blockSamples;
                if (camera.blockBytes) {
                    EXPECT_EQ(left % camera.blockBytes, 0u) << "cut within a block";
                }
                const uint64_t firstSample = uint64_t(from) * 10 * camera.rate / 1000;
                EXPECT_LE(leftSamples, firstSample) << "sound of the recorded pictures left out";
                EXPECT_GT(leftSamples + camera.blockSamples, firstSample) << "sound before the first picture kept";
                std::string errors;
                const std::vector<uint8_t> decoded =
                    vdtest::FfmpegSound(recording.path(), camera.isFloat ? "f32le" : "s16le", &errors);
                EXPECT_EQ(errors, "") << "ffmpeg finds fault with the recording's sound";
                ExpectSound(got.Sounds(), ResampledTheSdksWay(decoded, camera), camera.tolerance, "played back");
            } else if (c.sound) {
                // In step: the sound played from the first recorded picture's time on.
                const std::vector<uint8_t> all = JoinedSound(played.Sounds()), recorded = JoinedSound(got.Sounds());
                const size_t offset = from * 10 * 32;  // 16 kHz mono 16-bit: 32 bytes a millisecond
                ASSERT_GT(recorded.size(), 0u);
                ASSERT_EQ(offset + recorded.size(), all.size());
                EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), all.begin() + ptrdiff_t(offset)))
                    << "the recorded sound is not in step with its pictures";
            }
            break;
        }
    }
    const std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), expected.size() - from);
    const Pictures tail(expected.begin() + ptrdiff_t(from), expected.end());
    ExpectIdentical(pictures, 0, tail, tail.size(), 320, 240, c.clip, c.kind);
    for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i].stamp, unsigned(i * 10)) << i;
    if (mode != Mode::kRecording) {
        EXPECT_EQ(got.Count(KV_FRAME_SOUND) > 0, c.sound);
        if (camera.rate) ExpectSound(got.Sounds(), sound, camera.tolerance, std::string(c.clip) + " sound");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, SdkCodecClips,
    ::testing::Combine(::testing::Values(ClipCase{"h264", 30, true, false}, ClipCase{"h264_b", 40, true, true},
                                         ClipCase{"hevc", 30, false, false}, ClipCase{"hevc_b", 30, false, true},
                                         ClipCase{"avc1_b", 40, false, true}, ClipCase{"hvc1_b", 30, false, true},
                                         ClipCase{"mjpeg", 30, true, false, KV_FRAME_YV12},
                                         ClipCase{"mjpeg422", 30, false, false, KV_FRAME_YUY2},
                                         ClipCase{"mjpeg_interlaced", 20, false, false, KV_FRAME_YV12, true},
                                         ClipCase{"mjpeg_alaw", 100, true, false, KV_FRAME_YV12, false, kG711},
                                         ClipCase{"mjpeg_mulaw", 100, true, false, KV_FRAME_YV12, false, kG711},
                                         ClipCase{"mjpeg_adpcm", 100, true, false, KV_FRAME_YV12, false, kImaAdpcm},
                                         ClipCase{"mjpeg_aac", 100, true, false, KV_FRAME_YV12, false, kAac16k},
                                         ClipCase{"mjpeg_aac_adts", 100, true, false, KV_FRAME_YV12, false, kAac8k}),
                       ::testing::Values(Mode::kFile, Mode::kStream, Mode::kLive, Mode::kRecording)),
    [](const ::testing::TestParamInfo<std::tuple<ClipCase, Mode>>& i) {
        return std::string(std::get<0>(i.param).clip) + "_" + ModeName(std::get<1>(i.param));
    });

struct StreamCase {
    const char* clip;
    const char* yuv;
    size_t maxPiece;
    int kind = KV_FRAME_I420;
    size_t held = kHeldAtStreamEnd;  // an AVI stream's last chunk is complete when its bytes are in
};

class SdkCodecStreams : public SdkCodecTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(SdkCodecStreams, PiecesOfAnySizeGiveFfmpegsPicturesPacedByTheStreamsTiming) {
    const StreamCase& c = GetParam();
    const std::vector<uint8_t> bytes = ReadClip(c.clip);
    const Pictures expected = ExpectedPictures(c.yuv, c.kind);
    ASSERT_GT(expected.size(), c.held);
    Collector got;
    const int port = PlayStream(bytes, c.maxPiece, &got, unsigned(c.maxPiece));
    ASSERT_GE(port, 0);
    const size_t wanted = expected.size() - c.held;
    ASSERT_GE(size_t(WaitForPictures(&got, wanted)), wanted);
    const std::vector<Frame> pictures = got.Pictures();
    ExpectIdentical(pictures, 0, expected, pictures.size(), 320, 240, c.clip, c.kind);
    for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i].stamp, unsigned(i * 10)) << i;
    uint8_t info[12] = {};
    ASSERT_EQ(sdk->GetMediaInfo(port, info), 0);
    EXPECT_EQ(info[0] | (info[1] << 8), 320);
    EXPECT_EQ(info[2] | (info[3] << 8), 240);
    EXPECT_EQ(info[4], 100);
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, SdkCodecStreams,
    ::testing::Values(StreamCase{"h264.h264", "h264.yuv", 1}, StreamCase{"h264.h264", "h264.yuv", 7},
                      StreamCase{"h264.h264", "h264.yuv", 4096}, StreamCase{"h264.h264", "h264.yuv", 1 << 20},
                      StreamCase{"h264_b.h264", "h264_b.yuv", 333}, StreamCase{"hevc.h265", "hevc.yuv", 1},
                      StreamCase{"hevc.h265", "hevc.yuv", 5000},
                      StreamCase{"mjpeg.avi", "mjpeg.yuv", 1, KV_FRAME_YV12, 0},
                      StreamCase{"mjpeg.avi", "mjpeg.yuv", 4096, KV_FRAME_YV12, 0},
                      StreamCase{"mjpeg422.avi", "mjpeg422.yuv", 777, KV_FRAME_YUY2, 0},
                      StreamCase{"mjpeg_interlaced.avi", "mjpeg_interlaced.yuv", 5000, KV_FRAME_YV12, 0}));

TEST_F(SdkCodecTest, AStreamFollowsASizeChange) {
    const std::vector<uint8_t> bytes = ReadClip("sizes.h264");
    const Pictures first = ReferencePictures("sizes_a.yuv", 320, 240);
    const Pictures second = ReferencePictures("sizes_b.yuv", 176, 144);
    ASSERT_EQ(first.size(), 15u);
    ASSERT_EQ(second.size(), 15u);
    Collector got;
    const int port = PlayStream(bytes, 1000, &got, 3);
    ASSERT_GE(port, 0);
    ASSERT_GE(size_t(WaitForPictures(&got, 30 - kHeldAtStreamEnd)), 30 - kHeldAtStreamEnd);
    const std::vector<Frame> pictures = got.Pictures();
    ExpectIdentical(pictures, 0, first, 15, 320, 240, "before the change");
    ExpectIdentical(pictures, 15, second, pictures.size() - 15, 176, 144, "after the change");
    uint8_t info[12] = {};
    ASSERT_EQ(sdk->GetMediaInfo(port, info), 0);
    EXPECT_EQ(info[0] | (info[1] << 8), 176);
    EXPECT_EQ(info[2] | (info[3] << 8), 144);
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

// Offsets of the start codes "00 00 00 01" followed by an H.264 SPS.
std::vector<size_t> SequenceHeaders(const std::vector<uint8_t>& b) {
    std::vector<size_t> at;
    for (size_t i = 0; i + 5 <= b.size(); ++i)
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 0 && b[i + 3] == 1 && (b[i + 4] & 0x1F) == 7) at.push_back(i);
    return at;
}

TEST_F(SdkCodecTest, JoiningAStreamInItsMiddleStartsAtItsNextKeyPicture) {
    const std::vector<uint8_t> whole = ReadClip("h264_b.h264");
    const Pictures expected = ReferencePictures("h264_b.yuv", 320, 240);
    const std::vector<size_t> headers = SequenceHeaders(whole);
    ASSERT_GE(headers.size(), 3u);
    // Joined a little before the second key picture: the bytes before it
    // belong to pictures that cannot be decoded.
    const std::vector<uint8_t> joined(whole.begin() + ptrdiff_t(headers[1] - 200), whole.end());
    std::vector<uint8_t> stream = {0, 0, 0, 1, 0x09, 0xF0};  // an access-unit delimiter to open with
    stream.insert(stream.end(), joined.begin(), joined.end());
    Collector got;
    const int port = PlayStream(stream, 500, &got, 9);
    ASSERT_GE(port, 0);
    ASSERT_GE(WaitForPictures(&got, 12), 12);
    const std::vector<Frame> pictures = got.Pictures();
    const int first = FindPicture(expected, pictures[0].data.data(), pictures[0].data.size());
    EXPECT_EQ(first, 12) << "the first picture is not the key picture of the second group";
    ASSERT_GE(first, 0);
    const Pictures rest(expected.begin() + first, expected.end());
    ExpectIdentical(pictures, 0, rest, std::min(rest.size(), pictures.size()), 320, 240, "joined");
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

// Every picture handed over is one of ffmpeg's, in order; damaged ones are
// not handed over.
void ExpectOnlyIntactPicturesInOrder(const std::vector<Frame>& pictures, const Pictures& expected,
                                     std::vector<int>* found) {
    size_t from = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const int at = FindPicture(expected, pictures[i].data.data(), pictures[i].data.size(), from);
        EXPECT_GE(at, 0) << "picture " << i << " is damaged or out of order";
        if (at < 0) continue;
        found->push_back(at);
        from = size_t(at) + 1;
    }
}

TEST_F(SdkCodecTest, DamagedPicturesAreSkippedAndDecodingResumesAtTheNextKeyPicture) {
    std::vector<uint8_t> bytes = ReadClip("h264.h264");
    const Pictures expected = ReferencePictures("h264.yuv", 320, 240);
    ASSERT_EQ(expected.size(), 30u);
    // Garbage over the middle of the fifth picture's slice data (key pictures
    // are 0, 10 and 20).
    const std::vector<size_t> slices = SliceStarts(bytes);
    ASSERT_EQ(slices.size(), 30u);
    const size_t from = slices[4] + 12, to = slices[5] - 4;
    ASSERT_LT(from, to);
    for (size_t i = from; i < to; ++i) bytes[i] = uint8_t(0xA5 ^ (i * 29));
    Collector got;
    const int port = PlayStream(bytes, 2000, &got, 5);
    ASSERT_GE(port, 0);
    // Pictures from the next key picture on arrive.
    got.WaitFor([&](const std::vector<Frame>& all) {
        for (const Frame& f : all)
            if (f.kind == KV_FRAME_I420 && f.data == expected[16]) return true;
        return false;
    });
    std::vector<int> found;
    ExpectOnlyIntactPicturesInOrder(got.Pictures(), expected, &found);
    EXPECT_NE(std::find(found.begin(), found.end(), 3), found.end()) << "pictures before the damage are lost";
    EXPECT_NE(std::find(found.begin(), found.end(), 10), found.end()) << "the next key picture is lost";
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

// A raw stream's picture is handed over once the input is quiet after it,
// without waiting for the next one to begin. A picture cut by a pause in its
// middle is never shown as it was decoded from part of it: it is decoded
// again, whole, from its group's key picture on, and no picture is lost.
TEST_F(SdkCodecTest, ARawPictureComesWhenTheInputIsQuietAndACutOneIsDecodedAgainWhole) {
    const std::vector<uint8_t> bytes = ReadClip("h264.h264");
    const Pictures expected = ReferencePictures("h264.yuv", 320, 240);
    ASSERT_EQ(expected.size(), 30u);
    const std::vector<size_t> slices = SliceStarts(bytes);
    ASSERT_EQ(slices.size(), 30u);  // one slice a picture; key pictures are 0, 10 and 20
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(bytes.data(), 12, &port), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    // Pictures 0 to 4, and nothing of picture 5: picture 4 comes all the same.
    Feed(port, bytes.data() + 12, slices[5] - 12, 1, 4096);
    ASSERT_EQ(WaitForPictures(&got, 5), 5);
    // Half of picture 5, a pause, the rest of the stream.
    const size_t half = (slices[5] + slices[6]) / 2;
    Feed(port, bytes.data() + slices[5], half - slices[5], 2, 4096);
    Sleep(300);
    Feed(port, bytes.data() + half, bytes.size() - half, 3, 4096);
    ASSERT_GE(WaitForPictures(&got, 29), 29);
    const std::vector<Frame> pictures = got.Pictures();
    ExpectIdentical(pictures, 0, expected, pictures.size(), 320, 240, "cut");
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

TEST_F(SdkCodecTest, GarbageAfterAStartCodeNeitherCrashesNorHangs) {
    std::vector<uint8_t> bytes = {0, 0, 0, 1, 0x67};
    for (int i = 0; i < 200000; ++i) bytes.push_back(uint8_t((i * 7919) >> 3));
    Collector got;
    const int port = PlayStream(bytes, 3000, &got, 11);
    ASSERT_GE(port, 0);
    // A valid stream after the garbage still plays.
    const std::vector<uint8_t> good = ReadClip("h264.h264");
    const Pictures expected = ReferencePictures("h264.yuv", 320, 240);
    Feed(port, good.data(), good.size(), 12, 4000);
    ASSERT_GE(WaitForPictures(&got, 20), 20);
    std::vector<int> found;
    ExpectOnlyIntactPicturesInOrder(got.Pictures(), expected, &found);
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

TEST_F(SdkCodecTest, ACutFilePlaysWhatItHoldsToTheEnd) {
    const std::vector<uint8_t> whole = ReadClip("h264_b.avi");
    const Pictures expected = ReferencePictures("h264_b.yuv", 320, 240);
    ASSERT_FALSE(whole.empty());
    TempFile cut("cut_h264.avi", std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(whole.size() * 6 / 10)));
    int port = -1;
    ASSERT_EQ(sdk->OpenFile(cut.path().c_str(), &port), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    std::vector<int> found;
    ExpectOnlyIntactPicturesInOrder(got.Pictures(), expected, &found);
    EXPECT_GE(found.size(), 10u);
    EXPECT_EQ(sdk->CloseFile(port), 0);
}

// Pictures spoiled by ffmpeg's noise filter: those whose data does not
// decode cleanly are skipped (ffmpeg's decode with -err_detect explode); the
// others are ffmpeg's, and the file plays to its end.
TEST_F(SdkCodecTest, ADamagedMotionJpegFileSkipsTheSpoiledPicturesAndPlaysToItsEnd) {
    const Pictures expected = ExpectedPictures("mjpeg_damaged.yuv", KV_FRAME_YV12);
    ASSERT_GE(expected.size(), 5u);
    ASSERT_LT(expected.size(), 30u) << "the noise spoiled no picture";
    int port = -1;
    ASSERT_EQ(sdk->OpenFile(ClipPath("mjpeg_damaged.avi").c_str(), &port), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    const std::vector<Frame> pictures = got.Pictures();
    EXPECT_EQ(pictures.size(), expected.size());
    ExpectIdentical(pictures, 0, expected, std::min(pictures.size(), expected.size()), 320, 240, "damaged",
                    KV_FRAME_YV12);
    EXPECT_EQ(sdk->CloseFile(port), 0);
}

enum class SoundDamage { kSpoilt, kCut };

struct SoundDamageCase {
    const char* clip;
    CameraSound sound;
    size_t chunk;  // the sound chunk damaged
    SoundDamage damage;
    size_t from, to;  // kSpoilt: the bytes of the chunk set to 0x7F; kCut: the size it is cut to (from)
    // Blocks of ADPCM stand alone: the rest is ffmpeg's decode exactly, with
    // the damaged block's samples silent. AAC frames overlap: the sound keeps
    // its length and is ffmpeg's up to the damage.
    bool standAlone;
};

// The clip with one sound chunk damaged: its bytes spoilt, or the chunk cut
// short (the rest of its room a JUNK chunk, its index entry cut too).
std::vector<uint8_t> DamageSoundChunk(std::vector<uint8_t> file, const SoundDamageCase& c) {
    const vdtest::AviPieces pieces = vdtest::CutAvi(file);
    std::vector<size_t> sound;
    for (const vdtest::AviPieces::Chunk& chunk : pieces.chunks)
        if (!chunk.video) sound.push_back(chunk.offset);
    if (c.chunk >= sound.size()) return {};
    const size_t at = sound[c.chunk];
    const uint32_t size = uint32_t(file[at + 4] | (file[at + 5] << 8) | (file[at + 6] << 16) | (file[at + 7] << 24));
    if (c.damage == SoundDamage::kSpoilt) {
        for (size_t i = c.from; i < std::min<size_t>(c.to, size); ++i) file[at + 8 + i] = 0x7F;
        return file;
    }
    const uint32_t cut = uint32_t(c.from), junk = (size + (size & 1)) - (cut + (cut & 1)) - 8;
    auto put32 = [&](size_t where, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[where + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put32(at + 4, cut);
    const size_t junkAt = at + 8 + cut + (cut & 1);
    std::memcpy(&file[junkAt], "JUNK", 4);
    put32(junkAt + 4, junk);
    // The 'idx1' entry, whose offset counts from the 'movi' code.
    const size_t movi = pieces.headerLength - 4;
    for (size_t e = pieces.restOffset + 8; e + 16 <= file.size(); e += 16) {
        const uint32_t offset =
            uint32_t(file[e + 8] | (file[e + 9] << 8) | (file[e + 10] << 16) | (uint32_t(file[e + 11]) << 24));
        if (std::memcmp(&file[e], &file[at], 4) == 0 && offset == at - movi) put32(e + 12, cut);
    }
    return file;
}

class SdkCodecSoundDamage : public SdkCodecTest,
                            public ::testing::WithParamInterface<std::tuple<SoundDamageCase, Mode>> {};

// A damaged or cut sound block is silence of its length; the pictures all
// come, and the sound around the damage is untouched.
TEST_P(SdkCodecSoundDamage, ABadSoundBlockIsSilenceAndThePicturesPlayToTheEnd) {
    const SoundDamageCase& c = std::get<0>(GetParam());
    const Mode mode = std::get<1>(GetParam());
    const std::string name = c.clip;
    const Pictures expected = ExpectedPictures(name + ".yuv", KV_FRAME_YV12);
    ASSERT_EQ(expected.size(), 100u) << "the clip " << name << " was not made";
    const std::vector<uint8_t> bytes = DamageSoundChunk(ReadClip(name + ".avi"), c);
    ASSERT_FALSE(bytes.empty());
    std::vector<uint8_t> decoded = ReadClip(name + ".sound");
    const size_t damagedFrom = c.chunk * c.sound.blockSamples;
    if (c.standAlone) {
        // 16-bit samples: the block silent, a cut one as long as its share of a block.
        const size_t silent =
            c.damage == SoundDamage::kCut ? c.from * c.sound.blockSamples / c.sound.blockBytes : c.sound.blockSamples;
        ASSERT_LE(2 * (damagedFrom + silent), decoded.size());
        std::fill(decoded.begin() + ptrdiff_t(2 * damagedFrom), decoded.begin() + ptrdiff_t(2 * (damagedFrom + silent)),
                  0);
        if (c.damage == SoundDamage::kCut) decoded.resize(std::min(decoded.size(), 2 * (damagedFrom + silent)));
    }
    const std::vector<int16_t> sound = ResampledTheSdksWay(decoded, c.sound);
    Collector got;
    int port = -1;
    if (mode == Mode::kFile) {
        TempFile file(name + "_damaged.avi", bytes);
        ASSERT_EQ(sdk->OpenFile(file.path().c_str(), &port), 0);
        ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
        ASSERT_TRUE(got.WaitForEnd());
        EXPECT_EQ(sdk->CloseFile(port), 0);
    } else {
        port = PlayStream(bytes, 5000, &got, 23);
        ASSERT_GE(port, 0);
        WaitForPictures(&got, expected.size());
        WaitForSoundBytes(&got, sound.size() * 2);
        EXPECT_EQ(sdk->CloseStream(port), 0);
    }
    const std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), expected.size());
    ExpectIdentical(pictures, 0, expected, expected.size(), 320, 240, "beside damaged sound", KV_FRAME_YV12);
    if (c.standAlone) {
        ExpectSound(got.Sounds(), sound, 0, name + " damaged");
    } else {
        // Up to the damaged frame (the resampler's window before it aside).
        EXPECT_EQ(JoinedSound(got.Sounds()).size(), sound.size() * 2) << "not silence of the frame's length";
        ExpectSound(got.Sounds(), sound, c.sound.tolerance, name + " before the damage",
                    damagedFrom * 16000 / c.sound.rate - 64);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, SdkCodecSoundDamage,
    ::testing::Combine(::testing::Values(
                           // The step index of block 1 out of range (libavcodec refuses the block).
                           SoundDamageCase{"mjpeg_adpcm", kImaAdpcm, 1, SoundDamage::kSpoilt, 2, 4, true},
                           // The last block cut to 600 of its 1024 bytes.
                           SoundDamageCase{"mjpeg_adpcm", kImaAdpcm, 3, SoundDamage::kCut, 600, 0, true},
                           SoundDamageCase{"mjpeg_aac", kAac16k, 5, SoundDamage::kSpoilt, 0, 100000, false},
                           // An ADTS frame cut short within its chunk.
                           SoundDamageCase{"mjpeg_aac_adts", kAac8k, 4, SoundDamage::kCut, 100, 0, false}),
                       ::testing::Values(Mode::kFile, Mode::kStream)),
    [](const ::testing::TestParamInfo<std::tuple<SoundDamageCase, Mode>>& i) {
        const SoundDamageCase& c = std::get<0>(i.param);
        return std::string(c.clip) + (c.damage == SoundDamage::kCut ? "_cut_" : "_spoilt_") +
               ModeName(std::get<1>(i.param));
    });

// A copy of the SDK in a folder of its own, without avcodec-59.dll and
// avutil-57.dll: Motion-JPEG still plays (stb_image's pictures, as RGB32);
// H.264 is unsupported.
TEST(SdkWithoutCodecLibraries, PlaysMotionJpegAsRgb32AndRefusesH264) {
    demoplay_test::SdkCopy copy("DemoPlayAlone.dll");
    ASSERT_TRUE(copy.loaded());
    const Sdk& alone = copy.sdk;
    ASSERT_EQ(alone.Initial(), 0);
    int port = -1;
    EXPECT_EQ(alone.OpenFile(ClipPath("h264.avi").c_str(), &port), KV_ERR_UNSUPPORTED);
    ASSERT_EQ(alone.OpenFile(ClipPath("mjpeg.avi").c_str(), &port), 0);
    Collector got;
    got.keepData = false;
    ASSERT_EQ(alone.Play(port, &Collector::Callback, &got), 0);
    EXPECT_TRUE(got.WaitForEnd());
    const std::vector<Frame> pictures = got.Pictures();
    EXPECT_EQ(pictures.size(), 30u);
    for (const Frame& f : pictures) {
        EXPECT_EQ(f.kind, KV_FRAME_RGB32);
        EXPECT_EQ(f.size, 320 * 240 * 4);
    }
    EXPECT_EQ(alone.CloseFile(port), 0);
    EXPECT_EQ(alone.Free(), 0);
    FreeLibrary(alone.module);
}

struct SeekCase {
    const char* clip;
    const char* keys;  // where the seek to one second starts decoding
    // A camera's sound, stored in chunks of so many samples: it starts at the
    // chunk that holds the target.
    CameraSound sound = {};
    size_t chunkSamples = 0;
};

class SdkCodecSeeks : public SdkCodecTest, public ::testing::WithParamInterface<SeekCase> {};

TEST_P(SdkCodecSeeks, SeekingDecodesFromTheKeyPictureAndHandsOverFromTheTarget) {
    const SeekCase& c = GetParam();
    const std::string name = c.clip;
    const Pictures expected = ReferencePictures(name + ".yuv", 160, 128);
    ASSERT_EQ(expected.size(), 150u);
    int port = -1;
    ASSERT_EQ(sdk->OpenFile(ClipPath(name + ".avi").c_str(), &port), 0);
    ASSERT_EQ(sdk->SetPlayTime(port, 1), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    const std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), 50u) << c.keys;
    const Pictures tail(expected.begin() + 100, expected.end());
    ExpectIdentical(pictures, 0, tail, 50, 160, 128, "after the seek");
    for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i].stamp, unsigned(1000 + i * 10)) << i;
    if (c.sound.rate) {
        // ffmpeg's decode from that chunk on, resampled afresh.
        const std::vector<Frame> sounds = got.Sounds();
        ASSERT_FALSE(sounds.empty());
        const unsigned first = sounds[0].stamp;
        const size_t chunkMs = c.chunkSamples * 1000 / c.sound.rate;
        EXPECT_LE(first, 1000u);
        EXPECT_GT(first + chunkMs, 1000u) << "the sound starts before the chunk of the target";
        const size_t chunk = (size_t(first) * c.sound.rate / 1000 + c.chunkSamples - 1) / c.chunkSamples;
        const std::vector<uint8_t> decoded = ReadClip(name + ".sound");
        ASSERT_LT(2 * chunk * c.chunkSamples, decoded.size());
        const std::vector<uint8_t> rest(decoded.begin() + ptrdiff_t(2 * chunk * c.chunkSamples), decoded.end());
        ExpectSound(sounds, ResampledTheSdksWay(rest, c.sound), 0, name + " after the seek", 0, first);
    }

    // Played again after its end, from the start.
    got.Clear();
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitForEnd());
    ExpectIdentical(got.Pictures(), 0, expected, 150, 160, 128, "played again");
    EXPECT_EQ(sdk->CloseFile(port), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, SdkCodecSeeks,
    ::testing::Values(SeekCase{"h264_seek", "from the IDR picture 80, B-pictures"},
                      SeekCase{"hevc_open", "from the CRA picture shown 100th, whose leading pictures cannot decode"},
                      SeekCase{"h264_seek_alaw", "from the IDR picture 80, A-law sound", kG711, 1024},
                      SeekCase{"h264_seek_adpcm", "from the IDR picture 80, IMA ADPCM sound", kImaAdpcm, 2041}),
    [](const ::testing::TestParamInfo<SeekCase>& i) { return std::string(i.param.clip); });

// Seeks while the file plays, each at a moment a picture may be decoding
// outside the port's lock: once KV_SetPlayTime has returned, no callback
// begins with a picture stamped before the target.
TEST_F(SdkCodecTest, NoPictureFromBeforeASeekComesAfterIt) {
    int port = -1;
    ASSERT_EQ(sdk->OpenFile(ClipPath("h264_seek.avi").c_str(), &port), 0);
    Collector got;
    got.keepData = false;
    // A slow consumer: the decoding thread is always behind, and decodes the
    // next picture as soon as a callback returns, which is when the seek
    // below comes.
    got.onFrame = [](const Frame& f) {
        if (f.kind != KV_FRAME_SOUND) Sleep(15);
    };
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    int late = 0;
    for (unsigned round = 1; round <= 60; ++round) {
        ASSERT_EQ(sdk->SetPlayTime(port, 0), 0);
        // A few pictures from the start, then the seek to one second.
        const size_t before = got.Pictures().size();
        ASSERT_GE(WaitForPictures(&got, before + 2 + round % 3), int(before + 2 + round % 3));
        ASSERT_EQ(sdk->SetPlayTime(port, 1), 0);
        got.epoch = round;
        ASSERT_GE(WaitForPictures(&got, got.Pictures().size() + 1), 1);
        for (const Frame& f : got.Pictures()) late += f.epoch == round && f.stamp < 1000;
    }
    EXPECT_EQ(late, 0) << "pictures from before a seek came after it";
    EXPECT_EQ(sdk->CloseFile(port), 0);
}

struct RawRecordCase {
    const char* clip;
    std::vector<const char*> yuv;  // the reference pictures, by size
    std::vector<std::pair<int, int>> sizes;
};

class SdkCodecRawRecordings : public SdkCodecTest, public ::testing::WithParamInterface<RawRecordCase> {};

// A camera's raw stream recorded from its middle, across a change of picture
// size where the stream has one: the recording starts at a key picture with
// its parameter sets and plays back whole.
TEST_P(SdkCodecRawRecordings, ARawStreamRecordedFromItsMiddlePlaysBackWhole) {
    const RawRecordCase& c = GetParam();
    const std::vector<uint8_t> bytes = ReadClip(c.clip);
    Pictures references;  // of every size, one after the other
    for (size_t i = 0; i < c.yuv.size(); ++i) {
        const Pictures part = ReferencePictures(c.yuv[i], c.sizes[i].first, c.sizes[i].second);
        references.insert(references.end(), part.begin(), part.end());
    }
    Collector got;
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(bytes.data(), 12, &port), 0);
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    const size_t half = bytes.size() / 3;
    Feed(port, bytes.data() + 12, half - 12, 4, 700);
    ASSERT_GE(WaitForPictures(&got, 3), 3);
    TempFile recording("raw_recording.avi");
    ASSERT_EQ(sdk->StartRecord(port, recording.path().c_str()), 0);
    const int shownAtStart = int(got.Pictures().size());
    Feed(port, bytes.data() + half, bytes.size() - half, 5, 700);
    ASSERT_GE(WaitForPictures(&got, 20), 20);
    EXPECT_EQ(sdk->CloseStream(port), 0);  // completes the recording
    ASSERT_TRUE(TempFile::Exists(recording.path()));

    const vdtest::FfmpegView view = vdtest::ViewWithFfmpeg(recording.path(), c.sizes[0].first, c.sizes[0].second);
    ASSERT_TRUE(view.ran) << view.errors;
    EXPECT_EQ(view.errors, "") << "ffmpeg finds fault with the recording";
    EXPECT_EQ(view.headerFrames, view.packets) << "the header's frame count";
    ASSERT_GT(view.packets, 5);
    Collector replayed;
    PlayFile(recording.path(), &replayed, view.packets);
    // Every picture one of ffmpeg's of the stream, in order, the first a key
    // picture at or before the one on display at the start.
    const std::vector<Frame> pictures = replayed.Pictures();
    int last = -1;
    for (size_t i = 0; i < pictures.size() && (i == 0 || last >= 0); ++i) {
        const int at = FindPicture(references, pictures[i].data.data(), pictures[i].data.size(), size_t(last + 1));
        if (i == 0) {
            EXPECT_LT(at, shownAtStart) << "the recording does not hold the picture on display at its start";
        }
        EXPECT_EQ(at, i == 0 ? std::max(at, 0) : last + 1) << "picture " << i;
        EXPECT_EQ(pictures[i].stamp, unsigned(i * 10)) << i;
        last = at;
    }
    // One size: ffmpeg's decode of the recording is the same pictures.
    if (c.sizes.size() == 1)
        ExpectIdentical(pictures, 0, view.pictures, view.pictures.size(), c.sizes[0].first, c.sizes[0].second,
                        "played");
}

INSTANTIATE_TEST_SUITE_P(Clips, SdkCodecRawRecordings,
                         ::testing::Values(RawRecordCase{"h264.h264", {"h264.yuv"}, {{320, 240}}},
                                           RawRecordCase{"hevc.h265", {"hevc.yuv"}, {{320, 240}}},
                                           RawRecordCase{
                                               "sizes.h264", {"sizes_a.yuv", "sizes_b.yuv"}, {{320, 240}, {176, 144}}}),
                         [](const ::testing::TestParamInfo<RawRecordCase>& i) {
                             std::string n = i.param.clip;
                             return n.substr(0, n.find('.'));
                         });

TEST_F(SdkCodecTest, RecordingsHoldOnlyPicturesThatDecode) {
    // H.264 without B-pictures, key pictures at 0, 10 and 20, pushed a
    // picture at a time.
    const std::vector<uint8_t> bytes = ReadClip("h264.avi");
    const vdtest::AviPieces pieces = vdtest::CutAvi(bytes);
    ASSERT_GT(pieces.headerLength, 0u);
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(bytes.data(), int(pieces.headerLength), &port), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    int pictures = 0;
    size_t next = 0;
    auto pushUpTo = [&](int count) {
        for (; next < pieces.chunks.size() && pictures < count; ++next) {
            const vdtest::AviPieces::Chunk& chunk = pieces.chunks[next];
            ASSERT_EQ(sdk->InputData(port, bytes.data() + chunk.offset, int(chunk.length)), 0);
            pictures += chunk.video;
        }
        ASSERT_GE(WaitForPictures(&got, size_t(pictures)), pictures);
    };
    // No key picture seen yet: nothing to keep.
    TempFile recording("no_key.avi");
    ASSERT_EQ(sdk->StartRecord(port, recording.path().c_str()), 0);
    EXPECT_EQ(sdk->StopRecord(port), KV_ERR_NOT_READY);
    EXPECT_FALSE(TempFile::Exists(recording.path()));
    EXPECT_FALSE(TempFile::Exists(recording.path() + ".recording"));

    // Started with picture 11 on display and stopped before the next key
    // picture: the recording holds key picture 10 and what followed it.
    pushUpTo(12);
    TempFile fromKey("from_key.avi");
    ASSERT_EQ(sdk->StartRecord(port, fromKey.path().c_str()), 0);
    pushUpTo(20);  // pictures 12 to 19: none is a key picture
    EXPECT_EQ(sdk->StopRecord(port), 0);
    const vdtest::FfmpegView before = vdtest::ViewWithFfmpeg(fromKey.path(), 320, 240);
    ASSERT_TRUE(before.ran) << before.errors;
    EXPECT_EQ(before.errors, "");
    const Pictures expected = ReferencePictures("h264.yuv", 320, 240);
    ASSERT_EQ(before.pictures.size(), 10u);
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(before.pictures[i], expected[10 + i]) << i;

    // Started with key picture 20 on display, and pictures 21 to 23; then
    // the stream data is cleared and goes on with
    // pictures 25 and 26, which cannot be decoded without 24 and are not
    // recorded (they keep their places, empty), then key picture 10 and
    // picture 11 whole and half of 12: the port closes with the recording of
    // the whole pictures that decode.
    pushUpTo(21);
    ASSERT_EQ(sdk->StartRecord(port, recording.path().c_str()), 0);
    pushUpTo(24);
    ASSERT_EQ(sdk->ClearBuffer(port), 0);
    std::vector<const vdtest::AviPieces::Chunk*> videoChunks;
    for (const vdtest::AviPieces::Chunk& chunk : pieces.chunks)
        if (chunk.video) videoChunks.push_back(&chunk);
    ASSERT_EQ(videoChunks.size(), 30u);
    for (int picture : {25, 26, 10, 11})
        ASSERT_EQ(sdk->InputData(port, bytes.data() + videoChunks[size_t(picture)]->offset,
                                 int(videoChunks[size_t(picture)]->length)),
                  0);
    ASSERT_GE(WaitForPictures(&got, size_t(pictures + 2)), pictures + 2);
    ASSERT_EQ(sdk->InputData(port, bytes.data() + videoChunks[12]->offset, int(videoChunks[12]->length / 2)), 0);
    EXPECT_EQ(sdk->CloseStream(port), 0);
    const vdtest::FfmpegView view = vdtest::ViewWithFfmpeg(recording.path(), 320, 240);
    ASSERT_TRUE(view.ran) << view.errors;
    EXPECT_EQ(view.errors, "");
    EXPECT_EQ(view.headerFrames, 6 + 2);
    EXPECT_EQ(view.packets, 6);
    ASSERT_EQ(view.pictures.size(), 6u);
    const int recorded[] = {20, 21, 22, 23, 10, 11};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(view.pictures[size_t(i)], expected[size_t(recorded[i])]) << i;
}

// Stream data cleared while recording: the pictures up to the next key
// picture cannot be decoded and are not written, but keep their places (as
// empty chunks), so that the sound, which went on, stays in step with the
// pictures: the recording holds a place for every picture the port took
// and all the sound it took.
TEST_F(SdkCodecTest, ARecordingKeepsItsSoundInStepAcrossAClear) {
    const std::vector<uint8_t> bytes = ReadClip("h264.avi");  // key pictures at 0, 10 and 20
    const vdtest::AviPieces pieces = vdtest::CutAvi(bytes);
    ASSERT_GT(pieces.headerLength, 0u);
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(bytes.data(), int(pieces.headerLength), &port), 0);
    TempFile recording("clear_in_step.avi");
    ASSERT_EQ(sdk->StartRecord(port, recording.path().c_str()), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    int pictures = 0, video = 0;
    size_t soundBytes = 0;
    // Pictures 0 to 5 with their sound, the data cleared, then 11 to 29.
    for (const vdtest::AviPieces::Chunk& chunk : pieces.chunks) {
        const int picture = chunk.video ? video++ : -1;
        if (picture == 6) {
            ASSERT_GE(WaitForPictures(&got, size_t(pictures)), pictures);
            ASSERT_EQ(sdk->ClearBuffer(port), 0);
        }
        if (video > 6 && video <= 11) continue;
        if (video > 30 || (!chunk.video && video == 30)) break;  // the pictures' sound, no more
        ASSERT_EQ(sdk->InputData(port, bytes.data() + chunk.offset, int(chunk.length)), 0);
        if (chunk.video) ++pictures;
        uint32_t size = 0;
        std::memcpy(&size, &bytes[chunk.offset + 4], 4);
        if (!chunk.video) soundBytes += size;
    }
    ASSERT_EQ(pictures, 6 + 19);
    ASSERT_GE(WaitForPictures(&got, 6 + 10), 6 + 10);
    EXPECT_EQ(sdk->CloseStream(port), 0);
    const std::vector<uint8_t> recorded = ReadWholeFile(recording.path());
    demoplay::AviFileInfo info;
    demoplay::MemorySource source(recorded.data(), recorded.size());
    ASSERT_EQ(demoplay::ParseAviFile(source, &info), demoplay::AviStatus::kOk);
    ASSERT_EQ(info.videoChunks.size(), size_t(pictures)) << "places for the pictures taken";
    size_t written = 0, recordedSound = 0;
    for (const demoplay::ChunkRef& r : info.videoChunks) written += r.size > 0;
    for (const demoplay::ChunkRef& r : info.audioChunks) recordedSound += r.size;
    EXPECT_EQ(written, 6u + 10u) << "pictures that decode";
    EXPECT_EQ(recordedSound, soundBytes);
    const vdtest::FfmpegView view = vdtest::ViewWithFfmpeg(recording.path(), 320, 240);
    ASSERT_TRUE(view.ran) << view.errors;
    EXPECT_EQ(view.errors, "");
}

// A recording started right after another stopped starts at a key picture
// played during the first: its sound is kept for it too, and each recording
// holds the sound played from its first picture's time on.
TEST_F(SdkCodecTest, BackToBackRecordingsBothKeepTheirSoundInStep) {
    const Pictures expected = ReferencePictures("h264.yuv", 320, 240);  // key pictures at 0, 10 and 20
    int port = -1;
    ASSERT_EQ(sdk->OpenFile(ClipPath("h264.avi").c_str(), &port), 0);
    Collector played;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &played), 0);
    ASSERT_GE(WaitForPictures(&played, 5), 5);
    TempFile first("first.avi"), second("second.avi");
    ASSERT_EQ(sdk->StartRecord(port, first.path().c_str()), 0);
    ASSERT_GE(WaitForPictures(&played, 14), 14);
    EXPECT_EQ(sdk->StopRecord(port), 0);
    ASSERT_EQ(sdk->StartRecord(port, second.path().c_str()), 0);
    ASSERT_TRUE(played.WaitForEnd());
    EXPECT_EQ(sdk->StopRecord(port), 0);
    EXPECT_EQ(sdk->CloseFile(port), 0);
    const std::vector<uint8_t> all = JoinedSound(played.Sounds());
    for (const TempFile* recording : {&first, &second}) {
        Collector replayed;
        int again = -1;
        ASSERT_EQ(sdk->OpenFile(recording->path().c_str(), &again), 0);
        ASSERT_EQ(sdk->Play(again, &Collector::Callback, &replayed), 0);
        ASSERT_TRUE(replayed.WaitForEnd());
        EXPECT_EQ(sdk->CloseFile(again), 0);
        const std::vector<Frame> pictures = replayed.Pictures();
        ASSERT_FALSE(pictures.empty());
        const int at = FindPicture(expected, pictures[0].data.data(), pictures[0].data.size());
        ASSERT_GE(at, 0);
        EXPECT_EQ(at % 10, 0) << "not a key picture";
        const std::vector<uint8_t> recorded = JoinedSound(replayed.Sounds());
        const size_t offset = size_t(at) * 10 * 32;  // 16 kHz mono 16-bit: 32 bytes a millisecond
        ASSERT_GT(recorded.size(), 0u) << recording->path();
        ASSERT_LE(offset + recorded.size(), all.size()) << recording->path();
        EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), all.begin() + ptrdiff_t(offset)))
            << recording->path() << ": the sound is not in step with the pictures";
    }
}

struct RateCase {
    int rate, scale;  // 0: not told
    unsigned stamp5;  // the stamp of picture 5
};

class SdkCodecRates : public SdkCodecTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(SdkCodecRates, AStreamWithoutTimingIsStampedAtTheRateItWasGivenElse25) {
    const RateCase& c = GetParam();
    const std::vector<uint8_t> bytes = ReadClip("hevc_untimed.h265");
    const Pictures expected = ReferencePictures("hevc_untimed.yuv", 320, 240);
    ASSERT_EQ(expected.size(), 20u);
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(bytes.data(), 12, &port), 0);
    SetRateFn setRate = SetStreamFrameRate(sdk);
    ASSERT_NE(setRate, nullptr);
    if (c.rate) {
        ASSERT_EQ(setRate(port, c.rate, c.scale), 0);
    }
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    Feed(port, bytes.data() + 12, bytes.size() - 12, 1, 9000);
    ASSERT_GE(WaitForPictures(&got, 8), 8);
    const std::vector<Frame> pictures = got.Pictures();
    ExpectIdentical(pictures, 0, expected, pictures.size(), 320, 240, "untimed");
    EXPECT_EQ(pictures[5].stamp, c.stamp5);
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, SdkCodecRates,
                         ::testing::Values(RateCase{0, 0, 200}, RateCase{50, 1, 100}, RateCase{200, 1, 25},
                                           RateCase{30000, 1001, 166}));

TEST_F(SdkCodecTest, TheStreamRateIsForRawStreamsOnlyAndSane) {
    SetRateFn setRate = SetStreamFrameRate(sdk);
    ASSERT_NE(setRate, nullptr);
    int file = -1;
    ASSERT_EQ(sdk->OpenFile(ClipPath("h264.avi").c_str(), &file), 0);
    EXPECT_EQ(setRate(file, 30, 1), KV_ERR_WRONG_PORT_TYPE);
    const std::vector<uint8_t> bytes = ReadClip("h264.h264");
    int stream = -1;
    ASSERT_EQ(sdk->OpenStream(bytes.data(), 12, &stream), 0);
    EXPECT_EQ(sdk->GetMediaInfo(stream, std::vector<uint8_t>(12).data()), KV_ERR_NOT_READY);
    EXPECT_EQ(setRate(stream, 0, 1), KV_ERR_ARGUMENT);
    EXPECT_EQ(setRate(stream, 1, 100), KV_ERR_ARGUMENT);   // 0.01 per second
    EXPECT_EQ(setRate(stream, 2000, 1), KV_ERR_ARGUMENT);  // 2000 per second
    EXPECT_EQ(setRate(stream, 30, 1), 0);
    EXPECT_EQ(sdk->StartRecord(stream, "raw.avi"), KV_ERR_NOT_READY);  // no picture decoded yet
    EXPECT_EQ(setRate(99, 30, 1), KV_ERR_BAD_PORT);
    EXPECT_EQ(sdk->CloseStream(stream), 0);
    EXPECT_EQ(sdk->CloseFile(file), 0);
}

}  // namespace
