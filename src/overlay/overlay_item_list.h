// A port's overlay items, in file order, owned here. Besides the list it
// keeps what makes the reader and the drawing cheap on long side files:
// an index of the first item per ID and kind (the reader's look-up) and an
// index of the time spans (the drawing's "which items cover this stamp").
// Both indexes are rebuilt on demand after the list changes shape.
//
// Not thread-safe: every call is made under the port's overlay lock.
#ifndef VD_OVERLAY_OVERLAY_ITEM_LIST_H
#define VD_OVERLAY_OVERLAY_ITEM_LIST_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "overlay/overlay_item.h"
#include "overlay/span_index.h"

namespace vd {

class OverlayItemList {
public:
    OverlayItemList() = default;
    OverlayItemList(const OverlayItemList&) = delete;
    OverlayItemList& operator=(const OverlayItemList&) = delete;

    std::size_t Size() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    // The item at `position` in list order. Items are changed only through
    // the list, which keeps its indexes right.
    const OverlayItem& operator[](std::size_t position) const { return *items_[position]; }

    // Takes `item` at the back (a null pointer is ignored).
    void Append(std::unique_ptr<OverlayItem> item);

    // The first item from the front whose `id` equals `id` byte for byte and
    // whose kind has the same low 4 bits; null when there is none.
    const OverlayItem* FindFirst(std::string_view id, uint32_t kind);
    // Sets `endMs` of that item; false when there is none.
    bool SetEndOfFirst(std::string_view id, uint32_t kind, uint32_t endMs);

    // Builds the span index now rather than at the first query.
    void PrepareSpans();
    // The items with beginMs <= stampMs <= endMs, in list order, replacing
    // the content of `out`. Costs in proportion to their number.
    void CoveringItems(uint32_t stampMs, std::vector<const OverlayItem*>& out);

    // Removes and frees the items whose span ended before `stampMs`; returns
    // how many. Costs next to nothing while none has.
    std::size_t DropExpired(uint32_t stampMs);

    void Clear();

private:
    // The first item of each ID and kind, by open addressing: a slot holds
    // the key's hash and the item's position + 1 (0: free); the ID itself is
    // read from the item.
    struct KeySlot {
        uint32_t hash;
        uint32_t position;
    };

    static uint32_t HashKey(std::string_view id, uint32_t kindBits);
    // The slot of the key, or the free slot where it would go.
    std::size_t SlotOf(std::string_view id, uint32_t kindBits, uint32_t hash) const;
    // Registers the item at `position` unless an earlier item has its key.
    void AddKey(uint32_t position);
    // Position + 1 of the first item of the key, 0 when there is none.
    uint32_t FirstPosition(std::string_view id, uint32_t kind);
    void RebuildKeys();

    std::vector<std::unique_ptr<OverlayItem>> items_;
    std::vector<TimeSpan> timeSpans_;  // each item's span, kept beside it for the span index
    std::vector<KeySlot> keySlots_;    // a power of two in size, at most half full
    std::size_t keyCount_ = 0;
    bool keysStale_ = false;
    SpanIndex spans_;
    bool spansStale_ = false;
    // No item ends before this (a lower bound, exact after DropExpired).
    uint32_t endsFrom_ = kOverlayOpenEnded;
    std::vector<uint32_t> positions_;  // scratch of CoveringItems
};

// What one overlay pass draws on a picture stamped `stampMs`: on a stream
// port the expired items are dropped for good first; then the items covering
// the stamp, in list order (later ones are drawn over earlier ones).
void SelectOverlayItemsToDraw(OverlayItemList& items, bool isStream, uint32_t stampMs,
                              std::vector<const OverlayItem*>& out);

}  // namespace vd

#endif
