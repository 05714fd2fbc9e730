#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "core/avi_parser.h"
#include "core/avi_writer.h"
#include "core/frame_layout.h"
#include "core/jpeg_picture.h"
#include "core/stream_assembler.h"
#include "sdk/sample_avi.h"

using namespace demoplay;

namespace {

std::vector<StreamChunk> FileChunksInOrder(const std::vector<uint8_t>& bytes, const AviFileInfo& info) {
    // Merge the two per-stream lists back into file order.
    std::vector<std::pair<uint64_t, StreamChunk>> all;
    for (int s = 0; s < 2; ++s) {
        for (const ChunkRef& r : s == 0 ? info.videoChunks : info.audioChunks) {
            StreamChunk c;
            c.cls = s == 0 ? ChunkClass::kVideo : ChunkClass::kAudio;
            c.data.assign(bytes.begin() + r.offset, bytes.begin() + r.offset + r.size);
            all.emplace_back(r.offset, std::move(c));
        }
    }
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<StreamChunk> out;
    for (auto& p : all) out.push_back(std::move(p.second));
    return out;
}

TEST(StreamAssembler, PiecesOfAnySizeGiveTheFileChunksInOrder) {
    struct Case {
        vdsample::Index index;
        bool recLists;
        size_t maxPiece;
    };
    for (Case c : {Case{vdsample::Index::kIdx1, false, 1}, Case{vdsample::Index::kIdx1, true, 7},
                   Case{vdsample::Index::kOpenDml, false, 100}, Case{vdsample::Index::kOpenDml, true, 5000},
                   Case{vdsample::Index::kNone, false, 1 << 20}}) {
        vdsample::Recipe recipe;
        recipe.index = c.index;
        recipe.recLists = c.recLists;
        recipe.frames = 9;
        recipe.framesPerRiff = 3;
        recipe.width = 18;  // odd chunk sizes need pad bytes
        recipe.height = 6;
        recipe.video = vdsample::Video::kRgb32;
        recipe.audioRate = 8000;
        vdsample::File file = vdsample::Make(recipe);
        AviFileInfo info;
        MemorySource src(file.bytes.data(), file.bytes.size());
        ASSERT_EQ(ParseAviFile(src, &info), AviStatus::kOk);
        std::vector<StreamChunk> expected = FileChunksInOrder(file.bytes, info);
        ASSERT_EQ(expected.size(), 18u);

        AviHeaders headers;
        size_t moviEnd = 0;
        ASSERT_EQ(ParseStreamHeader(file.bytes.data(), file.streamHeaderLength, &headers, &moviEnd), AviStatus::kOk);
        EXPECT_EQ(moviEnd, file.streamHeaderLength);
        StreamAssembler assembler(headers, 1 << 20);
        assembler.SetMovieBytes(ReadLe32(file.bytes.data() + moviEnd - 8) - 4);
        std::vector<StreamChunk> got;
        std::mt19937 rng(unsigned(c.maxPiece));
        for (size_t pos = moviEnd; pos < file.bytes.size();) {
            size_t n = std::min<size_t>(file.bytes.size() - pos, 1 + rng() % c.maxPiece);
            assembler.Feed(file.bytes.data() + pos, n, &got);
            pos += n;
        }
        // Each movie list's end is marked once; nothing follows the last.
        ASSERT_FALSE(got.empty());
        EXPECT_TRUE(got.back().movieEnd);
        size_t ends = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            if (!got[i].movieEnd) continue;
            ++ends;
            EXPECT_TRUE(got[i].data.empty());
            got.erase(got.begin() + ptrdiff_t(i--));
        }
        EXPECT_EQ(ends, info.movi.size()) << int(c.index) << " " << c.maxPiece;
        ASSERT_EQ(got.size(), expected.size()) << int(c.index) << " " << c.maxPiece;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].cls, expected[i].cls) << i;
            EXPECT_EQ(got[i].data, expected[i].data) << i;
        }
        EXPECT_EQ(assembler.heldBytes(), 0u);
    }
}

// A sample file of so many pictures and its stream header, parsed as a
// stream port parses it (moviEnd 0 when it does not parse).
struct SampleStream {
    explicit SampleStream(int frames) {
        recipe.frames = frames;
        file = vdsample::Make(recipe);
        if (ParseStreamHeader(file.bytes.data(), file.streamHeaderLength, &headers, &moviEnd) != AviStatus::kOk)
            moviEnd = 0;
    }
    vdsample::Recipe recipe;
    vdsample::File file;
    AviHeaders headers;
    size_t moviEnd = 0;
};

