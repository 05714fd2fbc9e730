#include "xml/element_index.h"

#include <algorithm>
#include <cstring>

namespace vd {

void ElementIndex::Reset(uint32_t capacity) {
    segments_.clear();
    capacity_ = 0;
    Resize(std::max<uint32_t>(capacity, 1));
}

bool ElementIndex::Grow(uint32_t used) {
    const uint64_t lastSegment = capacity_ == 0 ? 0 : (static_cast<uint64_t>(capacity_) - 1) >> kSegmentBits;
    const uint64_t endOfNext = (lastSegment + 2) << kSegmentBits;
    uint64_t wanted = static_cast<uint64_t>(used) + used / 2;
    wanted = std::max<uint64_t>(wanted, static_cast<uint64_t>(used) + 1);
    wanted = std::min(wanted, endOfNext);
    wanted = std::min<uint64_t>(wanted, kMaxRecords);
    if (wanted <= capacity_) return false;
    Resize(wanted);
    return true;
}

void ElementIndex::Resize(uint64_t newCapacity) {
    const std::size_t segmentsNeeded = static_cast<std::size_t>((newCapacity + kSegmentSize - 1) >> kSegmentBits);
    if (segments_.capacity() < segmentsNeeded) segments_.reserve(segmentsNeeded * 2 + 4);
    // The last segment in use is reallocated to its new size, records copied;
    // segments after it are new.
    uint64_t oldCapacity = capacity_;
    for (std::size_t seg = 0; seg < segmentsNeeded; ++seg) {
        const uint64_t segStart = static_cast<uint64_t>(seg) << kSegmentBits;
        const uint64_t oldInSeg = oldCapacity > segStart ? std::min<uint64_t>(oldCapacity - segStart, kSegmentSize) : 0;
        const uint64_t newInSeg = std::min<uint64_t>(newCapacity - segStart, kSegmentSize);
        if (newInSeg == oldInSeg) continue;
        std::unique_ptr<ElementRecord[]> fresh(new ElementRecord[newInSeg]);
        if (oldInSeg > 0) std::memcpy(fresh.get(), segments_[seg].get(), oldInSeg * sizeof(ElementRecord));
        if (seg < segments_.size())
            segments_[seg] = std::move(fresh);
        else
            segments_.push_back(std::move(fresh));
    }
    capacity_ = static_cast<uint32_t>(newCapacity);
}

}  // namespace vd
