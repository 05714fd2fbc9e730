#include "player/picture_arrivals.h"

namespace vdplay {
namespace {

// H.264: SEI, parameter sets, the access unit delimiter and the types
// reserved to come before a picture open an access unit; slices (1-5) open
// one when they are the first slice of a picture (first_mb_in_slice 0).
bool H264Opens(int type) { return (type >= 6 && type <= 9) || (type >= 14 && type <= 18); }
// H.265: VPS, SPS, PPS, the delimiter, prefix SEI and the reserved prefix
// types; slices are the types 0-31.
bool H265Opens(int type) {
    return (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44) || (type >= 48 && type <= 55);
}

}  // namespace

void PictureArrivals::Restart() {
    zeros_ = 0;
    headerHave_ = -1;
    inPicture_ = false;
    sliceSeen_ = false;
}

int64_t PictureArrivals::ArrivalOf(uint64_t offset) const {
    for (unsigned back = 0; back < kPiecesKept; ++back) {
        const Piece& p = pieces_[(newest_ + kPiecesKept - back) % kPiecesKept];
        if (p.begin <= offset || back == kPiecesKept - 1) return p.us;
    }
    return 0;
}

void PictureArrivals::UnitHeaderComplete(std::vector<PictureArrival>* completed) {
    const uint8_t* h = header_;
    if (codec_ == StreamCodec::kUnknown) {
        // As the SDK tells them apart: a two-byte H.265 header of layer 0 with a
        // temporal id naming a parameter set or delimiter is H.265; anything
        // else is taken as H.264.
        const int type = (h[0] >> 1) & 0x3F;
        codec_ = (h[0] & 0x81) == 0 && (h[1] & 0x07) != 0 && type >= 32 && type <= 35 ? StreamCodec::kH265
                                                                                      : StreamCodec::kH264;
    }
    bool opens = false, slice = false, firstSlice = false;
    if (codec_ == StreamCodec::kH265) {
        const int type = (h[0] >> 1) & 0x3F;
        slice = type <= 31;
        firstSlice = slice && (h[2] & 0x80);
        opens = H265Opens(type);
    } else {
        const int type = h[0] & 0x1F;
        slice = type >= 1 && type <= 5;
        firstSlice = slice && (h[1] & 0x80);
        opens = H264Opens(type);
    }
    // A picture begins here when the unit opens an access unit or is a first
    // slice (or any slice, when joining a stream mid-picture), and the picture
    // before has its slices already.
    if ((opens || firstSlice || !inPicture_) && (!inPicture_ || sliceSeen_)) {
        // The picture before ended with the byte before this unit's start code.
        if (inPicture_) completed->push_back(PictureArrival{begun_ - 1, ArrivalOf(unitAt_ - 1)});
        ++begun_;
        inPicture_ = true;
        sliceSeen_ = false;
    }
    if (slice) sliceSeen_ = true;
    headerHave_ = -1;
}

void PictureArrivals::Add(const uint8_t* data, size_t size, int64_t nowUs, std::vector<PictureArrival>* completed) {
    if (size == 0) return;
    newest_ = (newest_ + 1) % kPiecesKept;
    pieces_[newest_] = Piece{scanned_, nowUs};
    for (size_t i = 0; i < size; ++i, ++scanned_) {
        const uint8_t b = data[i];
        if (headerHave_ >= 0) {
            header_[headerHave_++] = b;
            if (headerHave_ == 3) UnitHeaderComplete(completed);
        }
        if (b == 0) {
            ++zeros_;
            continue;
        }
        if (b == 1 && zeros_ >= 2) {
            // A unit shorter than the header bytes looked at ends here.
            if (headerHave_ > 0) {
                while (headerHave_ < 3) header_[headerHave_++] = 0;
                UnitHeaderComplete(completed);
            }
            unitAt_ = scanned_ - uint64_t(zeros_);
            headerHave_ = 0;
        }
        zeros_ = 0;
    }
}

void OversizedUnitFilter::Filter(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    out->clear();
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        const bool startCode = b == 1 && zeros_ >= 2;
        zeros_ = b == 0 ? zeros_ + 1 : 0;
        if (startCode) {
            unitBytes_ = 0;
            if (dropping_) {
                // The zeros before the 1 went with the dropped bytes.
                dropping_ = false;
                out->insert(out->end(), {0, 0, 0});
            }
        } else if (++unitBytes_ > limit_ && !dropping_) {
            dropping_ = true;
        }
        if (dropping_)
            ++dropped_;
        else
            out->push_back(b);
    }
}

}  // namespace vdplay
