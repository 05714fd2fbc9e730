#include "core/avi_parser.h"

#include <algorithm>
#include <set>

namespace demoplay {
namespace {

// Upper bounds on the chunks walked, so that a hostile file made of millions
// of empty chunks ends the walk in bounded time.
constexpr size_t kMaxTopLevelChunks = 100000;
constexpr size_t kMaxRiffs = 65536;
constexpr size_t kIdx1BlockEntries = 4096;

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatIeeeFloat = 3;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint8_t kIndexOfChunks = 0x01;

uint64_t Padded(uint64_t size) { return size + (size & 1); }

AviStatus ParseStreamList(const uint8_t* data, size_t size, int number, AviHeaders* out) {
    const uint8_t* strh = nullptr;
    size_t strhSize = 0;
    const uint8_t* strf = nullptr;
    size_t strfSize = 0;
    const uint8_t* indx = nullptr;
    size_t indxSize = 0;
    size_t pos = 0;
    while (pos + 8 <= size) {
        uint32_t id = ReadLe32(data + pos);
        uint32_t len = ReadLe32(data + pos + 4);
        if (len > size - pos - 8) return AviStatus::kCorrupt;
        const uint8_t* body = data + pos + 8;
        if (id == kFccStrh && !strh) {
            strh = body;
            strhSize = len;
        } else if (id == kFccStrf && !strf) {
            strf = body;
            strfSize = len;
        } else if (id == kFccIndx && !indx) {
            indx = body;
            indxSize = len;
        }
        pos += 8 + size_t(Padded(len));
    }
    if (!strh || strhSize < 40) return AviStatus::kCorrupt;
    uint32_t type = ReadLe32(strh);

    std::vector<SuperIndexEntry> superIndex;
    if (indx && indxSize >= 24 && ReadLe16(indx) == 4 && indx[3] == kIndexOfIndexes) {
        uint32_t inUse = ReadLe32(indx + 4);
        size_t fits = (indxSize - 24) / 16;
        size_t count = std::min<size_t>(inUse, fits);
        superIndex.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* e = indx + 24 + i * 16;
            SuperIndexEntry entry;
            entry.offset = ReadLe64(e);
            entry.size = ReadLe32(e + 8);
            entry.duration = ReadLe32(e + 12);
            if (entry.offset != 0) superIndex.push_back(entry);
        }
    }

    if (type == kFccVids && out->video.number < 0) {
        if (!strf || strfSize < 40) return AviStatus::kCorrupt;
        VideoStreamInfo& v = out->video;
        v.number = number;
        v.handler = ReadLe32(strh + 4);
        v.scale = ReadLe32(strh + 20);
        v.rate = ReadLe32(strh + 24);
        v.length = ReadLe32(strh + 32);
        v.suggestedBufferSize = ReadLe32(strh + 36);
        v.width = int32_t(ReadLe32(strf + 4));
        v.height = int32_t(ReadLe32(strf + 8));
        v.bitCount = ReadLe16(strf + 14);
        v.compression = ReadLe32(strf + 16);
        v.sizeImage = ReadLe32(strf + 20);
        v.strh.assign(strh, strh + strhSize);
        v.strf.assign(strf, strf + strfSize);
        v.superIndex = std::move(superIndex);
    } else if (type == kFccAuds && !out->hasAudio) {
        if (!strf || strfSize < 14) return AviStatus::kCorrupt;
        AudioStreamInfo& a = out->audio;
        a.number = number;
        a.formatTag = ReadLe16(strf);
        a.channels = ReadLe16(strf + 2);
        a.samplesPerSec = ReadLe32(strf + 4);
        a.avgBytesPerSec = ReadLe32(strf + 8);
        a.blockAlign = ReadLe16(strf + 12);
        a.bitsPerSample = strfSize >= 16 ? ReadLe16(strf + 14) : 0;
        // The extensible format names its samples in the first two bytes of its
        // subformat.
        const uint16_t tag =
            a.formatTag == kWaveFormatExtensible ? (strfSize >= 40 ? ReadLe16(strf + 24) : 0) : a.formatTag;
        a.pcm = tag == kWaveFormatPcm;
        a.ieeeFloat = tag == kWaveFormatIeeeFloat;
        a.suggestedBufferSize = ReadLe32(strh + 36);
        a.strh.assign(strh, strh + strhSize);
        a.strf.assign(strf, strf + strfSize);
        a.superIndex = std::move(superIndex);
        out->hasAudio = true;
    }
    return AviStatus::kOk;
}

bool InFile(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
}

// What reading the indexes may cost. Every entry examined counts against
// `examine`, kept or not, so that the work is bounded by the file's size
// whatever its counts claim; `keep` bounds what is held.
struct IndexBudget {
    size_t keep = kMaxIndexEntries;
    uint64_t examine = 0;
    uint64_t examined = 0;
    std::set<uint64_t> indexesRead;  // offsets of the standard indexes read

