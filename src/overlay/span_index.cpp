#include "overlay/span_index.h"

#include <algorithm>

namespace vd {
namespace {

constexpr uint32_t kInstantLevel = 32;

uint32_t HighestBit(uint32_t v) { return 31u - static_cast<uint32_t>(__builtin_clz(v)); }

// The split point of the node on `level` (below 32) that holds `t`.
uint64_t SplitAt(uint32_t level, uint32_t t) {
    return ((static_cast<uint64_t>(t) >> (level + 1)) << (level + 1)) + (uint64_t{1} << level);
}

uint32_t LevelOf(const TimeSpan& s) { return s.begin == s.end ? kInstantLevel : HighestBit(s.begin ^ s.end); }

// Stable LSD radix sort of `order` by key(order[i]), a byte at a time; bytes
// that every key shares are skipped, and so is an order already sorted.
template <typename KeyOf>
void RadixSort(std::vector<uint32_t>& order, std::vector<uint32_t>& scratch, KeyOf key) {
    // Side files come in stamp order, so the begins usually are sorted already.
    bool sorted = true;
    for (std::size_t i = 1; i < order.size() && sorted; ++i) sorted = key(order[i - 1]) <= key(order[i]);
    if (sorted) return;
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

// The time block of `t` on `level`: the bits above the level (all of them
// for instants).
uint32_t BlockOf(uint32_t level, uint32_t t) {
    return level == kInstantLevel ? t : static_cast<uint32_t>(static_cast<uint64_t>(t) >> (level + 1));
}

}  // namespace

uint64_t SpanIndex::KeyAt(uint32_t level, uint32_t t) { return static_cast<uint64_t>(level) << 32 | BlockOf(level, t); }

uint32_t SpanIndex::NodeAt(uint32_t level, uint32_t t) const {
    const Level& l = levelTable_[level];
    if (!l.direct) return FindNode(KeyAt(level, t));
    const uint32_t block = BlockOf(level, t);
    if (block < l.firstBlock || block - l.firstBlock >= l.blocks) return 0;
    return direct_[l.offset + (block - l.firstBlock)];
}

void SpanIndex::BuildDirectLevels() {
    uint32_t lowest[33], highest[33], count[33] = {};
    for (const Node& node : nodes_) {
        const uint32_t level = static_cast<uint32_t>(node.key >> 32), block = static_cast<uint32_t>(node.key);
        lowest[level] = count[level] ? std::min(lowest[level], block) : block;
        highest[level] = count[level] ? std::max(highest[level], block) : block;
        ++count[level];
    }
    for (uint32_t level = 0; level <= kInstantLevel; ++level) {
        Level& l = levelTable_[level];
        if (count[level] == 0) continue;
        const uint64_t blocks = static_cast<uint64_t>(highest[level]) - lowest[level] + 1;
        // Dense enough: at most four blocks per node, so the arrays together
        // stay within a few words per span.
        if (blocks > 4ull * count[level] + 64) continue;
        l.direct = true;
        l.firstBlock = lowest[level];
        l.blocks = static_cast<uint32_t>(blocks);
        l.offset = static_cast<uint32_t>(direct_.size());
        direct_.resize(direct_.size() + l.blocks, 0);
    }
    for (uint32_t n = 0; n < nodes_.size(); ++n) {
        const Level& l = levelTable_[nodes_[n].key >> 32];
        if (l.direct) direct_[l.offset + (static_cast<uint32_t>(nodes_[n].key) - l.firstBlock)] = n + 1;
    }
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
    std::fill(std::begin(leftReach_), std::end(leftReach_), 0);
    std::fill(std::begin(rightReach_), std::end(rightReach_), 0);
    std::fill(std::begin(levelTable_), std::end(levelTable_), Level());
    direct_.clear();
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
        if (level != kInstantLevel) {
            const uint64_t split = SplitAt(level, spans[i].begin);
            leftReach_[level] = std::max(leftReach_[level], static_cast<uint32_t>(split - spans[i].begin));
            rightReach_[level] = std::max(rightReach_[level], static_cast<uint32_t>(spans[i].end - split));
        }
    }
    BuildDirectLevels();
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
        bool left = false;
        if (level != kInstantLevel) {
            const uint64_t split = SplitAt(level, t);
            left = t < split;
            if (left ? split - t > leftReach_[level] : t - split > rightReach_[level]) continue;
        }
        const uint32_t n = NodeAt(level, t);
        if (n == 0) continue;
        const Node& node = nodes_[n - 1];
        if (level == kInstantLevel) {
            const Entry* e = &byBegin_[node.first];
            for (uint32_t k = 0; k < node.count; ++k) positions.push_back(e[k].position);
        } else if (left) {
            // Left of the split: every span here ends after t.
            const Entry* e = &byBegin_[node.first];
            for (uint32_t k = 0; k < node.count && e[k].value <= t; ++k) positions.push_back(e[k].position);
        } else {
            // Right of it: every span here began before t.
            const Entry* e = &byEnd_[node.first];
            for (uint32_t k = 0; k < node.count && e[k].value >= t; ++k) positions.push_back(e[k].position);
        }
    }
    std::sort(positions.begin() + static_cast<std::ptrdiff_t>(start), positions.end());
}

}  // namespace vd
