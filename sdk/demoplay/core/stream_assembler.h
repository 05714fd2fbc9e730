// Live streams: the header that opens a stream (the start of an AVI file up to
// and including the 12-byte header of its 'movi' list) and the assembly of the
// bytes that follow, fed in pieces of any size, into complete chunks; and the
// assembly of a raw H.264/H.265 stream into access units.
#ifndef DEMOPLAY_CORE_STREAM_ASSEMBLER_H
#define DEMOPLAY_CORE_STREAM_ASSEMBLER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/avi_parser.h"
#include "core/video_codec.h"

namespace demoplay {

// Parses a stream header. On success *moviEnd is the offset just past the
// 'movi' list header; bytes after it in the header are stream data.
AviStatus ParseStreamHeader(const uint8_t* data, size_t size, AviHeaders* out, size_t* moviEnd);

// The same for a header that arrives in pieces: each call is given all the
// bytes so far and goes on from the chunk where the last one stopped, so a
// header fed in small pieces is walked once, not once per piece.
class StreamHeaderParser {
public:
    // kTruncated while more bytes are needed; any other result is final. `out`
    // is the same object on every call (the headers are parsed into it once).
    AviStatus Continue(const uint8_t* data, size_t size, AviHeaders* out, size_t* moviEnd);
    // Chunk headers looked at so far, counting a repeat of an incomplete one.
    uint64_t chunkHeadersRead() const { return chunkHeadersRead_; }

private:
    size_t pos_ = 12;  // the next top-level chunk
    bool haveHeaders_ = false;
    uint64_t chunkHeadersRead_ = 0;
};

// Room kept past each chunk's bytes, so that a decoder's zero padding after
// them needs no copy of the chunk.
constexpr size_t kChunkSlack = 64;

struct StreamChunk {
    ChunkClass cls = ChunkClass::kOther;
    std::vector<uint8_t> data;
    // No data: the movie list ended (its size reached, or the index began).
    bool movieEnd = false;
    // When the port received its last byte (set by the port, for live pacing).
    int64_t arrivedUs = 0;
};

class StreamAssembler {
public:
    // Chunks of the video or audio stream larger than maxChunkBytes are skipped
    // without being held; so are all other chunks and lists.
    StreamAssembler(const AviHeaders& headers, size_t maxChunkBytes);

    // Consumes all the bytes; every chunk of the video or audio stream that
    // they complete is appended to *out, and a movie-end marker where the
    // movie list ends.
    void Feed(const uint8_t* data, size_t size, std::vector<StreamChunk>* out);
    // Drops a partly received chunk and starts again at a chunk boundary.
    void Reset();
    // The movie list whose header the stream header held ends this many bytes
    // after the first byte fed.
    void SetMovieBytes(uint64_t bytes);
    // A delivered chunk's bytes, kept to hold a later chunk that fits: large
    // pictures then need no fresh memory each (its first touch, and giving it
    // back, cost more than the copy into it). Several are kept, so that the
    // chunks of a burst are reused too, as long as all the assembler holds
    // fits in `room` (the part of the port's stream buffer that queued chunks
    // leave). A chunk takes the smallest spare that holds it, and none more
    // than twice its size: in the queue it counts as what it holds.
    void Recycle(std::vector<uint8_t>&& spent, size_t room);
    // Gives the spares' memory back (room for input the port would refuse).
    void DropSpares();

    // The memory held: the chunk being received and the spares.
    size_t heldBytes() const { return body_.capacity() + header_.size() + spareBytes_; }
    size_t spareBytes() const { return spareBytes_; }
    uint64_t skippedChunks() const { return skippedChunks_; }

private:
    enum class State { kHeader, kBody, kSkip };
    void StartChunk(std::vector<StreamChunk>* out);
    void EndMovie(std::vector<StreamChunk>* out);