TEST(StreamAssembler, OversizedChunksAreSkippedNotHeld) {
    const SampleStream stream(3);
    ASSERT_NE(stream.moviEnd, 0u);
    const vdsample::File& file = stream.file;
    const size_t moviEnd = stream.moviEnd;
    // A chunk that claims 3 GB, then a normal picture.
    std::vector<uint8_t> data = {'0', '0', 'd', 'c', 0, 0, 0, 0xC0};
    StreamAssembler assembler(stream.headers, 4096);
    std::vector<StreamChunk> got;
    assembler.Feed(data.data(), data.size(), &got);
    std::vector<uint8_t> filler(1 << 20, 0xAB);
    for (int i = 0; i < 3 * 1024; ++i) assembler.Feed(filler.data(), filler.size(), &got);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(assembler.heldBytes(), 0u);
    EXPECT_EQ(assembler.skippedChunks(), 1u);
    assembler.Reset();
    std::vector<uint8_t> rest(file.bytes.begin() + moviEnd, file.bytes.end());
    assembler.Feed(rest.data(), rest.size(), &got);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2].data, vdsample::StoredPicture(stream.recipe, 2));
}

// Delivered chunks' memory holds later chunks, within the room the port
// gives; chunks that do not fit in a spare get memory of their own.
TEST(StreamAssembler, SparesHoldLaterChunksWithinTheRoomGiven) {
    const SampleStream stream(6);
    ASSERT_NE(stream.moviEnd, 0u);
    const vdsample::File& file = stream.file;
    StreamAssembler assembler(stream.headers, 1 << 20);
    std::vector<StreamChunk> got;
    // Up to the end of the third chunk, so that the fourth starts after the recycling.
    size_t half = stream.moviEnd;
    while (got.size() < 3 && half < file.bytes.size()) assembler.Feed(file.bytes.data() + half++, 1, &got);
    ASSERT_EQ(got.size(), 3u);
    const size_t chunkMemory = got[0].data.capacity();
    std::vector<const uint8_t*> spent;
    for (StreamChunk& c : got) spent.push_back(c.data.data());
    // No room: given back. Room for one: one kept.
    assembler.Recycle(std::move(got[0].data), chunkMemory - 1);
    EXPECT_EQ(assembler.spareBytes(), 0u);
    assembler.Recycle(std::move(got[1].data), chunkMemory);
    EXPECT_EQ(assembler.spareBytes(), chunkMemory);
    for (size_t i = 2; i < got.size(); ++i) assembler.Recycle(std::move(got[i].data), chunkMemory);
    EXPECT_EQ(assembler.spareBytes(), chunkMemory);

    std::vector<StreamChunk> later;
    assembler.Feed(file.bytes.data() + half, file.bytes.size() - half, &later);
    ASSERT_FALSE(later.empty());
    EXPECT_EQ(later[0].data.data(), spent[1]) << "the spare holds the next chunk";
    EXPECT_EQ(later[0].data, vdsample::StoredPicture(stream.recipe, int(got.size())));
    EXPECT_EQ(assembler.spareBytes(), 0u);
}

