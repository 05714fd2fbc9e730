// DemoPlay.dll's live streams and recordings, called as the plug-in calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>

#include "sdk/sample_avi.h"
#include "sdk/sdk_harness.h"

using namespace demoplay_test;
using namespace std::chrono_literals;

namespace {

using SdkStreamTest = SdkFixture;

void ExpectSamePictures(const std::vector<Frame>& a, const std::vector<Frame>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].kind, b[i].kind) << i;
        EXPECT_EQ(a[i].stamp, b[i].stamp) << i;
        EXPECT_EQ(a[i].data, b[i].data) << i;
    }
}

std::vector<uint8_t> JoinedSound(const std::vector<Frame>& sounds) {
    std::vector<uint8_t> all;
    for (const Frame& s : sounds) all.insert(all.end(), s.data.begin(), s.data.end());
    return all;
}

struct StreamCase {
    vdsample::Video video;
    vdsample::Index index;
    bool recLists;
    size_t headerBytes;  // 0: the whole header up to the 'movi' list
    size_t maxPiece;
};

class SdkStreams : public SdkStreamTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(SdkStreams, RandomPiecesGiveTheSamePicturesAndSoundAsTheFile) {
    const StreamCase& c = GetParam();
    vdsample::Recipe recipe;
    recipe.video = c.video;
    recipe.index = c.index;
    recipe.recLists = c.recLists;
    recipe.frames = 12;
    recipe.framesPerRiff = 5;
    recipe.width = 40;
    recipe.height = 24;
    recipe.audioRate = 11025;
    recipe.audioChannels = 2;
    vdsample::File made = vdsample::Make(recipe);
    TempFile file("stream.avi", made.bytes);
    Collector fromFile;
    PlayFile(file.path(), &fromFile, 12);

    size_t header = c.headerBytes ? c.headerBytes : made.streamHeaderLength;
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(made.bytes.data(), int(header), &port), 0);
    uint8_t info[12];
    if (c.headerBytes == 0) {
        ASSERT_EQ(sdk->GetMediaInfo(port, info), 0);
        EXPECT_EQ(info[0], 40);
    } else {
        EXPECT_EQ(sdk->GetMediaInfo(port, info), KV_ERR_NOT_READY);
    }
    Collector fromStream;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &fromStream), 0);
    Feed(port, made.bytes.data() + header, made.bytes.size() - header, unsigned(c.maxPiece), c.maxPiece);
    ASSERT_TRUE(fromStream.WaitFor([](const std::vector<Frame>& f) {
        int n = 0;
        for (const Frame& x : f) n += x.kind >= KV_FRAME_RGB32;
        return n >= 12;
    }));
    ASSERT_EQ(sdk->GetMediaInfo(port, info), 0);
    EXPECT_EQ(info[2], 24);
    EXPECT_EQ(info[4], 25);
    int seconds = -1;
    EXPECT_EQ(sdk->GetFileTime(port, &seconds), 0);
    EXPECT_EQ(seconds, 0);
    EXPECT_EQ(sdk->SetPlayTime(port, 0), KV_ERR_NOT_SEEKABLE);
    Sleep(50);
    EXPECT_EQ(fromStream.Count(KV_FRAME_NOTIFY), 0);  // streams have no end
    ExpectSamePictures(fromStream.Pictures(), fromFile.Pictures());
    // The same sound, apart from the lead the file player gives it.
    std::vector<uint8_t> a = JoinedSound(fromFile.Sounds()), b = JoinedSound(fromStream.Sounds());
    EXPECT_EQ(a, b);
    EXPECT_EQ(sdk->Stop(port), 0);
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

INSTANTIATE_TEST_SUITE_P(
    All, SdkStreams,
    ::testing::Values(StreamCase{vdsample::Video::kI420, vdsample::Index::kIdx1, false, 0, 1},
                      StreamCase{vdsample::Video::kRgb32, vdsample::Index::kIdx1, true, 0, 333},
                      StreamCase{vdsample::Video::kRgb32TopDown, vdsample::Index::kOpenDml, false, 12, 5000},
                      StreamCase{vdsample::Video::kMjpeg, vdsample::Index::kOpenDml, true, 100, 64},
                      StreamCase{vdsample::Video::kUyvy, vdsample::Index::kNone, false, 0, 1 << 20},
                      StreamCase{vdsample::Video::kRgb24, vdsample::Index::kIdx1, false, 0, 77}),
    [](const ::testing::TestParamInfo<StreamCase>& i) {
        return std::string(vdsample::VideoName(i.param.video)) + "_" + vdsample::IndexName(i.param.index) +
               (i.param.recLists ? "_rec" : "") + "_pieces" + std::to_string(i.param.maxPiece);
    });

