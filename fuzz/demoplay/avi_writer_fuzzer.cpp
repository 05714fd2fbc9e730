// The recording writer under random sequences of chunks (video, sound,
// others; any size, odd and empty ones too), small RIFF sizes that force
// OpenDML extensions up to a full super-index, stops at any point and a
// disk that fills up. Every file it reports complete must parse again with
// the SDK's own parser, through each index it claims and by a scan of its
// lists, to exactly the chunks it accepted.
//
// Bytes: flags (bit 0 sound, bit 1 compressed video, bit 2 a disk that
// fills up), RIFF size, RIFFs allowed, sound block size, where the disk is
// full (2 bytes), then one op of 2 bytes per chunk or stop.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/avi_parser.h"
#include "core/avi_writer.h"

using namespace demoplay;

namespace {

[[noreturn]] void Finding(const char* what) {
    std::fprintf(stderr, "avi_writer: %s\n", what);
    std::abort();
}

// A disk with room for `room` bytes.
class FillingSink : public MemorySink {
public:
    explicit FillingSink(uint64_t room) : room_(room) {}
    bool Append(const void* data, size_t length) override {
        return length <= room_ - std::min<uint64_t>(room_, bytes.size()) && MemorySink::Append(data, length);
    }

private:
    uint64_t room_;
};

AviHeaders Source(bool compressed, uint16_t blockAlign) {
    AviHeaders h;
    VideoStreamInfo& v = h.video;
    v.number = 0;
    v.compression = compressed ? FourCc('H', '2', '6', '4') : 0;
    v.width = 32;
    v.height = 16;
    v.bitCount = compressed ? 24 : 32;
    v.rate = 25;
    v.scale = 1;
    v.strh.assign(56, 0);
    PutLe32(&v.strh[20], v.scale);
    PutLe32(&v.strh[24], v.rate);
    v.strf.assign(40, 0);
    PutLe32(&v.strf[0], 40);
    PutLe32(&v.strf[4], 32);
    PutLe32(&v.strf[8], 16);
    PutLe16(&v.strf[12], 1);
    PutLe16(&v.strf[14], v.bitCount);
    PutLe32(&v.strf[16], v.compression);
    AudioStreamInfo& a = h.audio;
    h.hasAudio = true;
    a.number = 1;
    a.formatTag = 1;
    a.pcm = true;
    a.channels = 1;
    a.blockAlign = blockAlign;
    a.bitsPerSample = 8;
    a.samplesPerSec = 8000;
    a.avgBytesPerSec = 8000u * blockAlign;
    a.strh.assign(56, 0);
    PutLe32(&a.strh[20], 1);
    PutLe32(&a.strh[24], 8000);
    PutLe32(&a.strh[44], blockAlign);
    a.strf.assign(18, 0);
    PutLe16(&a.strf[0], 1);
    PutLe16(&a.strf[2], 1);
    PutLe32(&a.strf[4], 8000);
    PutLe32(&a.strf[8], a.avgBytesPerSec);
    PutLe16(&a.strf[12], blockAlign);
    PutLe16(&a.strf[14], 8);
    return h;
}

struct Written {
    std::vector<uint8_t> data;
    bool key = true;
};

// Read through the standard indexes, each chunk has the key flag it was
// written with; through 'idx1' too, except that a file without any key
// picture counts every picture as one; by a scan, every chunk is key.
enum class Read { kStandardIndexes, kIdx1, kScan };

void CheckChunks(const std::vector<uint8_t>& file, const std::vector<ChunkRef>& refs, const std::vector<Written>& want,
                 const char* what, Read read) {
    if (refs.size() != want.size()) {
        std::fprintf(stderr, "avi_writer: %zu chunks written, %zu read (%s)\n", want.size(), refs.size(), what);
        std::abort();
    }
    const bool anyKey = std::any_of(want.begin(), want.end(), [](const Written& w) { return w.key; });
    for (size_t i = 0; i < refs.size(); ++i) {
        const ChunkRef& r = refs[i];
        const bool key = read == Read::kScan || (read == Read::kIdx1 && !anyKey) || want[i].key;
        if (r.key != key || r.size != want[i].data.size() || r.offset > file.size() ||
            r.size > file.size() - r.offset ||
            (r.size && std::memcmp(&file[r.offset], want[i].data.data(), r.size) != 0))
            Finding(what);
    }
}

void Check(const std::vector<uint8_t>& file, const AviHeaders& source, bool sound, const AviWriter& writer,
           const std::vector<Written>& video, const std::vector<Written>& audio) {
    MemorySource src(file.data(), file.size());
    AviFileInfo info;
    if (ParseAviFile(src, &info) != AviStatus::kOk) Finding("a complete recording does not parse");
    const AviHeaders& h = info.headers;
    if (h.video.compression != source.video.compression || h.video.width != source.video.width ||
        h.video.height != source.video.height || h.video.rate != source.video.rate || h.hasAudio != sound ||
        (sound && h.audio.blockAlign != source.audio.blockAlign))
        Finding("the headers are not the source's");
    if (h.video.length != video.size() || h.totalFrames > video.size() ||
        (writer.riffCount() == 1 && h.totalFrames != video.size()))
        Finding("the headers' picture counts disagree with the file");
    uint64_t soundBytes = 0;
    for (const Written& w : audio) soundBytes += w.data.size();
    if (sound && ReadLe32(&h.audio.strh[32]) != soundBytes / source.audio.blockAlign)
        Finding("the sound length disagrees with the file");
    if (info.movi.size() != writer.riffCount()) Finding("a RIFF without its 'movi' list");
    // The RIFFs follow each other to the end of the file, each as long as it says.
    uint64_t at = 0;
    for (uint32_t r = 0; r < writer.riffCount(); ++r) {
        if (at + 12 > file.size() || ReadLe32(&file[at]) != kFccRiff) Finding("a RIFF where none begins");
        at += 8 + uint64_t(ReadLe32(&file[at + 4]));
    }
    if (at != file.size()) Finding("the RIFFs' sizes disagree with the file's");
    const uint8_t dmlh[] = {'d', 'm', 'l', 'h'};
    const uint8_t* total = std::search(file.data(), file.data() + info.movi.front().listOffset, dmlh, dmlh + 4);
    if (ReadLe32(total + 8) != video.size()) Finding("the OpenDML header's picture count disagrees with the file");
    if (!video.empty() && info.indexSource != AviFileInfo::IndexSource::kSuperIndex)
        Finding("the super-index is unused");
    CheckChunks(file, info.videoChunks, video, "video through the super-index", Read::kStandardIndexes);
    CheckChunks(file, info.audioChunks, audio, "sound through the super-index", Read::kStandardIndexes);
    // The lists themselves hold the same.
    std::vector<ChunkRef> scannedVideo, scannedAudio;
    ScanMoviLists(src, h, info.movi, &scannedVideo, &scannedAudio);
    CheckChunks(file, scannedVideo, video, "video by a scan", Read::kScan);
    CheckChunks(file, scannedAudio, audio, "sound by a scan", Read::kScan);
    // Without super-indexes a single RIFF is read through its 'idx1'.
    std::vector<uint8_t> copy = file;
    for (size_t at = 0; at + 4 <= copy.size() && at < info.movi.front().listOffset; ++at)
        if (std::memcmp(&copy[at], "indx", 4) == 0) std::memcpy(&copy[at], "JUNK", 4);
    MemorySource copySource(copy.data(), copy.size());
    if (ParseAviFile(copySource, &info) != AviStatus::kOk) Finding("no parse without the super-indexes");
    if (writer.riffCount() == 1 && !video.empty() && info.indexSource != AviFileInfo::IndexSource::kIdx1)
        Finding("'idx1' is unused");
    const Read legacy = info.indexSource == AviFileInfo::IndexSource::kIdx1 ? Read::kIdx1 : Read::kScan;
    CheckChunks(copy, info.videoChunks, video, "video through 'idx1'", legacy);
    CheckChunks(copy, info.audioChunks, audio, "sound through 'idx1'", legacy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const bool sound = data[0] & 1, compressed = data[0] & 2, filling = data[0] & 4;
    AviWriterLimits limits;
    limits.riffBytes = 256 + uint64_t(data[1]) * 64;
    limits.maxRiffs = 1 + data[2] % 8;
    const uint16_t blockAlign = uint16_t(1 + data[3] % 4);
    const AviHeaders source = Source(compressed, blockAlign);
    FillingSink sink(filling ? 1024 + uint64_t(data[4] | (data[5] << 8)) * 4 : UINT64_MAX);
    AviWriter writer(limits);
    if (!writer.Begin(&sink, source, sound)) {
        if (!filling) Finding("Begin failed on a sink with room");
        return 0;
    }
    std::vector<Written> video, audio;
    bool stopped = false, complete = false;
    std::vector<uint8_t> chunk;
    for (size_t i = 6; i + 1 < size; i += 2) {
        const uint8_t op = data[i];
        if ((op & 3) == 3) {
            if (!stopped) complete = writer.Finish();
            stopped = true;
            continue;
        }
        const ChunkClass cls = op & 3 ? (op & 1 ? ChunkClass::kAudio : ChunkClass::kOther) : ChunkClass::kVideo;
        chunk.assign(size_t(data[i + 1]) * (op >> 2), uint8_t(i));
        // Compressed pictures: some key pictures, some not (sound is always key).
        const bool key = cls != ChunkClass::kVideo || !compressed || ((op ^ data[i + 1]) & 1) == 0;
        const bool accepted = writer.AddChunk(cls, chunk.data(), chunk.size(), key);
        if (accepted && (stopped || cls == ChunkClass::kOther || (cls == ChunkClass::kAudio && !sound)))
            Finding("a chunk taken that has no place in the file");
        if (accepted) (cls == ChunkClass::kVideo ? video : audio).push_back(Written{chunk, key});
    }
    if (!stopped) complete = writer.Finish();
    if (complete == writer.failed()) Finding("Finish's result disagrees with failed()");
    if (complete && filling && sink.bytes.size() > 1024 + uint64_t(data[4] | (data[5] << 8)) * 4)
        Finding("more written than the disk holds");
    if (complete) Check(sink.bytes, source, sound, writer, video, audio);
    return 0;
}
