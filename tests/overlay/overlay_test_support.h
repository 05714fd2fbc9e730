// Helpers of the overlay tests: items made in one line, a list written out as
// text, and a lock that counts.
#ifndef VD_TESTS_OVERLAY_OVERLAY_TEST_SUPPORT_H
#define VD_TESTS_OVERLAY_OVERLAY_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "overlay/overlay_item_list.h"
#include "overlay/overlay_lock.h"

namespace vdtest {

inline std::unique_ptr<vd::OverlayItem> MakeItem(const std::string& id, uint32_t kind, uint32_t beginMs,
                                                 uint32_t endMs = vd::kOverlayOpenEnded) {
    auto item = std::make_unique<vd::OverlayItem>();
    item->id = id;
    item->kind = kind;
    item->beginMs = beginMs;
    item->endMs = endMs;
    return item;
}

// One item as "L a 1000-2000 #0000ff [10,20 30,40]" or
// "T t 1500-open #00ff00 @5,5 'text'".
inline std::string Describe(const vd::OverlayItem& item) {
    char buffer[96];
    std::string end = item.endMs == vd::kOverlayOpenEnded ? "open" : std::to_string(item.endMs);
    std::snprintf(buffer, sizeof buffer, "%c %s %u-%s #%06x",
                  vd::OverlayKindBits(item.kind) == vd::kOverlayLine ? 'L' : 'T', item.id.c_str(), item.beginMs,
                  end.c_str(), item.color);
    std::string out = buffer;
    if (vd::OverlayKindBits(item.kind) == vd::kOverlayLine) {
        out += " [";
        for (std::size_t i = 0; i < item.points.size(); ++i)
            out += (i ? " " : "") + std::to_string(item.points[i].x) + "," + std::to_string(item.points[i].y);
        out += "]";
    } else {
        out += " @" + std::to_string(item.textPos.x) + "," + std::to_string(item.textPos.y) + " '" + item.text + "'";
    }
    return out;
}

inline std::string Describe(const vd::OverlayItemList& items) {
    std::string out;
    for (std::size_t i = 0; i < items.Size(); ++i) out += (i ? "\n" : "") + Describe(items[i]);
    return out;
}

inline std::string Describe(const std::vector<const vd::OverlayItem*>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "\n" : "") + Describe(*items[i]);
    return out;
}

// Counts the times it is taken and fails the test on nesting or imbalance.
class CountingLock final : public vd::OverlayLock {
public:
    ~CountingLock() { EXPECT_FALSE(held_) << "left held"; }
    void Lock() override {
        EXPECT_FALSE(held_) << "taken twice";
        held_ = true;
        ++taken_;
    }
    void Unlock() override {
        EXPECT_TRUE(held_) << "released while free";
        held_ = false;
    }
    int Taken() const { return taken_; }
    bool Held() const { return held_; }

private:
    bool held_ = false;
    int taken_ = 0;
};

}  // namespace vdtest

#endif