TEST_F(SdkStreamTest, InputBeyondWhatThePortHoldsIsRefused) {
    vdsample::Recipe recipe;
    recipe.width = 640;
    recipe.height = 480;
    recipe.frames = 2;
    vdsample::File made = vdsample::Make(recipe);
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(made.bytes.data(), int(made.streamHeaderLength), &port), 0);
    std::vector<uint8_t> data(made.bytes.begin() + made.streamHeaderLength, made.bytes.end());
    // Not playing: pictures pile up until the limit.
    int accepted = 0, result = 0;
    for (int i = 0; i < 200 && (result = sdk->InputData(port, data.data(), int(data.size()))) == 0; ++i) ++accepted;
    EXPECT_EQ(result, KV_ERR_BUFFER_FULL);
    EXPECT_GT(accepted, 10);
    EXPECT_LT(accepted, 200);
    EXPECT_EQ(sdk->InputData(port, data.data(), 64 << 20), KV_ERR_BUFFER_FULL);
    // Clearing makes room again.
    EXPECT_EQ(sdk->ClearBuffer(port), 0);
    EXPECT_EQ(sdk->InputData(port, data.data(), int(data.size())), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    ASSERT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 2; }));
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

// A port that fell more than a second behind a camera that kept sending goes
// on at the newest key picture it holds (every uncompressed picture is one),
// with the camera's stamps; the same pictures pushed at once are all played.
TEST_F(SdkStreamTest, FarBehindACameraThatKeepsSendingGoesOnAtTheNewestPicture) {
    vdsample::Recipe recipe;
    recipe.frames = 30;
    const vdsample::File made = vdsample::Make(recipe);
    std::vector<std::vector<uint8_t>> chunks;  // the movie's chunks, up to the index
    for (size_t at = made.streamHeaderLength; at + 8 <= made.bytes.size();) {
        if (std::memcmp(&made.bytes[at], "idx1", 4) == 0) break;
        uint32_t size = 0;
        std::memcpy(&size, &made.bytes[at + 4], 4);
        const size_t whole = 8 + size + (size & 1);
        chunks.emplace_back(made.bytes.begin() + ptrdiff_t(at), made.bytes.begin() + ptrdiff_t(at + whole));
        at += whole;
    }
    ASSERT_EQ(chunks.size(), 30u);
    struct Case {
        const char* name;
        int pauseMs;  // between chunks, while the port does not play yet
        size_t pictures;
        int first;
    } cases[] = {
        {"sent over 1.7 s", 60, 1, 29},
        {"sent at once", -1, 30, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int port = -1;
        ASSERT_EQ(sdk->OpenStream(made.bytes.data(), int(made.streamHeaderLength), &port), 0);
        if (c.pauseMs < 0) {
            std::vector<uint8_t> all;
            for (const auto& chunk : chunks) all.insert(all.end(), chunk.begin(), chunk.end());
            ASSERT_EQ(sdk->InputData(port, all.data(), int(all.size())), 0);
            Sleep(1500);  // older than a second, but not sent over one
        } else {
            for (const auto& chunk : chunks) {
                ASSERT_EQ(sdk->InputData(port, chunk.data(), int(chunk.size())), 0);
                Sleep(DWORD(c.pauseMs));
            }
        }
        Collector got;
        ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
        ASSERT_TRUE(got.WaitFor([&](const std::vector<Frame>& f) { return f.size() >= c.pictures; }));
        Sleep(300);  // nothing more comes
        const std::vector<Frame> pictures = got.Pictures();
        ASSERT_EQ(pictures.size(), c.pictures);
        EXPECT_EQ(vdsample::PictureNumber(pictures[0].kind, pictures[0].data.data(), pictures[0].data.size(), 32, 16),
                  c.first);
        EXPECT_EQ(pictures[0].stamp, unsigned(c.first * 40));
        EXPECT_EQ(sdk->CloseStream(port), 0);
    }
}

// Raw pictures larger than the port's usual 48 MiB: the port makes room for
// two of them, up to 64 MiB a picture (4096x4096 at 32 bits); a stream of
// larger ones is refused at its open rather than answering "full" for ever.
TEST_F(SdkStreamTest, RawPicturesLargerThanTheUsualLimitPlayOrAreRefusedAtOpen) {
    struct Case {
        int width, height;
        int open;  // what KV_OpenStream answers
    };
    for (Case c : {Case{4096, 4096, 0}, Case{8192, 4096, KV_ERR_UNSUPPORTED}}) {
        vdsample::Recipe recipe;
        recipe.video = vdsample::Video::kRgb32;
        recipe.frames = 1;
        std::vector<uint8_t> header;
        vdsample::File made;
        if (c.open == 0) {
            recipe.width = c.width;
            recipe.height = c.height;
            made = vdsample::Make(recipe);
            header.assign(made.bytes.begin(), made.bytes.begin() + ptrdiff_t(made.streamHeaderLength));
        } else {
            // Only the header, its BITMAPINFOHEADER given the size.
            made = vdsample::Make(recipe);
            header.assign(made.bytes.begin(), made.bytes.begin() + ptrdiff_t(made.streamHeaderLength));
            const std::string text(header.begin(), header.end());
            const size_t strf = text.find("strf");
            ASSERT_NE(strf, std::string::npos);
            std::memcpy(&header[strf + 12], &c.width, 4);
            std::memcpy(&header[strf + 16], &c.height, 4);
        }
        int port = -1;
        ASSERT_EQ(sdk->OpenStream(header.data(), int(header.size()), &port), c.open) << c.width;
        if (c.open != 0) continue;
        Collector got;
        got.keepData = false;
        ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
        // The one picture twice, in pieces of up to 1 MiB.
        const uint8_t* picture = made.bytes.data() + made.streamHeaderLength;
        const size_t pictureChunk = 8 + size_t(c.width) * size_t(c.height) * 4;
        ASSERT_LE(made.streamHeaderLength + pictureChunk, made.bytes.size());
        for (unsigned i = 0; i < 2; ++i) Feed(port, picture, pictureChunk, i, 1 << 20);
        ASSERT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 2; }));
        for (const Frame& f : got.Pictures()) EXPECT_EQ(f.size, c.width * c.height * 4);
        EXPECT_EQ(sdk->CloseStream(port), 0);
    }
}

