// DemoPlay.dll decoding H.264, H.265 and Motion-JPEG: files and streams (raw
// Annex-B, and AVI fed in pieces) give exactly the pictures ffmpeg decodes
// from the same clips (made at test time by tests/demoplay/make-clips), at
// their stamps; seeking, joining a stream in its middle, a size change, and
// damaged or cut data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/codec_clips.h"
#include "demoplay/sdk_harness.h"

using namespace sdktest;
using vdtest::ClipPath;
using vdtest::FindPicture;
using vdtest::ReadClip;
using vdtest::ReferencePictures;

namespace {

using Pictures = std::vector<std::vector<uint8_t>>;

// Live streams never end, so the last few pictures stay in the splitter and
// the decoder (reordering, threads) until more data would come.
constexpr size_t kHeldAtStreamEnd = 6;

void ExpectIdentical(const std::vector<Frame>& got, size_t gotFrom, const Pictures& expected, size_t count,
                     int width, int height, const char* what, int kind = KV_FRAME_I420) {
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

// ffmpeg's pictures of a clip in the layout of the kind the SDK hands over:
// H.264 and H.265 as I420, Motion-JPEG 4:2:0 as YV12 and 4:2:2 as YUY2.
Pictures ExpectedPictures(const std::string& yuvName, int kind, int width = 320, int height = 240) {
  Pictures pictures = ReferencePictures(yuvName, width, height, kind == KV_FRAME_YUY2);
  for (std::vector<uint8_t>& p : pictures) {
    if (kind == KV_FRAME_YV12) p = vdtest::SwapChromaPlanes(p, width, height);
    if (kind == KV_FRAME_YUY2) p = vdtest::PackYuy2(p, width, height);
  }
  return pictures;
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

struct FileCase {
  const char* clip;
  int pictures;
  bool sound;
  int kind = KV_FRAME_I420;
};

class SdkCodecFiles : public SdkCodecTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(SdkCodecFiles, DeliversFfmpegsPicturesAtTheirStampsThenTheEnd) {
  const FileCase& c = GetParam();
  const std::string name = c.clip;
  const Pictures expected = ExpectedPictures(name + ".yuv", c.kind);
  ASSERT_EQ(int(expected.size()), c.pictures) << "the clip " << name << " was not made";
  int port = -1;
  ASSERT_EQ(sdk->OpenFile(ClipPath(name + ".avi").c_str(), &port), 0);
  uint8_t info[12] = {};
  ASSERT_EQ(sdk->GetMediaInfo(port, info), 0);
  EXPECT_EQ(info[0] | (info[1] << 8), 320);
  EXPECT_EQ(info[2] | (info[3] << 8), 240);
  EXPECT_EQ(info[4], 100);

  Collector got;
  ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
  ASSERT_TRUE(got.WaitForEnd());
  const std::vector<Frame> pictures = got.Pictures();
  ASSERT_EQ(int(pictures.size()), c.pictures);
  ExpectIdentical(pictures, 0, expected, expected.size(), 320, 240, c.clip, c.kind);
  for (int i = 0; i < c.pictures; ++i) EXPECT_EQ(pictures[i].stamp, unsigned(i * 10)) << i;
  EXPECT_EQ(got.Snapshot().back().kind, KV_FRAME_NOTIFY);
  EXPECT_EQ(got.Count(KV_FRAME_SOUND) > 0, c.sound);
  EXPECT_EQ(sdk->CloseFile(port), 0);
}

INSTANTIATE_TEST_SUITE_P(Clips, SdkCodecFiles,
                         ::testing::Values(FileCase{"h264", 30, true}, FileCase{"h264_b", 40, true},
                                           FileCase{"hevc", 30, false}, FileCase{"hevc_b", 30, false},
                                           FileCase{"mjpeg", 30, true, KV_FRAME_YV12},
                                           FileCase{"mjpeg422", 30, false, KV_FRAME_YUY2},
                                           FileCase{"mjpeg_interlaced", 20, false, KV_FRAME_YV12}));

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

INSTANTIATE_TEST_SUITE_P(Pieces, SdkCodecStreams,
                         ::testing::Values(StreamCase{"h264.h264", "h264.yuv", 1},
                                           StreamCase{"h264.h264", "h264.yuv", 7},
                                           StreamCase{"h264.h264", "h264.yuv", 4096},
                                           StreamCase{"h264.h264", "h264.yuv", 1 << 20},
                                           StreamCase{"h264_b.h264", "h264_b.yuv", 333},
                                           StreamCase{"hevc.h265", "hevc.yuv", 1},
                                           StreamCase{"hevc.h265", "hevc.yuv", 5000},
                                           StreamCase{"mjpeg.avi", "mjpeg.yuv", 1, KV_FRAME_YV12, 0},
                                           StreamCase{"mjpeg.avi", "mjpeg.yuv", 4096, KV_FRAME_YV12, 0},
                                           StreamCase{"mjpeg422.avi", "mjpeg422.yuv", 777, KV_FRAME_YUY2, 0},
                                           StreamCase{"mjpeg_interlaced.avi", "mjpeg_interlaced.yuv", 5000,
                                                      KV_FRAME_YV12, 0}));

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
  std::vector<size_t> slices;
  for (size_t i = 0; i + 5 <= bytes.size(); ++i)
    if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && ((bytes[i + 3] & 0x1F) == 1 || (bytes[i + 3] & 0x1F) == 5))
      slices.push_back(i);
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

// A copy of the SDK in a folder of its own, without avcodec-59.dll and
// avutil-57.dll: Motion-JPEG still plays (stb_image's pictures, as RGB32);
// H.264 is unsupported.
TEST(SdkWithoutCodecLibraries, PlaysMotionJpegAsRgb32AndRefusesH264) {
  char temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string folder = std::string(temp) + "vd_sdk_alone_" + std::to_string(GetCurrentProcessId());
  const std::string dll = folder + "\\DemoPlayAlone.dll";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(CopyFileA(sdktest::BuiltSdkPath().c_str(), dll.c_str(), FALSE));
  Sdk alone;
  ASSERT_TRUE(sdktest::LoadSdkFrom(dll, &alone));
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
  DeleteFileA(dll.c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST_F(SdkCodecTest, SeekingDecodesFromTheKeyPictureAndHandsOverFromTheTarget) {
  const Pictures expected = ReferencePictures("h264_seek.yuv", 160, 128);
  ASSERT_EQ(expected.size(), 150u);
  int port = -1;
  ASSERT_EQ(sdk->OpenFile(ClipPath("h264_seek.avi").c_str(), &port), 0);
  // Key pictures at 0, 40, 80 and 120: one second (picture 100) is decoded
  // from picture 80 on.
  ASSERT_EQ(sdk->SetPlayTime(port, 1), 0);
  Collector got;
  ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
  ASSERT_TRUE(got.WaitForEnd());
  const std::vector<Frame> pictures = got.Pictures();
  ASSERT_EQ(pictures.size(), 50u);
  const Pictures tail(expected.begin() + 100, expected.end());
  ExpectIdentical(pictures, 0, tail, 50, 160, 128, "after the seek");
  for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i].stamp, unsigned(1000 + i * 10)) << i;

  // Played again after its end, from the start.
  got.Clear();
  ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
  ASSERT_TRUE(got.WaitForEnd());
  ExpectIdentical(got.Pictures(), 0, expected, 150, 160, 128, "played again");
  EXPECT_EQ(sdk->CloseFile(port), 0);
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
  EXPECT_EQ(setRate(stream, 1, 100), KV_ERR_ARGUMENT);      // 0.01 per second
  EXPECT_EQ(setRate(stream, 2000, 1), KV_ERR_ARGUMENT);     // 2000 per second
  EXPECT_EQ(setRate(stream, 30, 1), 0);
  EXPECT_EQ(sdk->StartRecord(stream, "raw.avi"), KV_ERR_UNSUPPORTED);
  EXPECT_EQ(setRate(99, 30, 1), KV_ERR_BAD_PORT);
  EXPECT_EQ(sdk->CloseStream(stream), 0);
  EXPECT_EQ(sdk->CloseFile(file), 0);
}

}  // namespace
