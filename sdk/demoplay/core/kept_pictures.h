// The compressed pictures a port keeps for the next recording, so that a
// recording can start at the last key picture at or before the picture on
// display rather than at the next one: groups of pictures, each from a key
// picture on, bounded in bytes and pictures. The pictures of a group that
// outgrows the bounds keep only their places.
#ifndef DEMOPLAY_CORE_KEPT_PICTURES_H
#define DEMOPLAY_CORE_KEPT_PICTURES_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "core/nal_units.h"

namespace demoplay {

struct KeptPicture {
    std::vector<uint8_t> data;  // a key picture with the parameter sets it lacks before it
    uint64_t position = 0;      // in decoding order
    AccessUnitFacts facts;
    uint64_t placesAfter = 0;  // pictures after it that did not fit: places only
};

class KeptPictures {
public:
    KeptPictures(size_t maxBytes, size_t maxPictures) : maxBytes_(maxBytes), maxPictures_(maxPictures) {}

    // Keeps a picture. `shown` is one past the place of the last picture
    // handed over (0: none yet): a key picture lets the groups before the one
    // that holds it go. `sets` (may be null) gives a key picture's missing
    // parameter sets.
    void Add(const uint8_t* data, size_t size, uint64_t position, const AccessUnitFacts& facts, uint64_t shown,
             const ParameterSets* sets);
    // Where a recording starts: the last key picture at or before the one
    // shown, else the first kept.
    size_t StartIndex(uint64_t shown) const;
    // The pictures no longer follow on (a seek, cleared stream data).
    void Clear();

    const std::deque<KeptPicture>& pictures() const { return pictures_; }
    size_t bytes() const { return bytes_; }

private:
    void DropFront(size_t count);

    size_t maxBytes_, maxPictures_;
    std::deque<KeptPicture> pictures_;  // the first one, if any, a key picture
    size_t bytes_ = 0;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_KEPT_PICTURES_H
