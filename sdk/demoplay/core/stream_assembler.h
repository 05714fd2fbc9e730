// Live streams: the header that opens a stream (the start of an AVI file up to
// and including the 12-byte header of its 'movi' list) and the assembly of the
// bytes that follow, fed in pieces of any size, into complete chunks.
#ifndef DEMOPLAY_CORE_STREAM_ASSEMBLER_H
#define DEMOPLAY_CORE_STREAM_ASSEMBLER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/avi_parser.h"

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

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_STREAM_ASSEMBLER_H
