#include <gtest/gtest.h>

#include <list>
#include <random>

#include "overlay/overlay_item_list.h"
#include "overlay_test_support.h"

namespace vd {
namespace {

using vdtest::Describe;
using vdtest::MakeItem;

TEST(OverlayItemList, FirstItemPerIdAndKind) {
    OverlayItemList items;
    items.Append(MakeItem("a", kOverlayLine, 1));
    items.Append(MakeItem("a", kOverlayText, 2));
    items.Append(MakeItem("a", kOverlayLine, 3));
    items.Append(MakeItem("", kOverlayLine, 4));
    items.Append(MakeItem("A", kOverlayLine, 5));
    items.Append(nullptr);
    ASSERT_EQ(items.Size(), 5u);

    ASSERT_NE(items.FindFirst("a", kOverlayLine), nullptr);
    EXPECT_EQ(items.FindFirst("a", kOverlayLine)->beginMs, 1u);
    EXPECT_EQ(items.FindFirst("a", kOverlayText)->beginMs, 2u);
    EXPECT_EQ(items.FindFirst("", kOverlayLine)->beginMs, 4u);
    EXPECT_EQ(items.FindFirst("A", kOverlayLine)->beginMs, 5u);  // case counts
    EXPECT_EQ(items.FindFirst("", kOverlayText), nullptr);
    EXPECT_EQ(items.FindFirst("b", kOverlayLine), nullptr);
    // Only the low 4 bits of a kind count.
    EXPECT_EQ(items.FindFirst("a", 0x30)->beginMs, 1u);
    EXPECT_EQ(items.FindFirst("a", 0xF1)->beginMs, 2u);

    EXPECT_TRUE(items.SetEndOfFirst("a", kOverlayLine, 10));
    EXPECT_TRUE(items.SetEndOfFirst("a", kOverlayLine, 20));
    EXPECT_FALSE(items.SetEndOfFirst("b", kOverlayLine, 20));
    EXPECT_EQ(items[0].endMs, 20u);
    EXPECT_EQ(items[2].endMs, kOverlayOpenEnded);
}

TEST(OverlayItemList, CoveringItemsInListOrder) {
    OverlayItemList items;
    items.Append(MakeItem("late", kOverlayLine, 3000));
    items.Append(MakeItem("span", kOverlayLine, 1000, 2000));
    items.Append(MakeItem("open", kOverlayText, 1500));
    items.Append(MakeItem("never", kOverlayLine, 2000, 1000));
    items.Append(MakeItem("instant", kOverlayLine, 2000, 2000));
    const std::pair<uint32_t, std::vector<const char*>> cases[] = {
        {999, {}},        {1000, {"span"}},         {1500, {"span", "open"}},       {2000, {"span", "open", "instant"}},
        {2001, {"open"}}, {3000, {"late", "open"}}, {0xFFFFFFFF, {"late", "open"}},
    };
    std::vector<const OverlayItem*> out = {nullptr};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        items.CoveringItems(c.first, out);
        ASSERT_EQ(out.size(), c.second.size());
        for (std::size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i]->id, c.second[i]);
    }
    // A change of an end is seen by the next query.
    items.SetEndOfFirst("open", kOverlayText, 1600);
    items.CoveringItems(2000, out);
    EXPECT_EQ(Describe(out), "L span 1000-2000 #000000 []\nL instant 2000-2000 #000000 []");
}

TEST(OverlayItemList, DropExpired) {
    OverlayItemList items;
    items.Append(MakeItem("a", kOverlayLine, 0, 100));
    items.Append(MakeItem("b", kOverlayLine, 0, 200));
    items.Append(MakeItem("a", kOverlayLine, 50, 300));
    items.Append(MakeItem("c", kOverlayText, 0));
    EXPECT_EQ(items.DropExpired(100), 0u);  // ends are inclusive
    EXPECT_EQ(items.DropExpired(101), 1u);
    EXPECT_EQ(items.DropExpired(101), 0u);
    // The first "a" is now the later one.
    ASSERT_NE(items.FindFirst("a", kOverlayLine), nullptr);
    EXPECT_EQ(items.FindFirst("a", kOverlayLine)->beginMs, 50u);
    // An end moved later: the earlier bound must not hide what expires.
    items.SetEndOfFirst("b", kOverlayLine, 250);
    EXPECT_EQ(items.DropExpired(251), 1u);
    EXPECT_EQ(items.FindFirst("b", kOverlayLine), nullptr);
    EXPECT_EQ(items.DropExpired(0xFFFFFFFF), 1u);
    EXPECT_EQ(Describe(items), "T c 0-open #000000 @0,0 ''");
    items.Clear();
    EXPECT_TRUE(items.Empty());
    EXPECT_EQ(items.FindFirst("c", kOverlayText), nullptr);
}