    bool Examine() {
        if (examine == 0) return false;
        --examine;
        ++examined;
        return true;
    }
};

// Reads the standard index chunks ('ix##') that a super-index points to; one
// named more than once is read once.
void ReadStandardIndexes(ByteSource& source, const std::vector<SuperIndexEntry>& superIndex, std::vector<ChunkRef>* out,
                         IndexBudget* budget) {
    const uint64_t fileSize = source.Size();
    std::vector<uint8_t> block;
    for (const SuperIndexEntry& e : superIndex) {
        if (budget->keep == 0 || !budget->Examine()) return;
        if (!budget->indexesRead.insert(e.offset).second) continue;
        uint8_t head[32];
        if (!source.Read(e.offset, head, sizeof head)) continue;
        uint32_t chunkSize = ReadLe32(head + 4);
        if (ReadLe16(head + 8) != 2 || head[11] != kIndexOfChunks || chunkSize < 24) continue;
        uint64_t available = std::min<uint64_t>(chunkSize, fileSize - e.offset - 8);
        uint64_t count = std::min<uint64_t>(ReadLe32(head + 12), (available - 24) / 8);
        count = std::min<uint64_t>(count, budget->examine);
        uint64_t base = ReadLe64(head + 20);
        uint64_t entriesAt = e.offset + 32;
        for (uint64_t done = 0; done < count && budget->keep > 0;) {
            size_t n = size_t(std::min<uint64_t>(count - done, kIdx1BlockEntries));
            block.resize(n * 8);
            if (!source.Read(entriesAt + done * 8, block.data(), block.size())) break;
            for (size_t i = 0; i < n && budget->keep > 0 && budget->Examine(); ++i) {
                uint32_t off = ReadLe32(&block[i * 8]);
                uint32_t raw = ReadLe32(&block[i * 8 + 4]);
                ChunkRef ref;
                ref.offset = base + off;
                ref.size = raw & 0x7FFFFFFFu;
                ref.key = (raw & 0x80000000u) == 0;
                if (ref.offset < base || !InFile(ref.offset, ref.size, fileSize)) continue;
                out->push_back(ref);
                --budget->keep;
            }
            done += n;
        }
    }
}

// Reads 'idx1'. Its offsets count from the 'movi' code of the first list in
// most files and from the start of the file in some; the first entry tells.
void ReadIdx1(ByteSource& source, uint64_t idx1Offset, uint64_t idx1Size, const AviHeaders& headers,
              uint64_t moviListOffset, bool wantVideo, bool wantAudio, std::vector<ChunkRef>* video,
              std::vector<ChunkRef>* audio, IndexBudget* budget) {
    const uint64_t fileSize = source.Size();
    const uint64_t count = idx1Size / 16;
    std::vector<uint8_t> block;
    bool baseKnown = false;
    uint64_t base = moviListOffset;
    for (uint64_t done = 0; done < count && budget->keep > 0 && budget->examine > 0;) {
        size_t n = size_t(std::min<uint64_t>(count - done, kIdx1BlockEntries));
        block.resize(n * 16);
        if (!source.Read(idx1Offset + done * 16, block.data(), block.size())) break;
        for (size_t i = 0; i < n && budget->keep > 0 && budget->Examine(); ++i) {
            const uint8_t* e = &block[i * 16];
            uint32_t id = ReadLe32(e);
            ChunkClass cls = ClassifyChunk(id, headers);
            if (cls == ChunkClass::kOther) continue;
            uint32_t off = ReadLe32(e + 8);
            uint32_t size = ReadLe32(e + 12);
            if (!baseKnown) {
                baseKnown = true;
                uint8_t probe[4];
                bool relative = source.Read(moviListOffset + off, probe, 4) && ReadLe32(probe) == id;
                if (!relative && source.Read(off, probe, 4) && ReadLe32(probe) == id) base = 0;
            }
            ChunkRef ref;
            ref.offset = base + off + 8;
            ref.size = size;
            ref.key = (ReadLe32(e + 4) & 0x10u) != 0 || cls == ChunkClass::kAudio;
            if (!InFile(ref.offset, ref.size, fileSize)) continue;
            if (cls == ChunkClass::kVideo && wantVideo) {
                video->push_back(ref);
                --budget->keep;
            } else if (cls == ChunkClass::kAudio && wantAudio) {
                audio->push_back(ref);
                --budget->keep;
            }
        }
        done += n;
    }
    // Files whose writers set no key-frame flags at all: every picture counts.
    if (wantVideo && !video->empty() &&
        std::none_of(video->begin(), video->end(), [](const ChunkRef& r) { return r.key; })) {
        for (ChunkRef& r : *video) r.key = true;
    }
}

}  // namespace

