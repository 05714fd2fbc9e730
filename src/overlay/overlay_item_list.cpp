#include "overlay/overlay_item_list.h"

#include <algorithm>

namespace vd {

uint32_t OverlayItemList::HashKey(std::string_view id, uint32_t kindBits) {
    // FNV-1a: IDs are short.
    uint32_t hash = 2166136261u ^ kindBits;
    for (char c : id) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

std::size_t OverlayItemList::SlotOf(std::string_view id, uint32_t kindBits, uint32_t hash) const {
    const std::size_t mask = keySlots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const KeySlot& slot = keySlots_[i];
        if (slot.position == 0) return i;
        if (slot.hash == hash) {
            const OverlayItem& item = *items_[slot.position - 1];
            if (OverlayKindBits(item.kind) == kindBits && item.id == id) return i;
        }
    }
}

void OverlayItemList::AddKey(uint32_t position) {
    if ((keyCount_ + 1) * 2 > keySlots_.size()) {
        // Twice the room, the keys placed again in the order they came.
        std::vector<KeySlot> old(std::max<std::size_t>(keySlots_.size() * 2, 16), KeySlot{0, 0});
        old.swap(keySlots_);
        for (const KeySlot& slot : old)
            if (slot.position != 0) {
                const OverlayItem& item = *items_[slot.position - 1];
                keySlots_[SlotOf(item.id, OverlayKindBits(item.kind), slot.hash)] = slot;
            }
    }
    const OverlayItem& item = *items_[position];
    const uint32_t kindBits = OverlayKindBits(item.kind);
    const uint32_t hash = HashKey(item.id, kindBits);
    KeySlot& slot = keySlots_[SlotOf(item.id, kindBits, hash)];
    // Only the first item of a key is kept: a later one never shadows it.
    if (slot.position != 0) return;
    slot = KeySlot{hash, position + 1};
    ++keyCount_;
}

void OverlayItemList::Append(std::unique_ptr<OverlayItem> item) {
    if (!item) return;
    const uint32_t position = static_cast<uint32_t>(items_.size());
    endsFrom_ = std::min(endsFrom_, item->endMs);
    items_.push_back(std::move(item));
    if (!keysStale_) AddKey(position);
    spansStale_ = true;
}

void OverlayItemList::RebuildKeys() {
    keySlots_.clear();
    keyCount_ = 0;
    for (uint32_t i = 0; i < items_.size(); ++i) AddKey(i);
    keysStale_ = false;
}

uint32_t OverlayItemList::FirstPosition(std::string_view id, uint32_t kind) {
    if (keysStale_) RebuildKeys();
    if (keySlots_.empty()) return 0;
    const uint32_t kindBits = OverlayKindBits(kind);
    return keySlots_[SlotOf(id, kindBits, HashKey(id, kindBits))].position;
}

const OverlayItem* OverlayItemList::FindFirst(std::string_view id, uint32_t kind) {
    const uint32_t position = FirstPosition(id, kind);
    return position == 0 ? nullptr : items_[position - 1].get();
}

bool OverlayItemList::SetEndOfFirst(std::string_view id, uint32_t kind, uint32_t endMs) {
    const uint32_t position = FirstPosition(id, kind);
    if (position == 0) return false;
    items_[position - 1]->endMs = endMs;
    endsFrom_ = std::min(endsFrom_, endMs);
    spansStale_ = true;
    return true;
}

void OverlayItemList::PrepareSpans() {
    if (!spansStale_) return;
    std::vector<TimeSpan> spans;
    spans.reserve(items_.size());
    for (const auto& item : items_) spans.push_back(TimeSpan{item->beginMs, item->endMs});
    spans_.Build(spans);
    spansStale_ = false;
}

void OverlayItemList::CoveringItems(uint32_t stampMs, std::vector<const OverlayItem*>& out) {
    out.clear();
    PrepareSpans();
    positions_.clear();
    spans_.Query(stampMs, positions_);
    for (uint32_t position : positions_) out.push_back(items_[position].get());
}

std::size_t OverlayItemList::DropExpired(uint32_t stampMs) {
    if (stampMs <= endsFrom_) return 0;
    const std::size_t before = items_.size();
    items_.erase(std::remove_if(items_.begin(), items_.end(),
                                [stampMs](const std::unique_ptr<OverlayItem>& item) {
                                    return OverlayItemExpired(*item, stampMs);
                                }),
                 items_.end());
    endsFrom_ = kOverlayOpenEnded;
    for (const auto& item : items_) endsFrom_ = std::min(endsFrom_, item->endMs);
    const std::size_t dropped = before - items_.size();
    if (dropped != 0) {
        // Positions moved: both indexes are rebuilt when next asked.
        keySlots_.clear();
        keyCount_ = 0;
        keysStale_ = true;
        spansStale_ = true;
    }
    return dropped;
}

void OverlayItemList::Clear() {
    items_.clear();
    keySlots_.clear();
    keyCount_ = 0;
    keysStale_ = false;
    spans_.Clear();
    spansStale_ = false;
    endsFrom_ = kOverlayOpenEnded;
}

void SelectOverlayItemsToDraw(OverlayItemList& items, bool isStream, uint32_t stampMs,
                              std::vector<const OverlayItem*>& out) {
    if (isStream) items.DropExpired(stampMs);
    items.CoveringItems(stampMs, out);
}

}  // namespace vd
