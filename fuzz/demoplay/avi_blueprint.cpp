#include "avi_blueprint.h"

#include <algorithm>

#include "sdk/riff_writer.h"

namespace demoplay_test {
namespace {

constexpr int kPlannedStreams = 8;

// Reads fields in order; bytes past the end read as zero.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    uint8_t u8() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    uint16_t u16() { return uint16_t(u8() | (u8() << 8)); }
    uint32_t u32() { return uint32_t(u16()) | (uint32_t(u16()) << 16); }

private:
    const uint8_t* p_;
    size_t n_;
};

class Lcg {
public:
    explicit Lcg(uint32_t seed) : state_(seed | 1) {}
    uint32_t Next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(state_ >> 33);
    }

private:
    uint64_t state_;
};

struct VideoCodec {
    const char* fcc;  // null: uncompressed RGB
    uint16_t bits;
};
const VideoCodec kVideoCodecs[] = {{"I420", 12},  {"YV12", 12},  {"YUY2", 16}, {"UYVY", 16},
                                   {nullptr, 32}, {nullptr, 24}, {"MJPG", 24}, {"H264", 24}};
struct SoundFormat {
    uint16_t tag;
    uint16_t subformat;  // for the extensible format
};
const SoundFormat kSoundFormats[] = {{1, 0}, {1, 0}, {3, 0}, {0xFFFE, 1}, {0xFFFE, 3}, {0x55, 0}, {1, 0}, {3, 0}};
const uint16_t kSampleBits[] = {8, 16, 24, 32, 64, 12};

struct Chunk {
    uint64_t data;  // where its data starts
    uint32_t size;
};

struct StreamState {
    StreamPlan plan;
    int number = 0;
    char id[5] = {0};
    size_t superAt = 0;                // of the super-index's first entry
    std::vector<Chunk> chunks;         // all of them
    std::vector<size_t> indexes;       // standard index chunks
    std::vector<uint32_t> indexSizes;  // their sizes, header included
    std::vector<uint32_t> indexEntries;
};

bool IsVideo(const StreamPlan& p) { return p.kind % 4 == 0 || p.kind % 4 == 3; }
bool IsSound(const StreamPlan& p) { return p.kind % 4 == 1; }

}  // namespace

int Blueprint::StreamCount() const { return streamCode >= 0xF0 ? 90 + (streamCode & 0x0F) : 1 + streamCode % 8; }

Blueprint Blueprint::Decode(const uint8_t* data, size_t size) {
    Reader r(data, size);
    Blueprint b;
    b.flags = r.u8();
    b.microSecPerFrame = r.u32();
    b.width = r.u16();
    b.height = r.u16();
    b.streamCode = r.u8();
    b.streams.clear();
    for (int i = 0; i < std::min(b.StreamCount(), kPlannedStreams); ++i) {
        StreamPlan p;
        p.kind = r.u8();
        p.codec = r.u8();
        p.rate = r.u32();
        p.scale = r.u32();
        p.channels = r.u8();
        p.samplesPerSec = r.u32();
        p.bits = r.u8();
        p.superEntries = r.u16();
        p.superAim = SuperAim(r.u8() % uint8_t(SuperAim::kCount));
        b.streams.push_back(p);
    }
    b.chunks = r.u32();
    b.chunkBytes = r.u16();
    b.jitter = r.u8();
    b.riffs = r.u8();
    b.indexEntries = r.u32();
    b.indexesPerRiff = r.u8();
    b.indexAim = EntryAim(r.u8() % uint8_t(EntryAim::kCount));
    b.idx1Entries = r.u32();
    b.idx1Aim = EntryAim(r.u8() % uint8_t(EntryAim::kCount));
    b.cut = r.u32();
    b.seed = r.u32();
    return b;
}