TEST(OverlayItemList, WhatAPassDraws) {
    for (bool isStream : {false, true}) {
        SCOPED_TRACE(isStream ? "stream port" : "file port");
        OverlayItemList items;
        items.Append(MakeItem("x", kOverlayLine, 1000, 2000));
        items.Append(MakeItem("y", kOverlayLine, 3000, 4000));
        std::vector<const OverlayItem*> out;
        SelectOverlayItemsToDraw(items, isStream, 1500, out);
        EXPECT_EQ(Describe(out), "L x 1000-2000 #000000 []");
        SelectOverlayItemsToDraw(items, isStream, 2500, out);
        EXPECT_TRUE(out.empty());
        // Back to 1500: a file port still has the item; a stream port dropped it.
        SelectOverlayItemsToDraw(items, isStream, 1500, out);
        EXPECT_EQ(out.size(), isStream ? 0u : 1u);
        EXPECT_EQ(items.Size(), isStream ? 1u : 2u);
        SelectOverlayItemsToDraw(items, isStream, 3500, out);
        EXPECT_EQ(Describe(out), "L y 3000-4000 #000000 []");
    }
}

// Random appends, end moves and expiries against a plain list searched from
// the front, as the item list must behave.
TEST(OverlayItemList, AgreesWithAPlainList) {
    std::mt19937 random(77);
    for (int round = 0; round < 20; ++round) {
        OverlayItemList items;
        std::list<OverlayItem> model;
        auto modelFirst = [&](const std::string& id, uint32_t kind) -> OverlayItem* {
            for (OverlayItem& item : model)
                if (item.id == id && OverlayKindBits(item.kind) == OverlayKindBits(kind)) return &item;
            return nullptr;
        };
        for (int step = 0; step < 300; ++step) {
            const std::string id(1, static_cast<char>('a' + random() % 6));
            const uint32_t kind = random() % 3 == 0 ? 0x11 : random() % 2;
            const uint32_t t = random() % 2000;
            switch (random() % 8) {
                case 0:
                case 1:
                case 2: {
                    auto item = MakeItem(id, kind, t, random() % 4 == 0 ? kOverlayOpenEnded : t + random() % 300);
                    item->color = static_cast<uint32_t>(step);  // tells equal spans apart
                    model.push_back(*item);
                    items.Append(std::move(item));
                    break;
                }
                case 3:
                case 4: {
                    OverlayItem* expected = modelFirst(id, kind);
                    if (expected) expected->endMs = t;
                    ASSERT_EQ(items.SetEndOfFirst(id, kind, t), expected != nullptr);
                    break;
                }
                case 5: {
                    std::size_t dropped = 0;
                    for (auto it = model.begin(); it != model.end();)
                        if (it->endMs < t) {
                            it = model.erase(it);
                            ++dropped;
                        } else {
                            ++it;
                        }
                    ASSERT_EQ(items.DropExpired(t), dropped);
                    break;
                }
                default: {
                    std::vector<const OverlayItem*> out;
                    items.CoveringItems(t, out);
                    std::vector<const OverlayItem*> expected;
                    for (const OverlayItem& item : model)
                        if (item.beginMs <= t && t <= item.endMs) expected.push_back(&item);
                    ASSERT_EQ(Describe(out), Describe(expected)) << "round " << round << " step " << step;
                    const OverlayItem* first = items.FindFirst(id, kind);
                    const OverlayItem* modelItem = modelFirst(id, kind);
                    ASSERT_EQ(first == nullptr, modelItem == nullptr);
                    if (first) {
                        ASSERT_EQ(Describe(*first), Describe(*modelItem));
                    }
                    break;
                }
            }
            ASSERT_EQ(items.Size(), model.size());
        }
        std::size_t i = 0;
        for (const OverlayItem& item : model) ASSERT_EQ(Describe(items[i++]), Describe(item));
    }
}

}  // namespace
}  // namespace vd
