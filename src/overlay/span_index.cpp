#include "overlay/span_index.h"

#include <algorithm>

namespace vd {
namespace {

constexpr uint32_t kInstantLevel = 32;

uint32_t HighestBit(uint32_t v) { return 31u - static_cast<uint32_t>(__builtin_clz(v)); }

uint32_t LevelOf(const TimeSpan& s) { return s.begin == s.end ? kInstantLevel : HighestBit(s.begin ^ s.end); }

// Stable LSD radix sort of `order` by key(order[i]), a byte at a time; bytes
// that every key shares are skipped.
template <typename KeyOf>
void RadixSort(std::vector<uint32_t>& order, std::vector<uint32_t>& scratch, KeyOf key) {
    scratch.resize(order.size());
    for (uint32_t shift = 0; shift < 32; shift += 8) {
        std::size_t counts[256] = {};
        for (uint32_t i : order) ++counts[(key(i) >> shift) & 0xFF];
        if (std::find(std::begin(counts), std::end(counts), order.size()) != std::end(counts)) continue;
        std::size_t sum = 0;
        for (std::size_t& c : counts) {
            const std::size_t n = c;
            c = sum;
            sum += n;
        }
        for (uint32_t i : order) scratch[counts[(key(i) >> shift) & 0xFF]++] = i;
        order.swap(scratch);
    }
}

}  // namespace

uint64_t SpanIndex::KeyAt(uint32_t level, uint32_t t) {
    const uint64_t above = level == kInstantLevel ? t : static_cast<uint64_t>(t) >> (level + 1);
    return static_cast<uint64_t>(level) << 32 | above;
}

uint32_t SpanIndex::FindNode(uint64_t key) const {
    if (table_.empty()) return 0;
    const std::size_t mask = table_.size() - 1;
    for (std::size_t slot = (key * 0x9E3779B97F4A7C15ull) >> tableShift_;; slot = (slot + 1) & mask) {
        const uint32_t n = table_[slot];
        if (n == 0 || nodes_[n - 1].key == key) return n;
    }
}

uint32_t SpanIndex::FindOrAddNode(uint64_t key) {
    const std::size_t mask = table_.size() - 1;
    for (std::size_t slot = (key * 0x9E3779B97F4A7C15ull) >> tableShift_;; slot = (slot + 1) & mask) {
        const uint32_t n = table_[slot];
        if (n != 0 && nodes_[n - 1].key == key) return n - 1;
        if (n == 0) {
            nodes_.push_back(Node{key, 0, 0});
            table_[slot] = static_cast<uint32_t>(nodes_.size());
            return static_cast<uint32_t>(nodes_.size() - 1);
        }
    }
}

void SpanIndex::Clear() {
    nodes_.clear();
    table_.clear();
    tableShift_ = 64;
    levels_ = 0;
    byBegin_.clear();
    byEnd_.clear();
}

void SpanIndex::Build(const std::vector<TimeSpan>& spans) {
    Clear();
    // The spans that can contain anything, and the node of each.
    std::vector<uint32_t> order;
    order.reserve(spans.size());
    for (uint32_t i = 0; i < spans.size(); ++i)
        if (spans[i].begin <= spans[i].end) order.push_back(i);
    if (order.empty()) return;

    // A table at most half full, sized for one node per span.
    uint32_t bits = 1;
    while ((std::size_t{1} << bits) < order.size() * 2) ++bits;
    table_.assign(std::size_t{1} << bits, 0);
    tableShift_ = 64 - bits;
    std::vector<uint32_t> nodeOf(spans.size());
    for (uint32_t i : order) {
        const uint32_t level = LevelOf(spans[i]);
        const uint32_t n = FindOrAddNode(KeyAt(level, spans[i].begin));
        ++nodes_[n].count;
        nodeOf[i] = n;
        levels_ |= uint64_t{1} << level;
    }
    uint32_t first = 0;
    for (Node& node : nodes_) {
        node.first = first;
        first += node.count;
    }

    // Each order is sorted once over all spans and dealt out to the nodes in
    // that order, which keeps it within each node.
    std::vector<uint32_t> scratch, fill(nodes_.size());
    auto deal = [&](std::vector<Entry>& list, auto value) {
        list.resize(order.size());
        std::fill(fill.begin(), fill.end(), 0);
        for (uint32_t i : order) {
            const Node& node = nodes_[nodeOf[i]];
            list[node.first + fill[nodeOf[i]]++] = Entry{value(i), i};
        }
    };
    RadixSort(order, scratch, [&](uint32_t i) { return spans[i].begin; });
    deal(byBegin_, [&](uint32_t i) { return spans[i].begin; });
    RadixSort(order, scratch, [&](uint32_t i) { return ~spans[i].end; });
    deal(byEnd_, [&](uint32_t i) { return spans[i].end; });
}

void SpanIndex::Query(uint32_t t, std::vector<uint32_t>& positions) const {
    const std::size_t start = positions.size();
    for (uint64_t levels = levels_; levels != 0; levels &= levels - 1) {
        const uint32_t level = static_cast<uint32_t>(__builtin_ctzll(levels));
        const uint32_t n = FindNode(KeyAt(level, t));
        if (n == 0) continue;
        const Node& node = nodes_[n - 1];
        const Entry* e;
        if (level == kInstantLevel) {
            e = &byBegin_[node.first];
            for (uint32_t k = 0; k < node.count; ++k) positions.push_back(e[k].position);
        } else if (((t >> level) & 1) == 0) {
            // Left of the split: every span here ends after t.
            e = &byBegin_[node.first];
            for (uint32_t k = 0; k < node.count && e[k].value <= t; ++k) positions.push_back(e[k].position);
        } else {
            // Right of it: every span here began before t.
            e = &byEnd_[node.first];
            for (uint32_t k = 0; k < node.count && e[k].value >= t; ++k) positions.push_back(e[k].position);
        }
    }
    std::sort(positions.begin() + static_cast<std::ptrdiff_t>(start), positions.end());
}

}  // namespace vd