    const AviHeaders& headers_;
    size_t maxChunkBytes_;
    State state_ = State::kHeader;
    std::vector<uint8_t> header_;  // up to 12 bytes of a chunk or list header
    StreamChunk current_;
    std::vector<uint8_t>& body_ = current_.data;
    static constexpr size_t kMaxSpares = 16;
    std::vector<std::vector<uint8_t>> spares_;
    size_t spareBytes_ = 0;   // their capacity in all
    uint64_t remaining_ = 0;  // body bytes still to come (kBody) or to skip (kSkip)
    bool pad_ = false;        // one pad byte follows the body
    uint64_t skippedChunks_ = 0;
    uint64_t fed_ = 0;        // bytes consumed since the start (or the last Reset)
    uint64_t movieEnd_ = 0;   // where the current movie list ends (0: not known)
    bool movieEnded_ = true;  // its end was reported (or there is no list open)
};

// How long a raw H.264 stream's input must have been quiet after a slice for
// the picture being received to be taken as whole. A camera sends each
// picture at once: on loopback and on a LAN its last byte follows its first
// within a millisecond or so (a 20 KB picture is 1.6 ms of a 100 Mbit/s
// link, its segments a tenth of a millisecond apart), while the next picture
// is a picture interval away. Waits of the decoding thread end on whole
// milliseconds; a longer wait only adds to every picture's delay.
constexpr int64_t kRawQuietUs = 3000;

// A raw Annex-B stream, fed in pieces of any size, into access units (each
// with its start codes), split where libavcodec's parsers split them. A unit
// is whole when the next one begins. The unit being received is also let out
// "early", as whole, when its last NAL unit is a slice and no byte has come
// for the quiet time: waiting for the next picture to begin would cost a
// picture interval. If the bytes that come next continue it (its last unit
// was cut, or a further slice of the same picture follows), the early unit
// was not whole: it is let out again once it is, marked to restart decoding,
// and from then on units are only let out when the next one begins, as on a
// link that pauses within pictures.
class AnnexBAssembler {
public:
    enum class Kind {
        kWhole,      // decode and record it
        kEarly,      // taken as whole on quiet input: decode it; it is recorded once confirmed
        kConfirmed,  // the early unit, known whole now (the next began): record it, it was decoded
        kRedone,     // the early unit was not whole; this is all of it: decode it afresh and record it
    };
    struct Unit {
        Kind kind = Kind::kWhole;
        std::vector<uint8_t> data;
        int64_t arrivedUs = 0;  // when the piece that completed it came
        // Decoding starts afresh here (kRedone; or data before it was dropped).
        bool restart = false;
    };

    // quietUs <= 0: units are let out only when the next one begins. A unit
    // that grows past maxUnitBytes is dropped (damage, or no stream at all).
    AnnexBAssembler(VideoCodec codec, int64_t quietUs, size_t maxUnitBytes);

    // Consumes a piece that arrived at arrivedUs; every unit it completes is
    // appended to *out.
    void Feed(const uint8_t* data, size_t size, int64_t arrivedUs, std::vector<Unit>* out);
    // When the unit being received is to be let out early if no byte comes
    // before; INT64_MAX when it is not (nothing after a slice held, let out
    // already, the rule is off).
    int64_t QuietDeadlineUs() const;
    // Lets the unit being received out early, if nowUs is past its deadline.
    bool TakeIfQuiet(int64_t nowUs, Unit* out);
    // Drops what is held (the port cleared or skipped data); the quiet rule
    // stays as it was.
    void Reset();

    bool quietRuleOn() const { return quietUs_ > 0; }
    uint64_t droppedUnits() const { return droppedUnits_; }

private:
    // Where the unit that starts at the NAL unit whose start code is at
    // `at` is cut from the one before: its 4-byte start code's first zero
    // goes with it.
    size_t CutBefore(size_t at) const;
    size_t TrimmedEnd() const;  // the end of the held bytes without trailing zeros
    void Emit(size_t end, int64_t arrivedUs, std::vector<Unit>* out);
    void MarkCut();
    void Compact();

    VideoCodec codec_;
    int64_t quietUs_;
    size_t maxUnitBytes_;
    std::vector<uint8_t> buffer_;
    size_t begin_ = 0;            // where the unit being received begins in buffer_
    size_t scan_ = 0;             // bytes before this were looked at for start codes
    bool synced_ = false;         // a start code was found: the unit begins at one
    size_t lastUnit_ = SIZE_MAX;  // where the payload of the last NAL unit found begins
    bool lastIsSlice_ = false;    // that unit is a slice (of the H.264 or H.265 kinds let out early)
    bool haveSlice_ = false;      // the unit being received holds a slice
    uint32_t lastFirstMb_ = 0;    // H.264: first_mb_in_slice of its last slice
    bool pending_ = false;        // a start code whose unit's header is still to come ends the bytes
    bool early_ = false;          // it was let out early
    size_t earlyEnd_ = 0;         // how far
    bool cut_ = false;            // and it was not whole
    bool restartNext_ = false;    // data was dropped before the next unit
    bool oversized_ = false;      // the unit being received is too large: dropped when it ends
    int64_t lastArrivedUs_ = 0;
    uint64_t droppedUnits_ = 0;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_STREAM_ASSEMBLER_H
