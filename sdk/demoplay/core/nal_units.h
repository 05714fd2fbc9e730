// The NAL units of H.264 and H.265 access units as AVI chunks and raw streams
// carry them: after start codes (Annex-B), or each after its length (the
// framing that goes with an avcC/hvcC record in the stream format). What a
// recording and a seek need to know about a picture: whether decoding can
// start at it, whether it is a leading picture that cannot be decoded when
// decoding starts at its random-access point, and the parameter sets.
#ifndef DEMOPLAY_CORE_NAL_UNITS_H
#define DEMOPLAY_CORE_NAL_UNITS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/video_codec.h"

namespace demoplay {

// 0: start codes; else 1, 2 or 4 bytes of length before each unit, as an
// avcC/hvcC record (version 1) in the codec set-up says. Anything else in
// the set-up (Annex-B parameter sets, nothing) means start codes.
int NalLengthSize(VideoCodec codec, const uint8_t* extra, size_t size);

struct NalUnit {
    const uint8_t* data = nullptr;  // from the unit's header on
    size_t size = 0;
    int type = -1;
};

// The units of an access unit; a length that runs past the data ends the list.
void SplitNalUnits(const uint8_t* data, size_t size, int lengthSize, VideoCodec codec, std::vector<NalUnit>* out);

struct AccessUnitFacts {
    bool picture = false;  // holds a slice
    bool key = false;      // decoding can start here: an IDR (H.264), an IRAP picture (H.265)
    // A key picture whose undecodable leading pictures (RASL) are dropped when
    // decoding starts at it: H.265 CRA and BLA.
    bool openKey = false;
    bool skippableLeading = false;  // H.265 RASL
    bool parameterSets = false;
};

AccessUnitFacts DescribeAccessUnit(const uint8_t* data, size_t size, int lengthSize, VideoCodec codec);

// The latest parameter sets of each kind and number a stream has carried, to
// put before a key picture that does not carry them itself (the first one a
// recording holds).
class ParameterSets {
public:
    ParameterSets(VideoCodec codec, int lengthSize) : codec_(codec), lengthSize_(lengthSize) {}
    void Remember(const uint8_t* data, size_t size);
    // Empty when the access unit carries every set remembered; else all of
    // them (video, sequence, then picture sets), framed as the stream frames
    // its units, to go before it.
    std::vector<uint8_t> MissingFrom(const uint8_t* data, size_t size) const;
    size_t count() const { return sets_.size(); }

private:
    struct Set {
        int type;
        uint32_t id;
        std::vector<uint8_t> unit;
    };
    bool Identify(const NalUnit& unit, int* rank, uint32_t* id) const;

    VideoCodec codec_;
    int lengthSize_;
    std::vector<Set> sets_;  // bounded by the numbers each kind may have
    mutable std::vector<NalUnit> units_;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_NAL_UNITS_H
