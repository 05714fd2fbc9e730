// How vdplay feeds a recording as a live stream: the headers at once, then
// the chunks of the 'movi' data in file order, each picture when it is due.
// The client does not decode; it only needs to know where the pictures are
// and how often they come.
#ifndef VD_PLAYER_AVI_STREAM_PLAN_H
#define VD_PLAYER_AVI_STREAM_PLAN_H

#include <cstddef>
#include <cstdint>

namespace vdplay {

struct StreamTiming {
    uint64_t moviData = 0;           // offset of the first chunk after the 'movi' list header
    uint32_t microsPerPicture = 0;   // from the video stream header, else the main header, else 40000
    uint32_t width = 0, height = 0;  // the main header's picture size (0 when it gives none)
};

// Reads the timing from the first bytes of a file (the whole header list
// must be among them). False when they are not those of an AVI file with a
// 'movi' list.
bool ReadStreamTiming(const uint8_t* head, size_t size, StreamTiming* out);

enum class PieceKind {
    kListHeader,  // a RIFF or LIST header; the chunks inside follow in line
    kPicture,     // a chunk of a video stream ('##dc' or '##db')
    kOther,       // sound, index, padding or anything else
};

struct Piece {
    PieceKind kind = PieceKind::kOther;
    uint64_t length = 0;  // bytes from the piece's start, never beyond the file's end
};

// What starts at a position in the 'movi' data: `head` holds the first
// min(12, remaining) bytes there, `remaining` the bytes left in the file.
// A piece always has a length of at least 1 when remaining is not 0, so a
// walk over damaged data ends.
Piece NextPiece(const uint8_t* head, size_t have, uint64_t remaining);

}  // namespace vdplay

#endif  // VD_PLAYER_AVI_STREAM_PLAN_H
