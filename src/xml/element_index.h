// The element index: one 32-byte record per element, addressed by number, in
// segments of 65,536 records so that growing never moves more than one
// segment and numbers stay valid.
#ifndef VD_XML_ELEMENT_INDEX_H
#define VD_XML_ELEMENT_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vd {

struct ElementRecord {
    uint32_t start;          // offset of the '<' that opens the element
    uint32_t length;         // through the '>' that closes it
    uint32_t tagLengths;     // bits 0-21 start tag, bits 22-31 end tag
    uint32_t levelAndFlags;  // bits 0-15 nesting level, flags below
    uint32_t parent;
    uint32_t firstChild;
    uint32_t nextSibling;
    uint32_t previousSibling;  // the first child holds the last child here

    uint32_t StartTagLength() const { return tagLengths & kStartTagMask; }
    uint32_t EndTagLength() const { return tagLengths >> 22; }
    uint32_t Level() const { return levelAndFlags & kLevelMask; }
    bool Has(uint32_t flag) const { return (levelAndFlags & flag) != 0; }

    static constexpr uint32_t kStartTagMask = 0x3FFFFF;
    static constexpr uint32_t kMaxStartTag = kStartTagMask;
    static constexpr uint32_t kMaxEndTag = 0x3FF;
    static constexpr uint32_t kLevelMask = 0xFFFF;
    static constexpr uint32_t kMaxLevel = kLevelMask;
    static constexpr uint32_t kFirstChild = 0x80000;
    static constexpr uint32_t kUnended = 0x100000;
    static constexpr uint32_t kErrorInside = 0x200000;
    static constexpr uint32_t kNotWellFormed = 0x800000;  // element 0 only

    static uint32_t TagLengths(uint32_t startTag, uint32_t endTag) { return startTag | (endTag << 22); }
};
static_assert(sizeof(ElementRecord) == 32, "records are eight 32-bit words");

class ElementIndex {
public:
    static constexpr uint32_t kSegmentBits = 16;
    static constexpr uint32_t kSegmentSize = 1u << kSegmentBits;
    // Element numbers are 32-bit; the last number is never handed out.
    static constexpr uint64_t kMaxRecords = 0xFFFFFFFFull;

    // Drops every record and makes room for `capacity` records.
    void Reset(uint32_t capacity);
    // Grows the room when all `used` records are taken: to used + used / 2,
    // but never past the end of the next segment in one step. False when the
    // numbers are exhausted.
    bool Grow(uint32_t used);

    uint32_t Capacity() const { return capacity_; }
    ElementRecord& operator[](uint32_t i) { return segments_[i >> kSegmentBits][i & (kSegmentSize - 1)]; }
    const ElementRecord& operator[](uint32_t i) const { return segments_[i >> kSegmentBits][i & (kSegmentSize - 1)]; }
    // Bytes held by the records.
    std::size_t BytesReserved() const { return static_cast<std::size_t>(capacity_) * sizeof(ElementRecord); }

private:
    void Resize(uint64_t newCapacity);

    std::vector<std::unique_ptr<ElementRecord[]>> segments_;
    uint32_t capacity_ = 0;
};

}  // namespace vd

#endif
