#include "core/stream_assembler.h"

#include <algorithm>

namespace demoplay {

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

}  // namespace demoplay
