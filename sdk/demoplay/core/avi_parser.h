// Reads the structure of an AVI file: the header list (main header, one video
// and at most one audio stream), the 'movi' lists of the first RIFF and of any
// OpenDML 'AVIX' extensions, and a per-stream chunk index taken from the
// OpenDML super-indexes, else from 'idx1', else from a scan of the lists.
//
// Every count and size read from the file is checked against the file's own
// size before anything is allocated for it.
#ifndef DEMOPLAY_CORE_AVI_PARSER_H
#define DEMOPLAY_CORE_AVI_PARSER_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_io.h"

namespace demoplay {

constexpr uint32_t kFccRiff = FourCc('R', 'I', 'F', 'F');
constexpr uint32_t kFccAvi = FourCc('A', 'V', 'I', ' ');
constexpr uint32_t kFccAvix = FourCc('A', 'V', 'I', 'X');
constexpr uint32_t kFccList = FourCc('L', 'I', 'S', 'T');
constexpr uint32_t kFccHdrl = FourCc('h', 'd', 'r', 'l');
constexpr uint32_t kFccStrl = FourCc('s', 't', 'r', 'l');
constexpr uint32_t kFccMovi = FourCc('m', 'o', 'v', 'i');
constexpr uint32_t kFccRec = FourCc('r', 'e', 'c', ' ');
constexpr uint32_t kFccAvih = FourCc('a', 'v', 'i', 'h');
constexpr uint32_t kFccStrh = FourCc('s', 't', 'r', 'h');
constexpr uint32_t kFccStrf = FourCc('s', 't', 'r', 'f');
constexpr uint32_t kFccIndx = FourCc('i', 'n', 'd', 'x');
constexpr uint32_t kFccIdx1 = FourCc('i', 'd', 'x', '1');
constexpr uint32_t kFccVids = FourCc('v', 'i', 'd', 's');
constexpr uint32_t kFccAuds = FourCc('a', 'u', 'd', 's');
constexpr uint32_t kFccJunk = FourCc('J', 'U', 'N', 'K');

// Largest header list accepted; real ones are a few kilobytes.
constexpr uint32_t kMaxHeaderListSize = 1u << 20;
// Largest number of index entries kept for one file (about a week of video at
// 25 pictures per second); further entries are ignored.
constexpr size_t kMaxIndexEntries = size_t(1) << 23;

enum class AviStatus {
    kOk = 0,
    kNotAvi,     // no "RIFF....AVI " at the start
    kTruncated,  // the headers end before they are complete
    kCorrupt,    // sizes or counts that contradict the file
    kNoVideo,    // no usable video stream
};

const char* AviStatusText(AviStatus status);

struct ChunkRef {
    uint64_t offset = 0;  // of the chunk's data, after its 8-byte header
    uint32_t size = 0;
    bool key = true;
};

struct SuperIndexEntry {
    uint64_t offset = 0;  // of the standard index chunk ('ix##'), its header included
    uint32_t size = 0;
    uint32_t duration = 0;
};

struct VideoStreamInfo {
    int number = -1;           // stream number in chunk ids ("00dc" is 0)
    uint32_t handler = 0;      // strh fccHandler
    uint32_t compression = 0;  // BITMAPINFOHEADER biCompression
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top-down
    uint16_t bitCount = 0;
    uint32_t sizeImage = 0;
    uint32_t rate = 0;  // frames per second is rate / scale
    uint32_t scale = 0;
    uint32_t length = 0;
    uint32_t suggestedBufferSize = 0;
    std::vector<uint8_t> strh;  // raw chunk data, for recording
    std::vector<uint8_t> strf;
    std::vector<SuperIndexEntry> superIndex;
};

struct AudioStreamInfo {
    int number = -1;
    uint16_t formatTag = 0;  // 1: PCM; 3: float; 0xFFFE: extensible (its subformat says which)
    bool pcm = false;        // integer samples
    bool ieeeFloat = false;  // float samples
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint32_t suggestedBufferSize = 0;
    std::vector<uint8_t> strh;
    std::vector<uint8_t> strf;
    std::vector<SuperIndexEntry> superIndex;
};

struct AviHeaders {
    uint32_t microSecPerFrame = 0;
    uint32_t totalFrames = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    int streamCount = 0;
    VideoStreamInfo video;
    bool hasAudio = false;
    AudioStreamInfo audio;

    // Milliseconds per picture times 1000 (microseconds), from the video
    // stream's rate and scale, else the main header, else 40000.
    uint64_t FrameMicroseconds() const;
    // Whole pictures per second for reporting (0..255), rounded.
    int FramesPerSecond() const;
    // The time of picture n in whole milliseconds, exact for the video
    // stream's rate and scale (a main header's 33333 microseconds per picture
    // would lose 1 ms in 30 pictures), else from the main header, else 40 ms
    // a picture.
    uint64_t PictureStampMs(uint64_t n) const;
    // The first picture whose time is not before ms.
    uint64_t FirstPictureAtOrAfter(uint64_t ms) const;
    // Two-character stream-number prefix of the chunk ids, as a 16-bit value.
    static uint16_t StreamPrefix(int number);
};

// Parses the data of a 'LIST' 'hdrl' (starting with "hdrl"): the main header
// and the stream lists.
AviStatus ParseHeaderList(const uint8_t* data, size_t size, AviHeaders* out);

// Which stream a chunk id belongs to.
enum class ChunkClass { kOther, kVideo, kAudio };
ChunkClass ClassifyChunk(uint32_t chunkId, const AviHeaders& headers);

struct MoviRange {
    uint64_t listOffset = 0;  // of the 'movi' four-character code
    uint64_t end = 0;         // one past the list's last byte (clamped to the file)
};

struct AviFileInfo {
    AviHeaders headers;
    std::vector<MoviRange> movi;  // the first RIFF's, then one per AVIX
    bool openDml = false;         // AVIX extensions or super-indexes present
    enum class IndexSource { kSuperIndex, kIdx1, kScan } indexSource = IndexSource::kScan;
    std::vector<ChunkRef> videoChunks;
    std::vector<ChunkRef> audioChunks;
    // Index entries looked at (super-index, standard index and 'idx1'
    // entries, whether kept or not): never more than the file's size / 8.
    uint64_t indexEntriesExamined = 0;
};

// Parses a whole file: headers, movi lists and the index.
AviStatus ParseAviFile(ByteSource& source, AviFileInfo* out);

// Builds the index by walking the movi lists chunk by chunk (also used when
// the file's own index is missing or unusable).
void ScanMoviLists(ByteSource& source, const AviHeaders& headers, const std::vector<MoviRange>& movi,
                   std::vector<ChunkRef>* video, std::vector<ChunkRef>* audio);

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_AVI_PARSER_H
