#include "overlay/overlay_item_list.h"

#include <algorithm>
#include <functional>

namespace vd {

std::size_t OverlayItemList::KeyHash::operator()(const Key& key) const {
    return std::hash<std::string_view>()(key.id) ^ (static_cast<std::size_t>(key.kind) * 0x9E3779B9u);
}

void OverlayItemList::Append(std::unique_ptr<OverlayItem> item) {
    if (!item) return;
    const uint32_t position = static_cast<uint32_t>(items_.size());
    endsFrom_ = std::min(endsFrom_, item->endMs);
    items_.push_back(std::move(item));
    const OverlayItem& added = *items_.back();
    // Only the first item of a key is kept: a later one never shadows it.
    if (!keysStale_) firstByKey_.try_emplace(Key{added.id, OverlayKindBits(added.kind)}, position);
    spansStale_ = true;
}

void OverlayItemList::RebuildKeys() {
    firstByKey_.clear();
    for (uint32_t i = 0; i < items_.size(); ++i)
        firstByKey_.try_emplace(Key{items_[i]->id, OverlayKindBits(items_[i]->kind)}, i);
    keysStale_ = false;
}

const OverlayItem* OverlayItemList::FindFirst(std::string_view id, uint32_t kind) {
    if (keysStale_) RebuildKeys();
    const auto found = firstByKey_.find(Key{id, OverlayKindBits(kind)});
    return found == firstByKey_.end() ? nullptr : items_[found->second].get();
}

bool OverlayItemList::SetEndOfFirst(std::string_view id, uint32_t kind, uint32_t endMs) {
    if (keysStale_) RebuildKeys();
    const auto found = firstByKey_.find(Key{id, OverlayKindBits(kind)});
    if (found == firstByKey_.end()) return false;
    items_[found->second]->endMs = endMs;
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
        firstByKey_.clear();
        keysStale_ = true;
        spansStale_ = true;
    }
    return dropped;
}

void OverlayItemList::Clear() {
    items_.clear();
    firstByKey_.clear();
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