// What the assembler holds (the chunk being received and the spares) counts
// against the port's limit, and a chunk takes a spare of about its size: a
// small chunk carrying a large spare into the queue would count as small.
TEST(StreamAssembler, ChunksTakeSparesOfAboutTheirSizeAndAllIsCountedAsHeld) {
    const SampleStream stream(3);
    ASSERT_NE(stream.moviEnd, 0u);
    const vdsample::File& file = stream.file;
    const size_t picture = vdsample::StoredPicture(stream.recipe, 0).size();
    ASSERT_LT(picture, size_t(64) << 10);
    struct Case {
        size_t spare;  // the capacity of the one spare
        bool taken;
    };
    for (Case c : {Case{size_t(6) << 20, false}, Case{picture + kChunkSlack, true}, Case{picture * 3 / 2, true}}) {
        StreamAssembler assembler(stream.headers, 8 << 20);
        std::vector<uint8_t> spare;
        spare.reserve(c.spare);
        const uint8_t* spareMemory = spare.data();
        assembler.Recycle(std::move(spare), size_t(48) << 20);
        EXPECT_EQ(assembler.spareBytes(), c.spare);
        EXPECT_EQ(assembler.heldBytes(), c.spare) << "spares are held";
        // The first picture's header and half its body.
        std::vector<StreamChunk> got;
        const size_t half = stream.moviEnd + 8 + picture / 2;
        assembler.Feed(file.bytes.data() + stream.moviEnd, half - stream.moviEnd, &got);
        ASSERT_TRUE(got.empty());
        EXPECT_GE(assembler.heldBytes(), c.taken ? c.spare : c.spare + picture) << c.spare;
        EXPECT_LE(assembler.heldBytes(), c.taken ? c.spare : c.spare + picture + kChunkSlack) << c.spare;
        assembler.Feed(file.bytes.data() + half, stream.moviEnd + 8 + picture - half, &got);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].data, vdsample::StoredPicture(stream.recipe, 0));
        EXPECT_EQ(got[0].data.data() == spareMemory, c.taken) << c.spare;
        EXPECT_LE(got[0].data.capacity(), 2 * (picture + kChunkSlack)) << c.spare;
        EXPECT_EQ(assembler.heldBytes(), c.taken ? 0 : c.spare) << c.spare;
        assembler.DropSpares();
        EXPECT_EQ(assembler.heldBytes(), 0u);
    }
}

TEST(StreamAssembler, HeaderMustReachTheMoviList) {
    vdsample::Recipe recipe;
    recipe.audioRate = 8000;
    vdsample::File file = vdsample::Make(recipe);
    AviHeaders headers;
    size_t moviEnd = 0;
    for (size_t cut = 0; cut < file.streamHeaderLength; ++cut)
        ASSERT_NE(ParseStreamHeader(file.bytes.data(), cut, &headers, &moviEnd), AviStatus::kOk) << cut;
    ASSERT_EQ(ParseStreamHeader(file.bytes.data(), file.bytes.size(), &headers, &moviEnd), AviStatus::kOk);
    EXPECT_EQ(moviEnd, file.streamHeaderLength);
    EXPECT_TRUE(headers.hasAudio);
}

// A header fed in pieces gives what the whole header gives, and each chunk
// header is looked at once, plus once per piece that ends inside a chunk
// (fed byte by byte, a header of 3000 chunks would otherwise be walked 3000
// times over).
TEST(StreamHeaderParser, PiecesWalkTheHeaderOnce) {
    vdsample::Recipe recipe;
    recipe.audioRate = 8000;
    vdsample::File file = vdsample::Make(recipe);
    // 3000 small JUNK chunks between the header list and the 'movi' list.
    const size_t moviAt = file.streamHeaderLength - 12;
    std::vector<uint8_t> header(file.bytes.begin(), file.bytes.begin() + moviAt);
    for (int i = 0; i < 3000; ++i) {
        const uint8_t junk[10] = {'J', 'U', 'N', 'K', 2, 0, 0, 0, 0, 0};
        header.insert(header.end(), junk, junk + sizeof junk);
    }
    header.insert(header.end(), file.bytes.begin() + moviAt, file.bytes.begin() + file.streamHeaderLength);

    AviHeaders whole;
    size_t wholeEnd = 0;
    ASSERT_EQ(ParseStreamHeader(header.data(), header.size(), &whole, &wholeEnd), AviStatus::kOk);
    EXPECT_EQ(wholeEnd, header.size());
    for (size_t piece : {size_t(1), size_t(7), size_t(4096)}) {
        StreamHeaderParser parser;
        AviHeaders headers;
        size_t moviEnd = 0;
        AviStatus s = AviStatus::kTruncated;
        size_t have = 12, pieces = 0;
        while (s == AviStatus::kTruncated && have < header.size()) {
            have = std::min(header.size(), have + piece);
            ++pieces;
            s = parser.Continue(header.data(), have, &headers, &moviEnd);
        }
        ASSERT_EQ(s, AviStatus::kOk) << piece;
        EXPECT_EQ(moviEnd, wholeEnd) << piece;
        EXPECT_EQ(headers.video.width, whole.video.width);
        EXPECT_TRUE(headers.hasAudio);
        const uint64_t chunks = 3000 + 3;  // the header list, JUNK, 3000 JUNK, 'movi'
        EXPECT_LE(parser.chunkHeadersRead(), chunks + pieces) << piece;
    }
}

