#include "player/avi_stream_plan.h"

namespace vdplay {
namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool Is(const uint8_t* p, const char* code) {
    return p[0] == uint8_t(code[0]) && p[1] == uint8_t(code[1]) && p[2] == uint8_t(code[2]) && p[3] == uint8_t(code[3]);
}

bool Sane(uint64_t micros) { return micros >= 1000 && micros <= 10000000; }

// The picture interval from the first video stream header inside a header
// list, or 0.
uint32_t VideoInterval(const uint8_t* list, size_t size) {
    size_t pos = 0;
    while (pos + 8 <= size) {
        const uint32_t len = Le32(list + pos + 4);
        if (Is(list + pos, "LIST") && pos + 12 <= size && Is(list + pos + 8, "strl")) {
            const size_t inner = pos + 12;
            const size_t end = len - 4 <= size - inner ? inner + len - 4 : size;
            if (end >= inner + 8 + 28 && Is(list + inner, "strh") && Is(list + inner + 8, "vids")) {
                const uint32_t scale = Le32(list + inner + 8 + 20);
                const uint32_t rate = Le32(list + inner + 8 + 24);
                if (rate != 0 && scale != 0 && Sane(uint64_t(scale) * 1000000u / rate))
                    return uint32_t(uint64_t(scale) * 1000000u / rate);
            }
        }
        const uint64_t next = uint64_t(pos) + 8 + len + (len & 1);
        if (next > size) break;
        pos = size_t(next);
    }
    return 0;
}

}  // namespace

bool ReadStreamTiming(const uint8_t* head, size_t size, StreamTiming* out) {
    *out = StreamTiming();
    if (size < 12 || !Is(head, "RIFF") || !Is(head + 8, "AVI ")) return false;
    uint32_t interval = 0;
    size_t pos = 12;
    while (pos + 12 <= size) {
        const uint32_t len = Le32(head + pos + 4);
        if (Is(head + pos, "LIST") && Is(head + pos + 8, "movi")) {
            out->moviData = pos + 12;
            out->microsPerPicture = interval ? interval : 40000;
            return true;
        }
        if (Is(head + pos, "LIST") && Is(head + pos + 8, "hdrl")) {
            const size_t listEnd = len - 4 <= size - (pos + 12) ? pos + 12 + (len - 4) : size;
            interval = VideoInterval(head + pos + 12, listEnd - (pos + 12));
            const uint8_t* avih = head + pos + 12;
            if (listEnd >= pos + 12 + 8 + 40 && Is(avih, "avih")) {
                const uint32_t main = Le32(avih + 8);
                if (!interval && Sane(main)) interval = main;
                out->width = Le32(avih + 8 + 32);
                out->height = Le32(avih + 8 + 36);
            }
        }
        const uint64_t next = uint64_t(pos) + 8 + len + (len & 1);
        if (next > size) return false;
        pos = size_t(next);
    }
    return false;
}

Piece NextPiece(const uint8_t* head, size_t have, uint64_t remaining) {
    Piece p;
    if (remaining == 0) return p;
    if (have < 8 || remaining < 8) {
        p.length = remaining;  // a tail too short to be a chunk
        return p;
    }
    if ((Is(head, "RIFF") || Is(head, "LIST")) && have >= 12) {
        p.kind = PieceKind::kListHeader;
        p.length = 12;
        return p;
    }
    const uint32_t len = Le32(head + 4);
    const uint64_t total = 8 + uint64_t(len) + (len & 1);
    p.length = total < remaining ? total : remaining;
    const bool digits = head[0] >= '0' && head[0] <= '9' && head[1] >= '0' && head[1] <= '9';
    if (digits && head[2] == 'd' && (head[3] == 'c' || head[3] == 'b')) p.kind = PieceKind::kPicture;
    return p;
}

}  // namespace vdplay