TEST_F(SdkStreamTest, HostileStreamDataIsSkippedOrRefused) {
    vdsample::Recipe recipe;
    recipe.frames = 3;
    vdsample::File made = vdsample::Make(recipe);
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(made.bytes.data(), int(made.streamHeaderLength), &port), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    // A picture chunk that claims 2 GB is skipped without being held; the
    // stream then goes on with good pictures.
    const uint8_t huge[8] = {'0', '0', 'd', 'c', 0, 0, 0, 0x80};
    ASSERT_EQ(sdk->InputData(port, huge, 8), 0);
    std::vector<uint8_t> filler(1 << 20, 0);
    for (int i = 0; i < 2048; ++i) ASSERT_EQ(sdk->InputData(port, filler.data(), int(filler.size())), 0);
    ASSERT_EQ(sdk->ClearBuffer(port), 0);  // back to a chunk boundary
    // A short picture is skipped too.
    const uint8_t shortPicture[12] = {'0', '0', 'd', 'c', 4, 0, 0, 0, 1, 2, 3, 4};
    ASSERT_EQ(sdk->InputData(port, shortPicture, 12), 0);
    ASSERT_EQ(sdk->InputData(port, made.bytes.data() + made.streamHeaderLength,
                             int(made.bytes.size() - made.streamHeaderLength)),
              0);
    ASSERT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 3; }));
    Sleep(30);
    std::vector<Frame> pictures = got.Pictures();
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(vdsample::PictureNumber(pictures[0].kind, pictures[0].data.data(), pictures[0].data.size(), 32, 16), 0);
    EXPECT_EQ(sdk->CloseStream(port), 0);

    // Headers that never complete are refused once they pass their limit.
    ASSERT_EQ(sdk->OpenStream(made.bytes.data(), 12, &port), 0);
    std::vector<uint8_t> junk(1 << 20, 'J');
    int r = 0;
    for (int i = 0; i < 4 && r == 0; ++i) r = sdk->InputData(port, junk.data(), int(junk.size()));
    EXPECT_EQ(r, KV_ERR_CORRUPT);
    EXPECT_EQ(sdk->InputData(port, junk.data(), 10), KV_ERR_CORRUPT);
    EXPECT_EQ(sdk->Play(port, &Collector::Callback, &got), KV_ERR_CORRUPT);
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