const char* AviStatusText(AviStatus status) {
    switch (status) {
        case AviStatus::kOk:
            return "ok";
        case AviStatus::kNotAvi:
            return "not an AVI file";
        case AviStatus::kTruncated:
            return "truncated headers";
        case AviStatus::kCorrupt:
            return "corrupt headers";
        case AviStatus::kNoVideo:
            return "no video stream";
    }
    return "?";
}

namespace {

// Rates outside 0.1 to 1000 pictures per second are taken for damage.
bool SaneMicroseconds(uint64_t us) { return us >= 1000 && us <= 10000000; }

uint64_t Gcd(uint64_t a, uint64_t b) {
    while (b != 0) {
        uint64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// a * b / c (c > 0), rounded down or up, through a 128-bit product when the
// 64-bit one overflows; saturates at the largest value.
uint64_t MulDiv(uint64_t a, uint64_t b, uint64_t c, bool roundUp) {
    uint64_t product;
    if (!__builtin_mul_overflow(a, b, &product)) return product / c + (roundUp && product % c != 0 ? 1 : 0);
    // Long multiplication in 32-bit halves, then division bit by bit.
    const uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32, bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
    const uint64_t lolo = aLo * bLo, hilo = aHi * bLo, lohi = aLo * bHi;
    const uint64_t middle = (lolo >> 32) + (hilo & 0xFFFFFFFFu) + (lohi & 0xFFFFFFFFu);
    uint64_t hi = aHi * bHi + (hilo >> 32) + (lohi >> 32) + (middle >> 32);
    uint64_t lo = (middle << 32) | (lolo & 0xFFFFFFFFu);
    if (hi >= c) return UINT64_MAX;  // the quotient needs more than 64 bits
    uint64_t quotient = 0, remainder = hi;
    for (int bit = 63; bit >= 0; --bit) {
        const bool carry = (remainder >> 63) != 0;
        remainder = (remainder << 1) | ((lo >> bit) & 1);
        quotient <<= 1;
        if (carry || remainder >= c) {
            remainder -= c;
            quotient |= 1;
        }
    }
    if (roundUp && remainder != 0) return quotient == UINT64_MAX ? quotient : quotient + 1;
    return quotient;
}

// Milliseconds per picture as a fraction in lowest terms.
void PictureDuration(const AviHeaders& h, uint64_t* num, uint64_t* den) {
    if (h.video.rate != 0 && h.video.scale != 0 &&
        SaneMicroseconds(uint64_t(h.video.scale) * 1000000u / h.video.rate)) {
        *num = uint64_t(h.video.scale) * 1000u;
        *den = h.video.rate;
    } else if (SaneMicroseconds(h.microSecPerFrame)) {
        *num = h.microSecPerFrame;
        *den = 1000;
    } else {
        *num = 40;
        *den = 1;
    }
    uint64_t g = Gcd(*num, *den);
    *num /= g;
    *den /= g;
}

}  // namespace

uint64_t AviHeaders::FrameMicroseconds() const {
    if (video.rate != 0 && video.scale != 0) {
        uint64_t us = uint64_t(video.scale) * 1000000u / video.rate;
        if (SaneMicroseconds(us)) return us;
    }
    if (SaneMicroseconds(microSecPerFrame)) return microSecPerFrame;
    return 40000;
}

int AviHeaders::FramesPerSecond() const {
    uint64_t num, den;
    PictureDuration(*this, &num, &den);
    uint64_t fps = (den * 1000u + num / 2) / num;
    return int(std::min<uint64_t>(fps, 255));
}

uint64_t AviHeaders::PictureStampMs(uint64_t n) const {
    uint64_t num, den;
    PictureDuration(*this, &num, &den);
    return MulDiv(n, num, den, false);
}

uint64_t AviHeaders::FirstPictureAtOrAfter(uint64_t ms) const {
    uint64_t num, den;
    PictureDuration(*this, &num, &den);
    return MulDiv(ms, den, num, true);
}

uint16_t AviHeaders::StreamPrefix(int number) {
    return uint16_t(uint8_t('0' + number / 10) | (uint8_t('0' + number % 10) << 8));
}

ChunkClass ClassifyChunk(uint32_t chunkId, const AviHeaders& headers) {
    uint16_t prefix = uint16_t(chunkId & 0xFFFF);
    uint16_t type = uint16_t(chunkId >> 16);
    const uint16_t db = uint16_t('d' | ('b' << 8));
    const uint16_t dc = uint16_t('d' | ('c' << 8));
    const uint16_t wb = uint16_t('w' | ('b' << 8));
    if (headers.video.number >= 0 && prefix == AviHeaders::StreamPrefix(headers.video.number) &&
        (type == db || type == dc))
        return ChunkClass::kVideo;
    if (headers.hasAudio && prefix == AviHeaders::StreamPrefix(headers.audio.number) && type == wb)
        return ChunkClass::kAudio;
    return ChunkClass::kOther;
}

AviStatus ParseHeaderList(const uint8_t* data, size_t size, AviHeaders* out) {
    if (size < 4 || ReadLe32(data) != kFccHdrl) return AviStatus::kCorrupt;
    bool haveMain = false;
    int number = 0;
    size_t pos = 4;
    while (pos + 8 <= size) {
        uint32_t id = ReadLe32(data + pos);
        uint32_t len = ReadLe32(data + pos + 4);
        if (len > size - pos - 8) return AviStatus::kCorrupt;
        const uint8_t* body = data + pos + 8;
        if (id == kFccAvih) {
            if (len < 40) return AviStatus::kCorrupt;
            out->microSecPerFrame = ReadLe32(body);
            out->totalFrames = ReadLe32(body + 16);
            out->width = ReadLe32(body + 32);
            out->height = ReadLe32(body + 36);
            haveMain = true;
        } else if (id == kFccList && len >= 4 && ReadLe32(body) == kFccStrl) {
            if (number >= 100) return AviStatus::kCorrupt;  // chunk ids have two digits
            AviStatus s = ParseStreamList(body + 4, len - 4, number, out);
            if (s != AviStatus::kOk) return s;
            ++number;
        }
        pos += 8 + size_t(Padded(len));
    }
    out->streamCount = number;
    if (!haveMain) return AviStatus::kCorrupt;
    if (out->video.number < 0) return AviStatus::kNoVideo;
    return AviStatus::kOk;
}

void ScanMoviLists(ByteSource& source, const AviHeaders& headers, const std::vector<MoviRange>& movi,
                   std::vector<ChunkRef>* video, std::vector<ChunkRef>* audio) {
    const uint64_t fileSize = source.Size();
    size_t steps = 0;
    const size_t maxSteps = 2 * kMaxIndexEntries;
    for (const MoviRange& range : movi) {
        uint64_t pos = range.listOffset + 4;
        while (pos + 8 <= range.end && steps++ < maxSteps && video->size() + audio->size() < kMaxIndexEntries) {
            uint8_t head[12];
            if (!source.Read(pos, head, 8)) break;
            uint32_t id = ReadLe32(head);
            uint32_t len = ReadLe32(head + 4);
            uint64_t body = pos + 8;
            if (id == kFccList) {
                if (len >= 4 && source.Read(body, head + 8, 4) && ReadLe32(head + 8) == kFccRec) {
                    pos = body + 4;  // the chunks of a 'rec ' list follow in line
                    continue;
                }
            } else {
                ChunkClass cls = ClassifyChunk(id, headers);
                if (cls != ChunkClass::kOther && InFile(body, len, fileSize)) {
                    ChunkRef ref;
                    ref.offset = body;
                    ref.size = len;
                    (cls == ChunkClass::kVideo ? video : audio)->push_back(ref);
                }
            }
            pos = body + Padded(len);
        }
    }
}

AviStatus ParseAviFile(ByteSource& file, AviFileInfo* out) {
    *out = AviFileInfo();
    BufferedSource source(file);
    const uint64_t fileSize = source.Size();
    uint8_t head[12];
    if (!source.Read(0, head, 12) || ReadLe32(head) != kFccRiff || ReadLe32(head + 8) != kFccAvi)
        return AviStatus::kNotAvi;
    uint32_t riffSize = ReadLe32(head + 4);
    uint64_t riffEnd = riffSize < 4 ? fileSize : std::min<uint64_t>(8 + uint64_t(riffSize), fileSize);

    bool haveHeaders = false;
    uint64_t idx1Offset = 0, idx1Size = 0;
    uint64_t pos = 12;
    for (size_t n = 0; pos + 8 <= riffEnd && n < kMaxTopLevelChunks; ++n) {
        if (!source.Read(pos, head, 8)) break;
        uint32_t id = ReadLe32(head);
        uint32_t len = ReadLe32(head + 4);
        uint64_t body = pos + 8;
        // A list of size 0 is one an interrupted writer never completed.
        if (id == kFccList && (len >= 4 || len == 0) && source.Read(body, head + 8, 4)) {
            uint32_t type = ReadLe32(head + 8);
            if (len == 0 && type != kFccMovi) break;
            if (type == kFccHdrl && !haveHeaders) {
                if (len > kMaxHeaderListSize) return AviStatus::kCorrupt;
                if (!InFile(body, len, fileSize)) return AviStatus::kTruncated;
                std::vector<uint8_t> list(len);
                if (!source.Read(body, list.data(), len)) return AviStatus::kTruncated;
                AviStatus s = ParseHeaderList(list.data(), list.size(), &out->headers);
                if (s != AviStatus::kOk) return s;
                haveHeaders = true;
            } else if (type == kFccMovi) {
                MoviRange r;
                r.listOffset = body;
                // A list left with size 0 by an interrupted writer runs to the end.
                r.end = len == 0 ? riffEnd : std::min<uint64_t>(body + len, fileSize);
                out->movi.push_back(r);
                if (len == 0) break;
            }
        } else if (id == kFccIdx1) {
            idx1Offset = body;
            idx1Size = std::min<uint64_t>(len, fileSize - std::min(fileSize, body));
        }
        pos = body + Padded(len);
    }
    if (!haveHeaders) return pos >= fileSize ? AviStatus::kTruncated : AviStatus::kCorrupt;

    // OpenDML extensions: further RIFF 'AVIX' lists after the first RIFF.
    pos = 8 + Padded(riffSize);
    for (size_t r = 0; riffSize >= 4 && r < kMaxRiffs && pos + 12 <= fileSize; ++r) {
        if (!source.Read(pos, head, 12) || ReadLe32(head) != kFccRiff || ReadLe32(head + 8) != kFccAvix) break;
        out->openDml = true;
        uint32_t size = ReadLe32(head + 4);
        if (size < 4) break;
        uint64_t end = std::min<uint64_t>(pos + 8 + uint64_t(size), fileSize);
        uint64_t p = pos + 12;
        for (size_t n = 0; p + 12 <= end && n < kMaxTopLevelChunks; ++n) {
            uint8_t ch[12];
            if (!source.Read(p, ch, 12)) break;
            uint32_t len = ReadLe32(ch + 4);
            if (ReadLe32(ch) == kFccList && ReadLe32(ch + 8) == kFccMovi && len >= 4) {
                MoviRange m;
                m.listOffset = p + 8;
                m.end = std::min<uint64_t>(p + 8 + uint64_t(len), end);
                out->movi.push_back(m);
            }
            p += 8 + Padded(len);
        }
        pos += 8 + Padded(size);
    }

    AviHeaders& h = out->headers;
    IndexBudget budget;
    // A real index entry takes at least 8 bytes of the file (a standard index
    // entry; 16 for a super-index or 'idx1' entry).
    budget.examine = fileSize / 8;
    if (!h.video.superIndex.empty() || (h.hasAudio && !h.audio.superIndex.empty())) out->openDml = true;
    if (!h.video.superIndex.empty()) ReadStandardIndexes(source, h.video.superIndex, &out->videoChunks, &budget);
    if (h.hasAudio && !h.audio.superIndex.empty())
        ReadStandardIndexes(source, h.audio.superIndex, &out->audioChunks, &budget);
    if (!out->videoChunks.empty()) out->indexSource = AviFileInfo::IndexSource::kSuperIndex;

    bool needVideo = out->videoChunks.empty();
    bool needAudio = h.hasAudio && out->audioChunks.empty();
    // 'idx1' covers only the first RIFF; with extensions and no super-index
    // the lists are scanned instead.
    if ((needVideo || needAudio) && idx1Size >= 16 && !out->movi.empty() && out->movi.size() == 1) {
        ReadIdx1(source, idx1Offset, idx1Size, h, out->movi.front().listOffset, needVideo, needAudio, &out->videoChunks,
                 &out->audioChunks, &budget);
        if (needVideo && !out->videoChunks.empty()) out->indexSource = AviFileInfo::IndexSource::kIdx1;
    }
    out->indexEntriesExamined = budget.examined;
    if (out->videoChunks.empty()) {
        out->audioChunks.clear();
        out->indexSource = AviFileInfo::IndexSource::kScan;
        ScanMoviLists(source, h, out->movi, &out->videoChunks, &out->audioChunks);
    } else if (needAudio && out->audioChunks.empty()) {
        std::vector<ChunkRef> ignored;
        ScanMoviLists(source, h, out->movi, &ignored, &out->audioChunks);
    }
    return AviStatus::kOk;
}

}  // namespace demoplay
