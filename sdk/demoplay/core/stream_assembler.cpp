#include "core/stream_assembler.h"

#include <algorithm>

namespace demoplay {
namespace {

// first_mb_in_slice, the ue(v) that opens an H.264 slice header, read from
// the bytes as they are, as libavcodec's parser reads it (five bytes at
// most); false while more bytes are needed.
bool FirstMbInSlice(const uint8_t* p, size_t n, uint32_t* mb) {
    const size_t bits = std::min<size_t>(n, 5) * 8;
    auto bit = [&](size_t at) { return (p[at / 8] >> (7 - at % 8)) & 1; };
    size_t at = 0;
    while (at < bits && !bit(at)) ++at;
    const size_t zeros = at;
    if (2 * zeros + 1 > bits) {
        if (n < 5) return false;
        *mb = UINT32_MAX;  // not a number a slice can start at: damage
        return true;
    }
    uint32_t rest = 0;
    for (size_t k = 0; k < zeros; ++k) rest = (rest << 1) | uint32_t(bit(zeros + 1 + k));
    *mb = (uint32_t(1) << zeros) - 1 + rest;
    return true;
}

}  // namespace

AviStatus ParseStreamHeader(const uint8_t* data, size_t size, AviHeaders* out, size_t* moviEnd) {
    *out = AviHeaders();
    StreamHeaderParser parser;
    return parser.Continue(data, size, out, moviEnd);
}

AviStatus StreamHeaderParser::Continue(const uint8_t* data, size_t size, AviHeaders* out, size_t* moviEnd) {
    if (size < 12 || ReadLe32(data) != kFccRiff || ReadLe32(data + 8) != kFccAvi) return AviStatus::kNotAvi;
    while (pos_ + 8 <= size) {
        ++chunkHeadersRead_;
        uint32_t id = ReadLe32(data + pos_);
        uint32_t len = ReadLe32(data + pos_ + 4);
        if (id == kFccList) {
            // A list is known by its type, whatever its size says.
            if (pos_ + 12 > size) return AviStatus::kTruncated;
            uint32_t type = ReadLe32(data + pos_ + 8);
            if (type == kFccMovi) {
                if (!haveHeaders_) return AviStatus::kCorrupt;
                *moviEnd = pos_ + 12;
                return AviStatus::kOk;
            }
            if (type == kFccHdrl && !haveHeaders_) {
                if (len > size - pos_ - 8) return AviStatus::kTruncated;
                AviStatus s = ParseHeaderList(data + pos_ + 8, len, out);
                if (s != AviStatus::kOk) return s;
                haveHeaders_ = true;
            }
        }
        uint64_t next = uint64_t(pos_) + 8 + len + (len & 1);
        if (next > size) return AviStatus::kTruncated;
        pos_ = size_t(next);
    }
    return AviStatus::kTruncated;
}

StreamAssembler::StreamAssembler(const AviHeaders& headers, size_t maxChunkBytes)
    : headers_(headers), maxChunkBytes_(maxChunkBytes) {}

void StreamAssembler::Recycle(std::vector<uint8_t>&& spent, size_t room) {
    if (spares_.size() >= kMaxSpares || heldBytes() + spent.capacity() > room) return;  // freed
    spareBytes_ += spent.capacity();
    spares_.push_back(std::move(spent));
}

void StreamAssembler::DropSpares() {
    spares_.clear();
    spareBytes_ = 0;
}

void StreamAssembler::Reset() {
    state_ = State::kHeader;
    header_.clear();
    body_.clear();
    remaining_ = 0;
    pad_ = false;
    // Positions start again: the end of the list is no longer known.
    fed_ = 0;
    movieEnd_ = 0;
}

void StreamAssembler::SetMovieBytes(uint64_t bytes) {
    movieEnd_ = fed_ + bytes;
    movieEnded_ = false;
}

void StreamAssembler::EndMovie(std::vector<StreamChunk>* out) {
    movieEnded_ = true;
    movieEnd_ = 0;
    StreamChunk end;
    end.movieEnd = true;
    out->push_back(std::move(end));
}

// Called with the 8-byte header (or 12 bytes for RIFF and LIST) complete.
void StreamAssembler::StartChunk(std::vector<StreamChunk>* out) {
    uint32_t id = ReadLe32(header_.data());
    uint32_t len = ReadLe32(header_.data() + 4);
    if (id == kFccList && ReadLe32(header_.data() + 8) == kFccMovi) {
        // A size too small to be real (a writer that never completed it) leaves
        // the end to the index.
        movieEnd_ = len >= 4 ? fed_ - 4 + len : 0;
        movieEnded_ = false;
    }
    header_.clear();
    if (id == kFccRiff || id == kFccList) {
        // Lists hold chunks in line ('movi', 'rec ', the 'AVIX' of an OpenDML
        // extension); the list type has been read with the header.
        state_ = State::kHeader;
        return;
    }
    if (id == kFccIdx1 && !movieEnded_) EndMovie(out);
    ChunkClass cls = ClassifyChunk(id, headers_);
    remaining_ = len;
    pad_ = (len & 1) != 0;
    if (cls == ChunkClass::kOther || len > maxChunkBytes_) {
        if (cls != ChunkClass::kOther) ++skippedChunks_;
        state_ = State::kSkip;
        remaining_ += pad_ ? 1 : 0;
        pad_ = false;
        return;
    }
    current_.cls = cls;
    body_.clear();
    const size_t need = size_t(len) + kChunkSlack;
    if (body_.capacity() < need) {
        size_t best = spares_.size();
        for (size_t i = 0; i < spares_.size(); ++i) {
            const size_t capacity = spares_[i].capacity();
            if (capacity < need || capacity / 2 > need) continue;
            if (best == spares_.size() || capacity < spares_[best].capacity()) best = i;
        }
        if (best < spares_.size()) {
            spareBytes_ -= spares_[best].capacity();
            body_.swap(spares_[best]);  // a spare, in place of the body's smaller memory
            spares_.erase(spares_.begin() + ptrdiff_t(best));
            body_.clear();
        }
    }
    body_.reserve(need);
    state_ = State::kBody;
}

void StreamAssembler::Feed(const uint8_t* data, size_t size, std::vector<StreamChunk>* out) {
    size_t pos = 0;
    const uint64_t base = fed_;
    auto atMovieEnd = [&] {
        return !movieEnded_ && movieEnd_ != 0 && state_ == State::kHeader && header_.empty() && base + pos >= movieEnd_;
    };
    while (pos < size || (state_ == State::kBody && remaining_ == 0)) {
        if (atMovieEnd()) EndMovie(out);
        switch (state_) {
            case State::kHeader: {
                size_t need = 8;
                if (header_.size() >= 4) {
                    uint32_t id = ReadLe32(header_.data());
                    if (id == kFccRiff || id == kFccList) need = 12;
                }
                size_t take = std::min(need - header_.size(), size - pos);
                header_.insert(header_.end(), data + pos, data + pos + take);
                pos += take;
                if (header_.size() == need) {
                    // Decide the header length once the id is known.
                    uint32_t id = ReadLe32(header_.data());
                    if ((id == kFccRiff || id == kFccList) && need == 8) break;
                    fed_ = base + pos;
                    StartChunk(out);
                }
                break;
            }
            case State::kBody: {
                size_t take = size_t(std::min<uint64_t>(remaining_, size - pos));
                body_.insert(body_.end(), data + pos, data + pos + take);
                pos += take;
                remaining_ -= take;
                if (remaining_ == 0) {
                    out->push_back(std::move(current_));
                    current_ = StreamChunk();
                    state_ = pad_ ? State::kSkip : State::kHeader;
                    remaining_ = pad_ ? 1 : 0;
                    pad_ = false;
                }
                break;
            }
            case State::kSkip: {
                size_t take = size_t(std::min<uint64_t>(remaining_, size - pos));
                pos += take;
                remaining_ -= take;
                if (remaining_ == 0) state_ = State::kHeader;
                break;
            }
        }
    }
    if (atMovieEnd()) EndMovie(out);
    fed_ = base + size;
}

AnnexBAssembler::AnnexBAssembler(VideoCodec codec, int64_t quietUs, size_t maxUnitBytes)
    : codec_(codec), quietUs_(quietUs), maxUnitBytes_(maxUnitBytes) {}

void AnnexBAssembler::Reset() {
    buffer_.clear();
    begin_ = scan_ = 0;
    synced_ = pending_ = false;
    lastUnit_ = SIZE_MAX;
    lastIsSlice_ = haveSlice_ = false;
    lastFirstMb_ = 0;
    early_ = cut_ = restartNext_ = oversized_ = false;
    earlyEnd_ = 0;
}

size_t AnnexBAssembler::CutBefore(size_t at) const { return at > begin_ && buffer_[at - 1] == 0 ? at - 1 : at; }

size_t AnnexBAssembler::TrimmedEnd() const {
    size_t end = buffer_.size();
    while (end > lastUnit_ && buffer_[end - 1] == 0) --end;
    return end;
}

void AnnexBAssembler::MarkCut() {
    cut_ = true;
    quietUs_ = 0;  // this link pauses within pictures
}

void AnnexBAssembler::Emit(size_t end, int64_t arrivedUs, std::vector<Unit>* out) {
    if (oversized_ || end - begin_ > maxUnitBytes_) {
        // No picture is that large: damage, or no stream at all. Decoding
        // starts afresh after it.
        ++droppedUnits_;
        restartNext_ = true;
        oversized_ = false;
        begin_ = end;
        haveSlice_ = early_ = cut_ = false;
        return;
    }
    Unit u;
    u.arrivedUs = arrivedUs;
    if (cut_) {
        u.kind = Kind::kRedone;
        u.restart = true;
    } else if (early_) {
        u.kind = Kind::kConfirmed;
    } else {
        u.restart = restartNext_;
        restartNext_ = false;
    }
    u.data.assign(buffer_.begin() + ptrdiff_t(begin_), buffer_.begin() + ptrdiff_t(end));
    out->push_back(std::move(u));
    begin_ = end;
    haveSlice_ = early_ = cut_ = false;
}

void AnnexBAssembler::Compact() {
    // Bytes before a start code are no unit (one is kept: the first zero of
    // a 4-byte start code).
    if (!synced_) begin_ = std::max(begin_, scan_ > 0 ? scan_ - 1 : 0);
    if (begin_ == 0 || begin_ < buffer_.size() / 2) return;
    buffer_.erase(buffer_.begin(), buffer_.begin() + ptrdiff_t(begin_));
    scan_ -= std::min(scan_, begin_);
    if (lastUnit_ != SIZE_MAX) lastUnit_ = lastUnit_ >= begin_ ? lastUnit_ - begin_ : SIZE_MAX;
    earlyEnd_ -= std::min(earlyEnd_, begin_);
    begin_ = 0;
}

void AnnexBAssembler::Feed(const uint8_t* data, size_t size, int64_t arrivedUs, std::vector<Unit>* out) {
    if (size == 0) return;
    lastArrivedUs_ = arrivedUs;
    buffer_.insert(buffer_.end(), data, data + size);
    if (early_ && !cut_) {
        // All that may follow a whole unit: zeros, then the end of a start code.
        size_t p = earlyEnd_;
        while (p < buffer_.size() && buffer_[p] == 0) ++p;
        if (p < buffer_.size() && (p - earlyEnd_ < 2 || buffer_[p] != 1)) MarkCut();
    }
    const bool h265 = codec_ == VideoCodec::kH265;
    const size_t header = h265 ? 2 : 1;
    pending_ = false;
    while (scan_ + 3 <= buffer_.size()) {
        const size_t i = scan_;
        if (buffer_[i + 2] > 1) {
            scan_ += 3;
            continue;
        }
        if (buffer_[i] != 0 || buffer_[i + 1] != 0 || buffer_[i + 2] != 1) {
            ++scan_;
            continue;
        }
        const uint8_t* unit = buffer_.data() + i + 3;
        const size_t avail = buffer_.size() - i - 3;
        if (avail < header + 1) {
            pending_ = true;  // its header, and the byte after, still to come
            break;
        }
        // Where libavcodec's parsers end an access unit: at a unit of the kinds
        // that lead a picture, or at the first slice of the next picture, once
        // the unit holds a slice.
        bool starts = false, slice = false, early = false;
        uint32_t mb = 0;
        const int type = h265 ? (unit[0] >> 1) & 0x3F : unit[0] & 0x1F;
        if (h265) {
            if ((type >= 32 && type <= 37) || type == 39 || (type >= 41 && type <= 44) || (type >= 48 && type <= 55)) {
                starts = haveSlice_;
            } else if (type <= 9 || (type >= 16 && type <= 21)) {
                early = true;
                slice = (unit[2] & 0x80) != 0;  // first_slice_segment_in_pic_flag
                starts = haveSlice_ && slice;
            }
        } else if (type == 6 || type == 7 || type == 8 || type == 9) {
            starts = haveSlice_;
        } else if (type == 1 || type == 2 || type == 5) {
            if (!FirstMbInSlice(unit + 1, avail - 1, &mb)) {
                pending_ = true;
                break;
            }
            slice = true;
            early = type != 2;  // data partitions are not taken as whole early
            starts = haveSlice_ && mb <= lastFirstMb_;
        }
        if (!synced_) {
            synced_ = true;
            begin_ = CutBefore(i);
        } else if (starts) {
            Emit(CutBefore(i), arrivedUs, out);
        } else if (early_ && !cut_ && (slice || early)) {
            MarkCut();  // a further slice of the picture let out early
        }
        if (slice) {
            haveSlice_ = true;
            lastFirstMb_ = mb;
        }
        lastUnit_ = i + 3;
        lastIsSlice_ = early;
        scan_ = i + 3;
    }
    if (buffer_.size() - begin_ > maxUnitBytes_) {
        // Dropped when it ends (where it would have ended, whatever the
        // pieces); its bytes are not held meanwhile.
        oversized_ = true;
        lastIsSlice_ = false;
        lastUnit_ = SIZE_MAX;
        begin_ = scan_;
    }
    Compact();
}

int64_t AnnexBAssembler::QuietDeadlineUs() const {
    if (quietUs_ <= 0 || early_ || oversized_ || !synced_ || pending_ || !lastIsSlice_ || lastUnit_ == SIZE_MAX)
        return INT64_MAX;
    const size_t header = codec_ == VideoCodec::kH265 ? 2 : 1;
    if (TrimmedEnd() <= lastUnit_ + header) return INT64_MAX;
    return lastArrivedUs_ + quietUs_;
}

bool AnnexBAssembler::TakeIfQuiet(int64_t nowUs, Unit* out) {
    const int64_t due = QuietDeadlineUs();
    if (due == INT64_MAX || nowUs < due) return false;
    const size_t end = TrimmedEnd();
    out->kind = Kind::kEarly;
    out->data.assign(buffer_.begin() + ptrdiff_t(begin_), buffer_.begin() + ptrdiff_t(end));
    out->arrivedUs = lastArrivedUs_;
    out->restart = restartNext_;
    restartNext_ = false;
    early_ = true;
    earlyEnd_ = end;
    return true;
}

}  // namespace demoplay