std::vector<uint8_t> Blueprint::Encode() const {
    demoplay_test::Writer w;
    w.u8(flags);
    w.u32(microSecPerFrame);
    w.u16(width);
    w.u16(height);
    w.u8(streamCode);
    for (int i = 0; i < std::min(StreamCount(), kPlannedStreams); ++i) {
        StreamPlan p = streams.empty() ? StreamPlan() : streams[std::min(size_t(i), streams.size() - 1)];
        w.u8(p.kind);
        w.u8(p.codec);
        w.u32(p.rate);
        w.u32(p.scale);
        w.u8(p.channels);
        w.u32(p.samplesPerSec);
        w.u8(p.bits);
        w.u16(p.superEntries);
        w.u8(uint8_t(p.superAim));
    }
    w.u32(chunks);
    w.u16(chunkBytes);
    w.u8(jitter);
    w.u8(riffs);
    w.u32(indexEntries);
    w.u8(indexesPerRiff);
    w.u8(uint8_t(indexAim));
    w.u32(idx1Entries);
    w.u8(uint8_t(idx1Aim));
    w.u32(cut);
    w.u32(seed);
    return std::move(w.b);
}

std::vector<uint8_t> BuildAvi(const Blueprint& b) {
    demoplay_test::Writer f;
    f.b.reserve(kMaxBlueprintBytes);
    Lcg lcg(b.seed);
    // Room left for more items, beyond `keep` bytes for what must still be
    // written, and a little for what follows the last chunk whatever the
    // blueprint asks (the 'AVIX' headers, the lists' pad bytes, 'idx1''s header).
    auto room = [&](size_t itemBytes, uint64_t keep = 0) -> uint64_t {
        const uint64_t used = f.pos() + 4096 + keep;
        return used >= kMaxBlueprintBytes ? 0 : (kMaxBlueprintBytes - used) / itemBytes;
    };
    // Most bytes one stream's list takes besides its super-index's entries.
    constexpr uint64_t kStreamListBytes = 256;

    const int count = b.StreamCount();
    std::vector<StreamState> streams(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        StreamState& s = streams[size_t(i)];
        s.plan = b.streams.empty() ? StreamPlan() : b.streams[std::min(size_t(i), b.streams.size() - 1)];
        if (i >= kPlannedStreams) s.plan.superEntries = 0;
        s.number = i % 100;
        s.id[0] = char('0' + s.number / 10);
        s.id[1] = char('0' + s.number % 10);
        s.id[2] = IsVideo(s.plan) ? 'd' : IsSound(s.plan) ? 'w' : 't';
        s.id[3] = IsVideo(s.plan) ? 'c' : IsSound(s.plan) ? 'b' : 'x';
    }
    const uint64_t chunkCount = std::min<uint64_t>(b.chunks, kMaxBlueprintBytes / 8);

    size_t riffAt = f.open("RIFF", "AVI ");
    size_t hdrl = f.open("LIST", "hdrl");
    f.fcc("avih");
    f.u32(56);
    f.u32(b.microSecPerFrame);
    f.u32(0);
    f.u32(0);
    f.u32(0x10);
    f.u32(uint32_t(chunkCount));
    f.u32(0);
    f.u32(uint32_t(count));
    f.u32(b.chunkBytes);
    f.u32(b.width);
    f.u32(b.height);
    f.zeros(16);
    for (StreamState& s : streams) {
        const StreamPlan& p = s.plan;
        const VideoCodec& video = kVideoCodecs[p.codec % 8];
        const SoundFormat& sound = kSoundFormats[p.codec % 8];
        const uint16_t bits = kSampleBits[p.bits % 6];
        const uint16_t channels = uint16_t(p.channels % 17);
        const uint16_t blockAlign = uint16_t(channels * (bits / 8));
        size_t strl = f.open("LIST", "strl");
        f.fcc("strh");
        f.u32(56);
        f.fcc(IsVideo(p) ? "vids" : IsSound(p) ? "auds" : "txts");
        f.u32(IsVideo(p) && video.fcc ? demoplay_test::Fcc(video.fcc) : 0);
        f.zeros(12);
        f.u32(p.scale);
        f.u32(p.rate);
        f.u32(0);
        f.u32(uint32_t(chunkCount / uint64_t(count)));
        f.u32(b.chunkBytes);
        f.u32(0xFFFFFFFFu);
        f.u32(IsSound(p) ? blockAlign : 0);
        f.u16(0);
        f.u16(0);
        f.u16(b.width);
        f.u16(b.height);
        if (IsVideo(p)) {
            f.fcc("strf");
            f.u32(40);
            f.u32(40);
            f.u32(b.width);
            f.u32(b.height);
            f.u16(1);
            f.u16(video.bits);
            f.u32(video.fcc ? demoplay_test::Fcc(video.fcc) : 0);
            f.u32(uint32_t(b.width) * b.height * video.bits / 8);
            f.zeros(16);
        } else if (IsSound(p)) {
            const bool extensible = sound.tag == 0xFFFE;
            f.fcc("strf");
            f.u32(extensible ? 40 : 18);
            f.u16(sound.tag);
            f.u16(channels);
            f.u32(p.samplesPerSec);
            f.u32(p.samplesPerSec * blockAlign);
            f.u16(blockAlign);
            f.u16(bits);
            f.u16(extensible ? 22 : 0);
            if (extensible) {
                f.u16(bits);
                f.u32(3);
                f.u16(sound.subformat);
                const uint8_t rest[14] = {0, 0, 0, 0, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
                for (uint8_t x : rest) f.u8(x);
            }
        }
        // The streams still to come keep their room.
        const uint64_t later = kStreamListBytes * uint64_t(count - 1 - (&s - streams.data()));
        const uint64_t entries = std::min<uint64_t>(p.superEntries, room(16, later));
        s.plan.superEntries = uint16_t(entries);  // as many as there was room for
        if (entries > 0) {
            f.fcc("indx");
            f.u32(uint32_t(24 + 16 * entries));
            f.u16(4);
            f.u8(0);
            f.u8(0);  // an index of indexes
            f.u32(uint32_t(entries));
            f.fcc(s.id);
            f.zeros(12);
            s.superAt = f.pos();
            f.zeros(size_t(16 * entries));
        }
        f.close(strl);
    }
    f.close(hdrl);
    if (b.flags & Blueprint::kJunk) {
        f.fcc("JUNK");
        f.u32(100);
        f.fill(100, 0xEE);
    }

    const int riffs = 1 + b.riffs % 16;
    const bool interrupted = (b.flags & Blueprint::kInterrupted) != 0;
    size_t moviAt = 0, firstMovi = 0;
    uint64_t written = 0;
    for (int r = 0; r < riffs; ++r) {
        if (r > 0) {
            riffAt = f.open("RIFF", "AVIX");
        }
        moviAt = f.open("LIST", "movi");
        if (r == 0) firstMovi = moviAt + 4;  // the 'movi' code
        const uint64_t until = chunkCount * uint64_t(r + 1) / uint64_t(riffs);
        std::vector<std::vector<Chunk>> inRiff(streams.size());
        std::vector<std::pair<const StreamState*, Chunk>> inOrder;  // this RIFF's chunks as written
        for (; written < until; ++written) {
            const size_t si = size_t(written % uint64_t(count));
            StreamState& s = streams[si];
            uint32_t size = b.chunkBytes + (b.jitter ? lcg.Next() % (uint32_t(b.jitter) + 1) : 0);
            if (!(b.flags & Blueprint::kOddSizes)) size &= ~1u;
            if (room(size + 20) == 0) break;
            size_t rec = 0;
            if (b.flags & Blueprint::kRecLists) rec = f.open("LIST", "rec ");
            f.fcc(s.id);
            f.u32(size);
            const Chunk c{f.pos(), size};
            f.fill(size, uint8_t(written));
            if (size & 1) f.u8(0);
            if (rec) f.close(rec);
            s.chunks.push_back(c);
            inRiff[si].push_back(c);
            if (r == 0 && (b.flags & Blueprint::kIdx1)) inOrder.emplace_back(&s, c);
        }
        written = until;
        // Standard indexes of this RIFF, for the streams with a super-index.
        for (size_t si = 0; si < streams.size(); ++si) {
            StreamState& s = streams[si];
            if (s.plan.superEntries == 0) continue;
            const std::vector<Chunk>& own = inRiff[si];
            const int perRiff = 1 + b.indexesPerRiff % 4;
            for (int k = 0; k < perRiff; ++k) {
                // Unless told how many, the indexes share the RIFF's chunks evenly.
                const uint64_t first =
                    b.indexEntries ? uint64_t(k) * b.indexEntries : own.size() * uint64_t(k) / perRiff;
                uint64_t entries = b.indexEntries ? b.indexEntries : own.size() * uint64_t(k + 1) / perRiff - first;
                // No room for the index's own 32-byte header: the blueprint asks for
                // more indexes than the file holds.
                const uint64_t space = room(8);
                if (space < 4) continue;
                entries = std::min<uint64_t>(entries, space - 4);
                const size_t ixAt = f.pos();
                f.fcc("ix00");
                f.b[ixAt + 2] = s.id[0];
                f.b[ixAt + 3] = s.id[1];
                f.u32(uint32_t(24 + 8 * entries));
                f.u16(2);
                f.u8(0);
                f.u8(1);  // an index of chunks
                f.u32(uint32_t(entries));
                f.fcc(s.id);
                f.u64(b.indexAim == EntryAim::kPastTheEnd ? uint64_t(1) << 40 : 0);  // base
                f.u32(0);
                for (uint64_t e = 0; e < entries; ++e) {
                    Chunk c{0, 0};
                    if (!own.empty()) c = own[b.indexAim == EntryAim::kOneChunk ? 0 : size_t((first + e) % own.size())];
                    if (b.indexAim == EntryAim::kScattered) c = Chunk{lcg.Next() % (f.pos() + 1), lcg.Next() % 4096};
                    f.u32(uint32_t(c.data));
                    f.u32(c.size);
                }
                s.indexes.push_back(ixAt);
                s.indexSizes.push_back(uint32_t(f.pos() - ixAt));
                s.indexEntries.push_back(uint32_t(entries));
            }
        }
        const bool last = r + 1 == riffs;
        if (!(interrupted && last)) f.close(moviAt);
        if (r == 0 && (b.flags & Blueprint::kIdx1)) {
            const std::vector<std::pair<const StreamState*, Chunk>>& all = inOrder;
            uint64_t entries = b.idx1Entries ? b.idx1Entries : all.size();
            entries = std::min<uint64_t>(entries, room(16));
            const uint64_t base = (b.flags & Blueprint::kIdx1Absolute) ? 0 : firstMovi;
            f.fcc("idx1");
            f.u32(uint32_t(16 * entries));
            for (uint64_t e = 0; e < entries; ++e) {
                const StreamState* s = all.empty() ? &streams[0] : all[size_t(e % all.size())].first;
                Chunk c = all.empty() ? Chunk{0, 0}
                                      : all[b.idx1Aim == EntryAim::kOneChunk ? 0 : size_t(e % all.size())].second;
                if (b.idx1Aim == EntryAim::kPastTheEnd) c.data += uint64_t(1) << 31;
                if (b.idx1Aim == EntryAim::kScattered) c = Chunk{lcg.Next() % (f.pos() + 1), lcg.Next()};
                f.fcc(s->id);
                f.u32(0x10);
                f.u32(uint32_t(c.data - 8 - base));  // of the chunk's header; wraps for aims outside
                f.u32(c.size);
            }
        }
        if (!(interrupted && last)) f.close(riffAt);
    }

    const uint64_t fileSize = f.pos();
    for (StreamState& s : streams) {
        for (uint64_t e = 0; e < s.plan.superEntries; ++e) {
            const size_t at = s.superAt + size_t(16 * e);
            uint64_t offset = 0;
            size_t which = s.indexes.empty() ? 0 : size_t(e % s.indexes.size());
            const uint64_t first = s.indexes.empty() ? fileSize : s.indexes[0];
            switch (s.plan.superAim) {
                case SuperAim::kOwnIndexes:
                    offset = s.indexes.empty() ? fileSize : s.indexes[which];
                    break;
                case SuperAim::kOneIndex:
                    offset = first, which = 0;
                    break;
                case SuperAim::kOverlapping:
                    offset = first + 8 * e, which = 0;
                    break;
                case SuperAim::kScattered:
                    offset = lcg.Next() % (fileSize + 1);
                    break;
                default:
                    offset = fileSize + 16 * e;
                    break;
            }
            f.set64(at, offset);
            f.set32(at + 8, s.indexes.empty() ? 0 : s.indexSizes[which]);
            f.set32(at + 12, s.indexes.empty() ? 0 : s.indexEntries[which]);
        }
    }
    if ((b.flags & Blueprint::kCut) && !f.b.empty()) f.b.resize(b.cut % f.b.size());
    return std::move(f.b);
}

}  // namespace demoplay_test
