// When each picture of a raw H.264/H.265 (Annex-B) stream has arrived: the
// stream is scanned as it comes, in pieces of any size, for the first NAL
// unit of each access unit, and a picture counts as arrived when the last
// piece holding its bytes came in (known once the next picture begins).
#ifndef VD_PLAYER_PICTURE_ARRIVALS_H
#define VD_PLAYER_PICTURE_ARRIVALS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vdplay {

enum class StreamCodec { kUnknown, kH264, kH265 };

struct PictureArrival {
    int64_t index = 0;       // pictures counted from the first one scanned
    int64_t lastByteUs = 0;  // when the piece with its last byte came in
};

class PictureArrivals {
public:
    // Takes the next piece of the stream, received at `nowUs`; appends the
    // pictures it completes.
    void Add(const uint8_t* data, size_t size, int64_t nowUs, std::vector<PictureArrival>* completed);
    // The stream starts over (a new connection): the picture being received is
    // dropped unfinished; counting goes on.
    void Restart();

    StreamCodec codec() const { return codec_; }
    int64_t picturesBegun() const { return begun_; }

private:
    struct Piece {
        uint64_t begin = 0;  // stream offset of its first byte
        int64_t us = 0;
    };
    void UnitHeaderComplete(std::vector<PictureArrival>* completed);
    int64_t ArrivalOf(uint64_t offset) const;

    StreamCodec codec_ = StreamCodec::kUnknown;
    uint64_t scanned_ = 0;  // stream bytes scanned so far
    // The latest pieces, newest at pieces_[newest_]: enough to look back
    // over a start code and the header bytes after it, however small they are.
    static constexpr unsigned kPiecesKept = 16;
    Piece pieces_[kPiecesKept];
    unsigned newest_ = 0;
    int zeros_ = 0;        // zero bytes in a row just before this one
    uint64_t unitAt_ = 0;  // stream offset of the current unit's start code
    uint8_t header_[3] = {};
    int headerHave_ = -1;  // header bytes of the current unit seen; -1: none wanted
    bool inPicture_ = false;
    bool sliceSeen_ = false;  // the current access unit has a slice already
    int64_t begun_ = 0;
};

// Keeps a raw stream's units to a size a picture can have: the bytes of a
// unit beyond `limit` (garbage without start codes, as a broken sender
// gives) are dropped until the next start code, so that they are never
// handed on to be held whole by the decoder's splitter.
class OversizedUnitFilter {
public:
    explicit OversizedUnitFilter(size_t limit) : limit_(limit) {}
    // The piece as it is to be handed on (`out` is reused).
    void Filter(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
    uint64_t dropped() const { return dropped_; }

private:
    size_t limit_;
    size_t unitBytes_ = 0;  // since the last start code
    int zeros_ = 0;
    bool dropping_ = false;
    uint64_t dropped_ = 0;
};

}  // namespace vdplay

#endif  // VD_PLAYER_PICTURE_ARRIVALS_H
