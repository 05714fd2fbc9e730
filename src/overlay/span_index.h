// Which of many time spans contain a given stamp, answered in time that grows
// with the answer, not with the number of spans.
//
// Each span [begin, end] sits in one node of an implicit binary partition of
// the 32-bit time line: the node where begin and end first fall apart (the
// highest bit in which they differ), which splits at a point m with
// begin < m <= end. A stamp meets at most one node per level, and in that
// node a span contains the stamp exactly when its begin is not after it (the
// stamp lies left of m) or its end not before it (right of m): so each node
// keeps its spans sorted both ways and a query reads them only while they
// match. Spans of one instant (begin == end) are kept by their instant.
// Building is linear (radix sorts); a query visits at most 33 nodes, and in
// practice only the few levels whose spans are long enough to reach it.
#ifndef VD_OVERLAY_SPAN_INDEX_H
#define VD_OVERLAY_SPAN_INDEX_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vd {

struct TimeSpan {
    uint32_t begin;
    uint32_t end;  // inclusive; a span ending before it begins contains nothing
};

class SpanIndex {
public:
    // Indexes `spans`; a span is named by its position in the vector.
    void Build(const std::vector<TimeSpan>& spans);
    void Clear();

    // Appends the positions of the spans that contain `t`, in increasing order.
    void Query(uint32_t t, std::vector<uint32_t>& positions) const;

private:
    struct Entry {
        uint32_t value;  // begin or end, as the list is sorted
        uint32_t position;
    };
    struct Node {
        uint64_t key;    // level << 32 | the part of the time above the level
        uint32_t first;  // its entries in byBegin_ and byEnd_
        uint32_t count;
    };

    // Where a level finds its nodes: levels whose nodes cover most time
    // blocks of their range use a plain array by block, which keeps played
    // stamps (one block after another) in the processor's caches; the
    // others use the hash table.
    struct Level {
        bool direct = false;
        uint32_t firstBlock = 0;
        uint32_t blocks = 0;
        uint32_t offset = 0;  // into direct_
    };

    static uint64_t KeyAt(uint32_t level, uint32_t t);
    uint32_t FindNode(uint64_t key) const;              // node number + 1, or 0
    uint32_t NodeAt(uint32_t level, uint32_t t) const;  // likewise
    void BuildDirectLevels();
    uint32_t FindOrAddNode(uint64_t key);

    // Per level, how far any span there reaches left and right of its
    // split point: a node farther from the stamp than that is not looked up,
    // which leaves most levels unvisited when spans are short.
    uint32_t leftReach_[32] = {};
    uint32_t rightReach_[32] = {};
    Level levelTable_[33];
    std::vector<uint32_t> direct_;  // node number + 1 by block, 0 for none
    std::vector<Node> nodes_;
    std::vector<uint32_t> table_;  // open addressing: node number + 1, 0 for free
    uint32_t tableShift_ = 64;
    uint64_t levels_ = 0;         // bit L: some node on level L (32: instants)
    std::vector<Entry> byBegin_;  // per node, begin ascending
    std::vector<Entry> byEnd_;    // per node, end descending
};

}  // namespace vd

#endif