TEST_F(SdkStreamTest, RecordingReplaysAsWhatWasPlayed) {
    for (vdsample::Video video : {vdsample::Video::kYv12, vdsample::Video::kMjpeg}) {
        vdsample::Recipe recipe;
        recipe.video = video;
        recipe.frames = 10;
        recipe.audioRate = 22050;
        TempFile source("source.avi", vdsample::Make(recipe).bytes);
        TempFile recording("recording.avi");
        int port = -1;
        ASSERT_EQ(sdk->OpenFile(source.path().c_str(), &port), 0);
        EXPECT_EQ(sdk->StartRecord(port, recording.path().c_str()), 0);
        EXPECT_EQ(sdk->StartRecord(port, recording.path().c_str()), KV_ERR_ALREADY_RECORDING);
        Collector played;
        ASSERT_EQ(sdk->Play(port, &Collector::Callback, &played), 0);
        ASSERT_TRUE(played.WaitForEnd());
        EXPECT_FALSE(TempFile::Exists(recording.path()));  // only the temporary file so far
        {
            // Unfinished, it already plays (what a crash would leave behind).
            Collector partial;
            PlayFile(recording.path() + ".recording", &partial, 10);
        }
        EXPECT_EQ(sdk->StopRecord(port), 0);
        EXPECT_EQ(sdk->StopRecord(port), KV_ERR_NOT_RECORDING);
        ASSERT_TRUE(TempFile::Exists(recording.path()));
        EXPECT_FALSE(TempFile::Exists(recording.path() + ".recording"));
        EXPECT_EQ(sdk->CloseFile(port), 0);

        Collector replayed;
        PlayFile(recording.path(), &replayed, 10);
        ExpectSamePictures(replayed.Pictures(), played.Pictures());
        EXPECT_EQ(JoinedSound(replayed.Sounds()), JoinedSound(played.Sounds()));
    }
}

TEST_F(SdkStreamTest, RecordingAStreamFromTheMiddle) {
    vdsample::Recipe recipe;
    recipe.frames = 10;
    vdsample::File made = vdsample::Make(recipe);
    TempFile recording("stream-recording.avi");
    int port = -1;
    ASSERT_EQ(sdk->OpenStream(made.bytes.data(), int(made.streamHeaderLength), &port), 0);
    Collector got;
    ASSERT_EQ(sdk->Play(port, &Collector::Callback, &got), 0);
    // The first four pictures, then the recording starts.
    size_t fifth = made.streamHeaderLength;
    std::string text(made.bytes.begin(), made.bytes.end());
    for (int i = 0; i < 4; ++i) fifth = text.find("00dc", fifth + 1);  // the first is at the start
    Feed(port, made.bytes.data() + made.streamHeaderLength, fifth - made.streamHeaderLength, 1, 100);
    ASSERT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 4; }));
    ASSERT_EQ(sdk->StartRecord(port, recording.path().c_str()), 0);
    Feed(port, made.bytes.data() + fifth, made.bytes.size() - fifth, 2, 100);
    ASSERT_TRUE(got.WaitFor([](const std::vector<Frame>& f) { return f.size() >= 10; }));
    // Closing the port completes the recording.
    EXPECT_EQ(sdk->CloseStream(port), 0);
    ASSERT_TRUE(TempFile::Exists(recording.path()));
    Collector replayed;
    PlayFile(recording.path(), &replayed, 6);
    std::vector<Frame> pictures = replayed.Pictures();
    for (size_t i = 0; i < pictures.size(); ++i)
        EXPECT_EQ(vdsample::PictureNumber(pictures[i].kind, pictures[i].data.data(), pictures[i].data.size(), 32, 16),
                  int(4 + i));

    // A recording that cannot be created.
    ASSERT_EQ(sdk->OpenStream(made.bytes.data(), int(made.streamHeaderLength), &port), 0);
    EXPECT_EQ(sdk->StartRecord(port, "Z:\\no\\such\\folder\\x.avi"), KV_ERR_RECORD_FILE);
    EXPECT_EQ(sdk->StartRecord(port, ""), KV_ERR_ARGUMENT);
    EXPECT_EQ(sdk->CloseStream(port), 0);
}

}  // namespace