#if !defined(_WIN32)
// Another reader's view of a file: the number of pictures it finds, and
// whether it decodes all of it without a complaint.
void CheckWithAnotherReader(const std::vector<uint8_t>& bytes, const std::string& name, int pictures) {
    std::string path = ::testing::TempDir() + "demoplay_writer_" + name + ".avi";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::string cmd =
        "ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets "
        "-of csv=p=0 '" +
        path + "'";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[256] = {0};
    ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
    pclose(p);
    EXPECT_EQ(std::atoi(line), pictures) << name;
    std::string decode = "ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1";
    p = popen(decode.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string complaints;
    while (std::fgets(line, sizeof line, p)) complaints += line;
    EXPECT_EQ(pclose(p), 0) << name;
    EXPECT_EQ(complaints, "") << name;
    std::remove(path.c_str());
}
#endif

struct WriterCase {
    vdsample::Video video;
    uint64_t riffBytes;  // small ones force OpenDML extensions
    bool extensions;
};
const WriterCase kWriterCases[] = {{vdsample::Video::kYuy2, uint64_t(1) << 30, false},
                                   {vdsample::Video::kRgb32, 20000, true},
                                   {vdsample::Video::kMjpeg, 3000, true}};

vdsample::Recipe WriterRecipe(const WriterCase& c) {
    vdsample::Recipe recipe;
    recipe.video = c.video;
    recipe.frames = 7;
    recipe.audioRate = 22050;
    recipe.audioChannels = 2;
    return recipe;
}

#if !defined(_WIN32)
// The recording of the case's sample file (empty if it fails; the test
// below says why).
std::vector<uint8_t> Recorded(const WriterCase& c) {
    vdsample::File file = vdsample::Make(WriterRecipe(c));
    AviFileInfo in;
    MemorySource src(file.bytes.data(), file.bytes.size());
    if (ParseAviFile(src, &in) != AviStatus::kOk) return {};
    MemorySink sink;
    AviWriterLimits limits;
    limits.riffBytes = c.riffBytes;
    AviWriter writer(limits);
    if (!writer.Begin(&sink, in.headers, true)) return {};
    for (const StreamChunk& ch : FileChunksInOrder(file.bytes, in))
        if (!writer.AddChunk(ch.cls, ch.data.data(), ch.data.size())) return {};
    if (!writer.Finish()) return {};
    return std::move(sink.bytes);
}

// Another reader finds every picture of the recordings and decodes them
// without a complaint; skipped (and reported so) without that reader.
TEST(AviWriter, RecordingsReadByAnotherReader) {
    if (std::system("command -v ffprobe >/dev/null 2>&1 && command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffprobe or ffmpeg not installed";
    for (const WriterCase& c : kWriterCases) {
        std::vector<uint8_t> bytes = Recorded(c);
        ASSERT_FALSE(bytes.empty()) << vdsample::VideoName(c.video);
        CheckWithAnotherReader(bytes, vdsample::VideoName(c.video), 7);
    }
}
#endif

TEST(AviWriter, RecordingReadsBackWithTheSameChunks) {
    for (const WriterCase& c : kWriterCases) {
        vdsample::Recipe recipe = WriterRecipe(c);
        vdsample::File file = vdsample::Make(recipe);
        AviFileInfo in;
        MemorySource src(file.bytes.data(), file.bytes.size());
        ASSERT_EQ(ParseAviFile(src, &in), AviStatus::kOk);

        MemorySink sink;
        AviWriterLimits limits;
        limits.riffBytes = c.riffBytes;
        AviWriter writer(limits);
        ASSERT_TRUE(writer.Begin(&sink, in.headers, true));
        std::vector<StreamChunk> chunks = FileChunksInOrder(file.bytes, in);
        // Key pictures as a compressed stream has them: every third one. Sound
        // chunks are always key.
        std::vector<bool> keys;
        for (const StreamChunk& ch : chunks) {
            const bool key = ch.cls != ChunkClass::kVideo || keys.size() % 3 == 0;
            if (ch.cls == ChunkClass::kVideo) keys.push_back(key);
            ASSERT_TRUE(writer.AddChunk(ch.cls, ch.data.data(), ch.data.size(), key));
        }
        EXPECT_FALSE(writer.AddChunk(ChunkClass::kOther, nullptr, 0));
        ASSERT_TRUE(writer.Finish());
        EXPECT_EQ(writer.videoFrames(), 7u);
        EXPECT_EQ(writer.riffCount() > 1, c.extensions);

        AviFileInfo out;
        MemorySource back(sink.bytes.data(), sink.bytes.size());
        ASSERT_EQ(ParseAviFile(back, &out), AviStatus::kOk);
        EXPECT_EQ(out.indexSource, AviFileInfo::IndexSource::kSuperIndex);
        EXPECT_EQ(out.movi.size(), writer.riffCount());
        EXPECT_EQ(out.headers.video.length, 7u);
        EXPECT_EQ(out.headers.video.compression, in.headers.video.compression);
        EXPECT_EQ(out.headers.audio.samplesPerSec, 22050u);
        EXPECT_EQ(out.headers.FrameMicroseconds(), 40000u);
        std::vector<StreamChunk> again = FileChunksInOrder(sink.bytes, out);
        ASSERT_EQ(again.size(), chunks.size());
        for (size_t i = 0; i < chunks.size(); ++i) EXPECT_EQ(again[i].data, chunks[i].data) << i;
        auto keysOf = [](const std::vector<ChunkRef>& refs) {
            std::vector<bool> k;
            for (const ChunkRef& r : refs) k.push_back(r.key);
            return k;
        };
        EXPECT_EQ(keysOf(out.videoChunks), keys) << "the standard indexes' key flags";
        EXPECT_EQ(keysOf(out.audioChunks), std::vector<bool>(out.audioChunks.size(), true));

        // Readers that know only 'idx1' find the first RIFF's pictures.
        std::vector<uint8_t> firstOnly = sink.bytes;
        for (size_t at = 0; at + 4 < firstOnly.size(); ++at) {
            if (std::memcmp(&firstOnly[at], "indx", 4) == 0) firstOnly[at] = 'x';
        }
        AviFileInfo legacy;
        MemorySource legacySource(firstOnly.data(), firstOnly.size());
        ASSERT_EQ(ParseAviFile(legacySource, &legacy), AviStatus::kOk);
        EXPECT_EQ(legacy.indexSource, c.extensions ? AviFileInfo::IndexSource::kScan : AviFileInfo::IndexSource::kIdx1);
        EXPECT_EQ(legacy.videoChunks.size(), 7u);
        if (!c.extensions) {
            EXPECT_EQ(keysOf(legacy.videoChunks), keys) << "the key flags of 'idx1'";
        }
    }
}

// The sound stream's length in its header and its index durations: blocks
// of the format's block size, except AAC's, which count chunks (one frame
// each, whatever its size).
TEST(AviWriter, TheSoundsLengthCountsBlocksOrAacChunks) {
    struct Case {
        const char* what;
        uint16_t tag, blockAlign;
        std::vector<uint32_t> chunks;  // sizes of the sound chunks written
        uint32_t length;
    };
    const Case cases[] = {
        {"PCM 16-bit stereo", 1, 4, {400, 800, 4}, 301},
        {"A-law", 6, 1, {1024, 1024, 736}, 2784},
        {"IMA ADPCM", 0x11, 1024, {1024, 2048, 1024}, 4},
        {"AAC", 0xFF, 0, {371, 402, 5, 388}, 4},
    };
    vdsample::Recipe recipe;
    recipe.frames = 2;
    recipe.audioRate = 8000;
    vdsample::File file = vdsample::Make(recipe);
    AviFileInfo in;
    MemorySource src(file.bytes.data(), file.bytes.size());
    ASSERT_EQ(ParseAviFile(src, &in), AviStatus::kOk);
    for (const Case& c : cases) {
        AviHeaders h = in.headers;
        h.audio.formatTag = c.tag;
        h.audio.pcm = c.tag == 1;
        h.audio.channels = c.tag == 1 ? 2 : 1;
        h.audio.bitsPerSample = c.tag == 1 ? 16 : c.tag == 0x11 ? 4 : c.tag == 6 ? 8 : 0;
        h.audio.blockAlign = c.blockAlign;
        PutLe16(&h.audio.strf[0], c.tag);
        PutLe16(&h.audio.strf[12], c.blockAlign);
        MemorySink sink;
        AviWriter writer;
        ASSERT_TRUE(writer.Begin(&sink, h, true)) << c.what;
        std::vector<uint8_t> picture(in.videoChunks[0].size);
        ASSERT_TRUE(writer.AddChunk(ChunkClass::kVideo, picture.data(), picture.size()));
        for (uint32_t size : c.chunks) {
            const std::vector<uint8_t> sound(size, 0x55);
            ASSERT_TRUE(writer.AddChunk(ChunkClass::kAudio, sound.data(), sound.size())) << c.what;
        }
        ASSERT_TRUE(writer.Finish()) << c.what;
        AviFileInfo out;
        MemorySource back(sink.bytes.data(), sink.bytes.size());
        ASSERT_EQ(ParseAviFile(back, &out), AviStatus::kOk) << c.what;
        ASSERT_TRUE(out.headers.hasAudio) << c.what;
        EXPECT_EQ(ReadLe32(out.headers.audio.strh.data() + 32), c.length) << c.what << ": the header's length";
        uint64_t duration = 0;
        for (const SuperIndexEntry& e : out.headers.audio.superIndex) duration += e.duration;
        EXPECT_EQ(duration, c.length) << c.what << ": the index durations";
        EXPECT_EQ(out.audioChunks.size(), c.chunks.size()) << c.what;
    }
}

// A recording cut off before Finish (the process ended) still plays: its
// sizes are left open and the chunks are found by a scan.
TEST(AviWriter, UnfinishedRecordingIsReadable) {
    vdsample::Recipe recipe;
    recipe.frames = 6;
    recipe.audioRate = 8000;
    vdsample::File file = vdsample::Make(recipe);
    AviFileInfo in;
    MemorySource src(file.bytes.data(), file.bytes.size());
    ASSERT_EQ(ParseAviFile(src, &in), AviStatus::kOk);
    MemorySink sink;
    AviWriter writer;
    ASSERT_TRUE(writer.Begin(&sink, in.headers, true));
    std::vector<StreamChunk> chunks = FileChunksInOrder(file.bytes, in);
    for (const StreamChunk& c : chunks) ASSERT_TRUE(writer.AddChunk(c.cls, c.data.data(), c.data.size()));
    AviFileInfo out;
    MemorySource back(sink.bytes.data(), sink.bytes.size());
    ASSERT_EQ(ParseAviFile(back, &out), AviStatus::kOk);
    EXPECT_EQ(out.indexSource, AviFileInfo::IndexSource::kScan);
    EXPECT_EQ(out.videoChunks.size(), 6u);
    EXPECT_EQ(out.audioChunks.size(), 6u);
}

TEST(AviWriter, FullSuperIndexEndsTheRecordingCleanly) {
    vdsample::Recipe recipe;
    recipe.frames = 10;
    vdsample::File file = vdsample::Make(recipe);
    AviFileInfo in;
    MemorySource src(file.bytes.data(), file.bytes.size());
    ASSERT_EQ(ParseAviFile(src, &in), AviStatus::kOk);
    MemorySink sink;
    AviWriterLimits limits;
    limits.riffBytes = 1000;  // one picture per RIFF
    limits.maxRiffs = 3;
    AviWriter writer(limits);
    ASSERT_TRUE(writer.Begin(&sink, in.headers, false));
    int accepted = 0;
    for (const ChunkRef& r : in.videoChunks)
        accepted += writer.AddChunk(ChunkClass::kVideo, &file.bytes[r.offset], r.size);
    EXPECT_EQ(accepted, 3);
    EXPECT_FALSE(writer.failed());
    ASSERT_TRUE(writer.Finish());
    AviFileInfo out;
    MemorySource back(sink.bytes.data(), sink.bytes.size());
    ASSERT_EQ(ParseAviFile(back, &out), AviStatus::kOk);
    ASSERT_EQ(out.videoChunks.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(sink.bytes.begin() + out.videoChunks[2].offset,
                                   sink.bytes.begin() + out.videoChunks[2].offset + out.videoChunks[2].size),
              vdsample::StoredPicture(recipe, 2));
}

#if !defined(_WIN32)
// Files made by another writer, where one is installed: every picture and
// sound chunk is found, and every Motion-JPEG picture decodes.
TEST(AviParser, ReadsFilesOfAnotherWriter) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg not installed";
    struct Case {
        const char* name;
        const char* options;
        int kind;
        bool topDown;
        size_t pictures;
        int channels;
    };
    const Case cases[] = {
        {"i420", "-c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2", kKindI420, false, 25, 2},
        {"yuy2", "-c:v rawvideo -pix_fmt yuyv422 -an", kKindYuy2, false, 25, 0},
        {"bgra", "-c:v rawvideo -pix_fmt bgra -an", kKindRgb32, true, 25, 0},
        {"mjpeg", "-c:v mjpeg -q:v 5 -c:a pcm_s16le -ac 1", kKindRgb32, false, 25, 1},
    };
    for (const Case& c : cases) {
        std::string path = ::testing::TempDir() + "demoplay_other_" + c.name + ".avi";
        std::string cmd = std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=176x144:rate=25 ") +
                          "-f lavfi -i sine=frequency=1000:sample_rate=44100 -t 1 " + c.options + " '" + path + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::vector<uint8_t> bytes;
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
        std::remove(path.c_str());

        MemorySource src(bytes.data(), bytes.size());
        AviFileInfo info;
        ASSERT_EQ(ParseAviFile(src, &info), AviStatus::kOk) << c.name;
        VideoLayout layout;
        ASSERT_EQ(DescribeVideo(info.headers.video, &layout), LayoutStatus::kOk) << c.name;
        EXPECT_EQ(layout.kind, c.kind) << c.name;
        EXPECT_EQ(layout.topDown, c.topDown) << c.name;
        EXPECT_EQ(layout.width, 176);
        EXPECT_EQ(layout.height, 144);
        EXPECT_EQ(info.headers.FramesPerSecond(), 25);
        ASSERT_EQ(info.videoChunks.size(), c.pictures) << c.name;
        EXPECT_EQ(info.headers.hasAudio, c.channels > 0) << c.name;
        if (c.channels > 0) {
            EXPECT_TRUE(info.headers.audio.pcm);
            EXPECT_EQ(info.headers.audio.channels, c.channels);
            uint64_t soundBytes = 0;
            for (const ChunkRef& r : info.audioChunks) soundBytes += r.size;
            EXPECT_EQ(soundBytes, uint64_t(44100) * 2 * c.channels) << c.name;
        }
        for (const ChunkRef& r : info.videoChunks) {
            if (layout.mjpeg) {
                std::vector<uint8_t> rgb;
                int w = 0, h = 0;
                EXPECT_TRUE(DecodeJpegPicture(&bytes[r.offset], r.size, 176, 144, &rgb, &w, &h));
            } else {
                EXPECT_GE(r.size, layout.frameBytes);
            }
        }
    }
}
#endif

TEST(JpegPicture, DecodesToBottomUpRgb32AndRefusesWhatDoesNotFit) {
    vdsample::Recipe recipe;
    recipe.video = vdsample::Video::kMjpeg;
    recipe.width = 40;
    recipe.height = 24;
    std::vector<uint8_t> jpeg = vdsample::StoredPicture(recipe, 3);
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(DecodeJpegPicture(jpeg.data(), jpeg.size(), 40, 24, &rgb, &w, &h));
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 24);
    ASSERT_EQ(rgb.size(), 40u * 24 * 4);
    for (size_t i = 0; i < rgb.size(); i += 4) {
        ASSERT_NEAR(rgb[i], vdsample::JpegLevel(3), 4) << i;
        ASSERT_EQ(rgb[i + 3], 0);
    }
    EXPECT_FALSE(DecodeJpegPicture(jpeg.data(), jpeg.size(), 39, 24, &rgb, &w, &h));  // larger than allowed
    EXPECT_FALSE(DecodeJpegPicture(jpeg.data(), 20, 40, 24, &rgb, &w, &h));           // cut short
    std::vector<uint8_t> noise(500, 0x5A);
    EXPECT_FALSE(DecodeJpegPicture(noise.data(), noise.size(), 40, 24, &rgb, &w, &h));
    EXPECT_FALSE(DecodeJpegPicture(nullptr, 0, 40, 24, &rgb, &w, &h));

    // Without its Huffman tables (as many cameras send Motion-JPEG) the
    // picture decodes the same with the standard ones.
    std::vector<uint8_t> bare;
    size_t pos = 2;
    bare.assign(jpeg.begin(), jpeg.begin() + 2);
    while (pos + 4 <= jpeg.size()) {
        size_t length = 2 + ((size_t(jpeg[pos + 2]) << 8) | jpeg[pos + 3]);
        if (jpeg[pos + 1] == 0xDA) {
            bare.insert(bare.end(), jpeg.begin() + pos, jpeg.end());
            break;
        }
        if (jpeg[pos + 1] != 0xC4) bare.insert(bare.end(), jpeg.begin() + pos, jpeg.begin() + pos + length);
        pos += length;
    }
    ASSERT_LT(bare.size(), jpeg.size() - 400);
    std::vector<uint8_t> fromBare;
    ASSERT_TRUE(DecodeJpegPicture(bare.data(), bare.size(), 40, 24, &fromBare, &w, &h));
    EXPECT_EQ(fromBare, rgb);

    // A Huffman table that claims more than 256 codes is refused before the
    // decoder would write past its tables.
    std::vector<uint8_t> hostile = jpeg;
    size_t dht = 0;
    while (dht + 1 < hostile.size() && !(hostile[dht] == 0xFF && hostile[dht + 1] == 0xC4)) ++dht;
    ASSERT_LT(dht + 21, hostile.size());
    for (int i = 0; i < 16; ++i) hostile[dht + 5 + i] = 200;
    EXPECT_FALSE(DecodeJpegPicture(hostile.data(), hostile.size(), 40, 24, &rgb, &w, &h));
}

// An interlaced chunk (two fields of half height) gives the full picture,
// its rows alternately from the top and the bottom field; a lone field has
// its lines doubled; a progressive picture is as it was.
TEST(JpegPicture, InterlacedFieldsAreWovenToFullHeight) {
    vdsample::Recipe recipe;
    recipe.video = vdsample::Video::kMjpeg;
    recipe.width = 40;
    recipe.height = 24;
    recipe.interlaced = true;
    const std::vector<uint8_t> chunk = vdsample::StoredPicture(recipe, 3);
    const size_t second = SecondFieldAt(chunk.data(), chunk.size());
    ASSERT_GT(second, 0u);
    ASSERT_EQ(chunk[second], 0xFF);
    ASSERT_EQ(chunk[second + 1], 0xD8);

    struct Case {
        const char* name;
        size_t size;
        bool woven;
    };
    for (const Case& c : {Case{"both fields", chunk.size(), true}, Case{"top field only", second, false}}) {
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        ASSERT_TRUE(DecodeMotionJpeg(chunk.data(), c.size, 40, 24, &rgb, &w, &h)) << c.name;
        EXPECT_EQ(w, 40) << c.name;
        ASSERT_EQ(h, 24) << c.name;
        ASSERT_EQ(rgb.size(), 40u * 24 * 4);
        for (int y = 0; y < 24; ++y) {
            const int level = c.woven && (y & 1) ? vdsample::BottomFieldLevel(3) : vdsample::JpegLevel(3);
            const uint8_t* row = rgb.data() + size_t(23 - y) * 40 * 4;  // bottom-up
            for (int x = 0; x < 40; ++x) ASSERT_NEAR(row[4 * x + 1], level, 4) << c.name << " row " << y;
        }
    }

    recipe.interlaced = false;
    const std::vector<uint8_t> progressive = vdsample::StoredPicture(recipe, 3);
    EXPECT_EQ(SecondFieldAt(progressive.data(), progressive.size()), 0u);
    std::vector<uint8_t> a, b;
    int w = 0, h = 0;
    ASSERT_TRUE(DecodeMotionJpeg(progressive.data(), progressive.size(), 40, 24, &a, &w, &h));
    EXPECT_EQ(h, 24);
    ASSERT_TRUE(DecodeJpegPicture(progressive.data(), progressive.size(), 40, 24, &b, &w, &h));
    EXPECT_EQ(a, b);
    // Two fields of full height are more than the stream's picture: the first
    // one alone, as a picture of its own.
    std::vector<uint8_t> twice = progressive;
    twice.insert(twice.end(), progressive.begin(), progressive.end());
    ASSERT_TRUE(DecodeMotionJpeg(twice.data(), twice.size(), 40, 24, &a, &w, &h));
    EXPECT_EQ(h, 24);
    EXPECT_EQ(a, b);
}

}  // namespace
