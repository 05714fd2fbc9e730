#include "core/avi_writer.h"

#include "core/sound_format.h"

#include <algorithm>

namespace demoplay {
namespace {

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAviifKeyframe = 0x10;
constexpr size_t kStrhSize = 56;
constexpr size_t kDmlhSize = 248;

class Bytes {
public:
    std::vector<uint8_t> b;
    void u8(uint8_t v) { b.push_back(v); }
    void u16(uint16_t v) {
        u8(uint8_t(v));
        u8(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        u16(uint16_t(v));
        u16(uint16_t(v >> 16));
    }
    void u64(uint64_t v) {
        u32(uint32_t(v));
        u32(uint32_t(v >> 32));
    }
    void zeros(size_t n) { b.insert(b.end(), n, 0); }
    void raw(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
    size_t size() const { return b.size(); }
    void set32(size_t at, uint32_t v) { PutLe32(&b[at], v); }
};

}  // namespace

AviHeaders CompressedVideoHeaders(uint32_t fourCc, int width, int height, uint32_t rate, uint32_t scale) {
    AviHeaders h;
    VideoStreamInfo& v = h.video;
    v.number = 0;
    v.handler = v.compression = fourCc;
    v.width = width;
    v.height = height;
    v.rate = rate;
    v.scale = scale;
    v.bitCount = 24;
    v.sizeImage = uint32_t(width) * uint32_t(height) * 3;
    v.suggestedBufferSize = v.sizeImage;
    h.width = uint32_t(width);
    h.height = uint32_t(height);
    h.streamCount = 1;
    h.microSecPerFrame = uint32_t(std::min<uint64_t>(h.FrameMicroseconds(), 0xFFFFFFFFu));
    Bytes strh;
    strh.u32(kFccVids);
    strh.u32(fourCc);
    strh.zeros(12);  // flags, priority, language, initial frames
    strh.u32(scale);
    strh.u32(rate);
    strh.zeros(8);  // start, length
    strh.u32(v.suggestedBufferSize);
    strh.u32(0xFFFFFFFFu);  // quality: the default
    strh.u32(0);            // sample size
    strh.u16(0);
    strh.u16(0);
    strh.u16(uint16_t(width));
    strh.u16(uint16_t(height));
    v.strh = strh.b;
    Bytes strf;  // BITMAPINFOHEADER
    strf.u32(40);
    strf.u32(uint32_t(width));
    strf.u32(uint32_t(height));
    strf.u16(1);
    strf.u16(24);
    strf.u32(fourCc);
    strf.u32(v.sizeImage);
    strf.zeros(16);
    v.strf = strf.b;
    return h;
}

bool AviWriter::Put(const std::vector<uint8_t>& bytes) {
    if (failed_ || !sink_->Append(bytes.data(), bytes.size())) failed_ = true;
    return !failed_;
}

bool AviWriter::Patch32(uint64_t at, uint32_t value) {
    uint8_t v[4];
    PutLe32(v, value);
    if (failed_ || !sink_->Patch(at, v, 4)) failed_ = true;
    return !failed_;
}

bool AviWriter::Begin(ByteSink* sink, const AviHeaders& source, bool withAudio) {
    sink_ = sink;
    withAudio_ = withAudio && source.hasAudio;
    streams_ = withAudio_ ? 2 : 1;
    const VideoStreamInfo& v = source.video;
    chunkIds_[0] = FourCc('0', '0', 'd', v.compression == 0 ? 'b' : 'c');
    chunkIds_[1] = FourCc('0', '1', 'w', 'b');
    audioBlockAlign_ = withAudio_ && source.audio.blockAlign ? source.audio.blockAlign : 1;
    audioPerChunk_ = withAudio_ && DescribeSound(source.audio).perChunk;
    const uint64_t base = sink_->Position();

    Bytes h;
    h.u32(kFccRiff);
    h.u32(0);  // patched when the RIFF closes
    h.u32(kFccAvi);
    h.u32(kFccList);
    size_t hdrlSizeAt = h.size();
    h.u32(0);
    h.u32(kFccHdrl);

    h.u32(kFccAvih);
    h.u32(56);
    h.u32(uint32_t(std::min<uint64_t>(source.FrameMicroseconds(), 0xFFFFFFFFu)));
    h.u32(0);
    h.u32(0);
    h.u32(kAvifHasIndex | kAvifIsInterleaved);
    totalFramesAt_ = base + h.size();
    h.u32(0);  // total frames (of the first RIFF)
    h.u32(0);
    h.u32(uint32_t(streams_));
    h.u32(v.suggestedBufferSize);
    h.u32(uint32_t(v.width));
    h.u32(uint32_t(v.height < 0 ? -int64_t(v.height) : v.height));
    h.zeros(16);

    const uint32_t superBytes = 24 + 16 * limits_.maxRiffs;
    for (int s = 0; s < streams_; ++s) {
        const std::vector<uint8_t>& strhIn = s == 0 ? v.strh : source.audio.strh;
        const std::vector<uint8_t>& strf = s == 0 ? v.strf : source.audio.strf;
        std::vector<uint8_t> strh(kStrhSize, 0);
        std::copy_n(strhIn.begin(), std::min(strhIn.size(), kStrhSize), strh.begin());
        PutLe32(&strh[0], s == 0 ? kFccVids : kFccAuds);
        PutLe32(&strh[28], 0);  // start
        PutLe32(&strh[32], 0);  // length, patched in Finish
        Bytes strl;
        strl.u32(kFccStrl);
        strl.u32(kFccStrh);
        strl.u32(uint32_t(strh.size()));
        size_t lengthInStrl = strl.size() + 32;
        strl.raw(strh);
        strl.u32(kFccStrf);
        strl.u32(uint32_t(strf.size()));
        strl.raw(strf);
        if (strf.size() & 1) strl.u8(0);
        // Super-index with room for one standard index per RIFF.
        strl.u32(kFccIndx);
        strl.u32(superBytes);
        strl.u16(4);
        strl.u8(0);
        strl.u8(0);   // an index of indexes
        strl.u32(0);  // entries in use, patched in Finish
        strl.u32(chunkIds_[s]);
        strl.zeros(12);
        size_t superInStrl = strl.size();
        strl.zeros(16 * size_t(limits_.maxRiffs));
        h.u32(kFccList);
        h.u32(uint32_t(strl.size()));
        lengthAt_[s] = base + h.size() + lengthInStrl;
        superIndexAt_[s] = base + h.size() + superInStrl;  // the first entry
        h.raw(strl.b);
    }
    // The OpenDML header with the count of all pictures.
    h.u32(kFccList);
    h.u32(4 + 8 + kDmlhSize);
    h.u32(FourCc('o', 'd', 'm', 'l'));
    h.u32(FourCc('d', 'm', 'l', 'h'));
    h.u32(kDmlhSize);
    dmlhFramesAt_ = base + h.size();
    h.zeros(kDmlhSize);
    h.set32(hdrlSizeAt, uint32_t(h.size() - hdrlSizeAt - 4));

    riffAt_ = base;
    h.u32(kFccList);
    h.u32(0);  // patched when the RIFF closes
    h.u32(kFccMovi);
    moviAt_ = base + h.size() - 12;
    riffCount_ = 1;
    return Put(h.b);
}

bool AviWriter::AddChunk(ChunkClass cls, const uint8_t* data, size_t size, bool key) {
    if (failed_ || finished_ || !sink_ || cls == ChunkClass::kOther || (cls == ChunkClass::kAudio && !withAudio_))
        return false;
    if (size > 0x7FFFFFFFu) return false;
    const int stream = cls == ChunkClass::kVideo ? 0 : 1;
    // Room for the chunk and for the indexes that close the RIFF.
    uint64_t indexBytes = (entries_.size() + 1) * (riffCount_ == 1 ? 24 : 8) + 64;
    uint64_t after = sink_->Position() + 8 + size + (size & 1) + indexBytes;
    if (after - riffAt_ > limits_.riffBytes && !entries_.empty()) {
        if (riffCount_ >= limits_.maxRiffs) return false;  // the super-indexes are full
        if (!CloseRiff() || !OpenExtension()) return false;
    }
    uint64_t at = sink_->Position();
    Bytes c;
    c.u32(chunkIds_[stream]);
    c.u32(uint32_t(size));
    if (!Put(c.b) || !sink_->Append(data, size)) {
        failed_ = true;
        return false;
    }
    static const uint8_t kPad = 0;
    if ((size & 1) && !sink_->Append(&kPad, 1)) {
        failed_ = true;
        return false;
    }
    entries_.push_back(Entry{stream, at, uint32_t(size), key || stream != 0});
    if (stream == 0) {
        ++videoFrames_;
        if (riffCount_ == 1) ++firstRiffFrames_;
    } else {
        audioBytes_ += size;
        ++audioChunks_;
    }
    return true;
}

// Ends the current 'movi' list with its standard indexes, adds 'idx1' to the
// first RIFF, and completes the sizes.
bool AviWriter::CloseRiff() {
    const uint64_t base = riffAt_;
    for (int s = 0; s < streams_; ++s) {
        Bytes ix;
        uint32_t count = 0;
        uint32_t duration = 0;
        for (const Entry& e : entries_) {
            if (e.stream != s) continue;
            ++count;
            duration += s == 0 || audioPerChunk_ ? 1 : e.size / audioBlockAlign_;
        }
        ix.u32(FourCc('i', 'x', '0', char('0' + s)));
        ix.u32(24 + 8 * count);
        ix.u16(2);
        ix.u8(0);
        ix.u8(1);  // an index of chunks
        ix.u32(count);
        ix.u32(chunkIds_[s]);
        ix.u64(base);
        ix.u32(0);
        for (const Entry& e : entries_) {
            if (e.stream != s) continue;
            ix.u32(uint32_t(e.offset + 8 - base));
            ix.u32(e.key ? e.size : e.size | 0x80000000u);  // bit 31: not a key frame
        }
        superIndex_[s].push_back(SuperEntry{sink_->Position(), uint32_t(ix.size()), duration});
        if (!Put(ix.b)) return false;
    }
    const uint64_t moviEnd = sink_->Position();
    if (!Patch32(moviAt_ + 4, uint32_t(moviEnd - moviAt_ - 8))) return false;
    if (riffCount_ == 1) {
        Bytes idx;
        idx.u32(kFccIdx1);
        idx.u32(uint32_t(entries_.size() * 16));
        for (const Entry& e : entries_) {
            idx.u32(chunkIds_[e.stream]);
            idx.u32(e.key ? kAviifKeyframe : 0);
            idx.u32(uint32_t(e.offset - (moviAt_ + 8)));  // from the 'movi' code
            idx.u32(e.size);
        }
        if (!Put(idx.b)) return false;
    }
    entries_.clear();
    return Patch32(riffAt_ + 4, uint32_t(sink_->Position() - riffAt_ - 8));
}

bool AviWriter::OpenExtension() {
    riffAt_ = sink_->Position();
    Bytes h;
    h.u32(kFccRiff);
    h.u32(0);
    h.u32(kFccAvix);
    h.u32(kFccList);
    h.u32(0);
    h.u32(kFccMovi);
    moviAt_ = riffAt_ + 12;
    ++riffCount_;
    return Put(h.b);
}

bool AviWriter::Finish() {
    if (failed_ || finished_ || !sink_) return false;
    finished_ = true;
    if (!CloseRiff()) return false;
    bool ok = Patch32(totalFramesAt_, firstRiffFrames_) && Patch32(dmlhFramesAt_, videoFrames_) &&
              Patch32(lengthAt_[0], videoFrames_);
    if (ok && withAudio_)
        ok = Patch32(lengthAt_[1], audioPerChunk_ ? audioChunks_ : uint32_t(audioBytes_ / audioBlockAlign_));
    for (int s = 0; ok && s < streams_; ++s) {
        ok = Patch32(superIndexAt_[s] - 20, uint32_t(superIndex_[s].size()));  // entries in use
        for (size_t i = 0; ok && i < superIndex_[s].size(); ++i) {
            uint8_t e[16];
            PutLe64(e, superIndex_[s][i].offset);
            PutLe32(e + 8, superIndex_[s][i].size);
            PutLe32(e + 12, superIndex_[s][i].duration);
            ok = sink_->Patch(superIndexAt_[s] + 16 * i, e, 16);
        }
    }
    if (!ok) failed_ = true;
    return ok;
}

}  // namespace demoplay
