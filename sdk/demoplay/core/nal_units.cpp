#include "core/nal_units.h"

#include <algorithm>

namespace demoplay {
namespace {

// H.264 unit types.
constexpr int kH264Idr = 5, kH264Sps = 7, kH264Pps = 8;
// H.265 unit types.
constexpr int kH265RaslN = 8, kH265RaslR = 9, kH265BlaFirst = 16, kH265IdrWRadl = 19, kH265IdrNLp = 20, kH265Cra = 21,
              kH265IrapLast = 23, kH265Vps = 32, kH265Sps = 33, kH265Pps = 34;

// Parameter sets are small; a larger one is taken for damage and not kept.
constexpr size_t kMaxParameterSetBytes = 1 << 16;

int UnitType(VideoCodec codec, const uint8_t* unit, size_t size) {
    if (size < 1) return -1;
    return codec == VideoCodec::kH265 ? (unit[0] >> 1) & 0x3F : unit[0] & 0x1F;
}

// Reads the first bits of a unit's payload with the emulation-prevention
// bytes taken out: enough for the numbers at the start of a parameter set.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) {
        int zeros = 0;
        for (size_t i = 0; i < size && bytes_.size() < 64; ++i) {
            if (zeros >= 2 && data[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = data[i] == 0 ? zeros + 1 : 0;
            bytes_.push_back(data[i]);
        }
    }
    bool Bits(int n, uint32_t* out) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            if (pos_ >= bytes_.size() * 8) return false;
            v = (v << 1) | ((bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1);
            ++pos_;
        }
        *out = v;
        return true;
    }
    bool Skip(int n) {
        uint32_t ignored;
        while (n > 24) {
            if (!Bits(24, &ignored)) return false;
            n -= 24;
        }
        return Bits(n, &ignored);
    }
    bool Golomb(uint32_t* out) {
        int zeros = 0;
        uint32_t bit = 0;
        while (Bits(1, &bit) && bit == 0)
            if (++zeros > 31) return false;
        if (bit != 1) return false;
        uint32_t rest = 0;
        if (!Bits(zeros, &rest)) return false;
        *out = (uint32_t(1) << zeros) - 1 + rest;
        return true;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

// The sequence parameter set's number in an H.265 SPS, behind its profile,
// tier and level.
bool H265SpsId(BitReader& r, uint32_t* id) {
    uint32_t subLayers = 0;
    if (!r.Skip(4) || !r.Bits(3, &subLayers) || !r.Skip(1) || !r.Skip(96)) return false;
    bool profile[8] = {}, level[8] = {};
    for (uint32_t i = 0; i < subLayers; ++i) {
        uint32_t p = 0, l = 0;
        if (!r.Bits(1, &p) || !r.Bits(1, &l)) return false;
        profile[i] = p != 0;
        level[i] = l != 0;
    }
    if (subLayers > 0 && !r.Skip(2 * int(8 - subLayers))) return false;
    for (uint32_t i = 0; i < subLayers; ++i)
        if ((profile[i] && !r.Skip(88)) || (level[i] && !r.Skip(8))) return false;
    return r.Golomb(id);
}

}  // namespace

int NalLengthSize(VideoCodec codec, const uint8_t* extra, size_t size) {
    if (codec == VideoCodec::kH264 && size >= 7 && extra[0] == 1) return (extra[4] & 3) + 1;
    if (codec == VideoCodec::kH265 && size >= 23 && extra[0] == 1) return (extra[21] & 3) + 1;
    return 0;
}

void SplitNalUnits(const uint8_t* data, size_t size, int lengthSize, VideoCodec codec, std::vector<NalUnit>* out) {
    out->clear();
    if (lengthSize > 0) {
        size_t pos = 0;
        while (size - pos >= size_t(lengthSize)) {
            size_t n = 0;
            for (int i = 0; i < lengthSize; ++i) n = (n << 8) | data[pos + size_t(i)];
            pos += size_t(lengthSize);
            if (n > size - pos) break;
            if (n > 0) out->push_back(NalUnit{data + pos, n, UnitType(codec, data + pos, n)});
            pos += n;
        }
        return;
    }
    // Start codes: a unit runs to the next "00 00 00" or "00 00 01".
    size_t start = SIZE_MAX;
    size_t i = 0;
    auto close = [&](size_t end) {
        if (start == SIZE_MAX) return;
        while (end > start && data[end - 1] == 0) --end;  // the next start code's leading zero
        if (end > start) out->push_back(NalUnit{data + start, end - start, UnitType(codec, data + start, end - start)});
    };
    while (i + 3 <= size) {
        if (data[i + 2] > 1) {
            i += 3;
        } else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            close(i);
            start = i + 3;
            i += 3;
        } else {
            ++i;
        }
    }
    close(size);
}

AccessUnitFacts DescribeAccessUnit(const uint8_t* data, size_t size, int lengthSize, VideoCodec codec) {
    std::vector<NalUnit> units;
    SplitNalUnits(data, size, lengthSize, codec, &units);
    AccessUnitFacts f;
    for (const NalUnit& u : units) {
        if (codec == VideoCodec::kH264) {
            if (u.type >= 1 && u.type <= 5) {
                // The first slice says what the picture is.
                if (!f.picture) f.key = u.type == kH264Idr;
                f.picture = true;
            }
            f.parameterSets |= u.type == kH264Sps || u.type == kH264Pps;
        } else if (codec == VideoCodec::kH265) {
            if (u.type <= kH265IrapLast && (u.type < 10 || u.type >= kH265BlaFirst) && u.type != 22 && u.type != 23) {
                if (!f.picture) {
                    f.key = u.type >= kH265BlaFirst && u.type <= kH265Cra;
                    f.openKey = f.key && u.type != kH265IdrWRadl && u.type != kH265IdrNLp;
                    f.skippableLeading = u.type == kH265RaslN || u.type == kH265RaslR;
                }
                f.picture = true;
            }
            f.parameterSets |= u.type == kH265Vps || u.type == kH265Sps || u.type == kH265Pps;
        }
    }
    return f;
}

// The kind of a parameter set (its place in the order they must come in) and
// its number; false for other units and for sets too damaged to tell.
bool ParameterSets::Identify(const NalUnit& u, int* rank, uint32_t* id) const {
    const size_t header = codec_ == VideoCodec::kH265 ? 2 : 1;
    if (u.size <= header || u.size > kMaxParameterSetBytes) return false;
    BitReader r(u.data + header, u.size - header);
    if (codec_ == VideoCodec::kH264) {
        if (u.type == kH264Sps) {
            *rank = 1;
            return r.Skip(24) && r.Golomb(id) && *id < 32;
        }
        if (u.type == kH264Pps) {
            *rank = 2;
            return r.Golomb(id) && *id < 256;
        }
        return false;
    }
    if (u.type == kH265Vps) {
        *rank = 0;
        return r.Bits(4, id);
    }
    if (u.type == kH265Sps) {
        *rank = 1;
        return H265SpsId(r, id) && *id < 16;
    }
    if (u.type == kH265Pps) {
        *rank = 2;
        return r.Golomb(id) && *id < 64;
    }
    return false;
}

void ParameterSets::Remember(const uint8_t* data, size_t size) {
    SplitNalUnits(data, size, lengthSize_, codec_, &units_);
    for (const NalUnit& u : units_) {
        int rank = 0;
        uint32_t id = 0;
        if (!Identify(u, &rank, &id)) continue;
        auto same =
            std::find_if(sets_.begin(), sets_.end(), [&](const Set& s) { return s.type == rank && s.id == id; });
        if (same != sets_.end()) {
            same->unit.assign(u.data, u.data + u.size);
        } else {
            sets_.push_back(Set{rank, id, std::vector<uint8_t>(u.data, u.data + u.size)});
        }
    }
}

std::vector<uint8_t> ParameterSets::MissingFrom(const uint8_t* data, size_t size) const {
    SplitNalUnits(data, size, lengthSize_, codec_, &units_);
    bool missing = false;
    for (const Set& s : sets_) {
        bool carried = false;
        for (const NalUnit& u : units_) {
            int rank = 0;
            uint32_t id = 0;
            if (Identify(u, &rank, &id) && rank == s.type && id == s.id) carried = true;
        }
        missing |= !carried;
    }
    std::vector<uint8_t> out;
    if (!missing) return out;
    for (int rank = 0; rank <= 2; ++rank) {
        for (const Set& s : sets_) {
            if (s.type != rank) continue;
            if (lengthSize_ == 0) {
                out.insert(out.end(), {0, 0, 0, 1});
            } else {
                if (lengthSize_ < 4 && s.unit.size() >= (size_t(1) << (8 * lengthSize_))) continue;  // cannot be framed
                for (int i = lengthSize_ - 1; i >= 0; --i) out.push_back(uint8_t(s.unit.size() >> (8 * i)));
            }
            out.insert(out.end(), s.unit.begin(), s.unit.end());
        }
    }
    return out;
}

}  // namespace demoplay
