// Edges of the item list that the drawing and the reader lean on: a stream
// port's expiry at the exact end of a span and across the unsigned range
// (stream ports get no side file through the plug-in's boundary, so this is
// where their expiry is tested), and the first item per ID and kind among
// thousands of IDs.
#include <gtest/gtest.h>

#include <list>
#include <iterator>
#include <random>
#include <string>

#include "overlay/overlay_item_list.h"
#include "overlay_test_support.h"

namespace vd {
namespace {

using vdtest::Describe;
using vdtest::MakeItem;

struct ExpiryCase {
    const char* what;
    uint32_t beginMs, endMs;
    uint32_t stamp;      // the picture that may expire it
    bool expired;        // gone for good on a stream port
    bool drawnOnStream;  // drawn on that picture
};

TEST(OverlayStreamExpiry, ThePictureAfterTheEndRemovesAnItemForGood) {
    const ExpiryCase cases[] = {
        {"the picture at the end keeps it", 1000, 2000, 2000, false, true},
        {"the picture after the end removes it", 1000, 2000, 2001, true, false},
        {"a picture before it starts keeps it", 1000, 2000, 999, false, false},
        {"an open-ended item never goes", 1000, kOverlayOpenEnded, 0xFFFFFFFE, false, true},
        {"stamps compare unsigned: past 2^31", 0, 0x7FFFFFFF, 0x80000000, true, false},
        {"an end past 2^31 is not before small stamps", 0x80000000, 0xFFFFFFF0, 5, false, false},
        {"an item ended before it began goes with the next picture", 3000, 1000, 1001, true, false},
        {"a stamp of 0 keeps everything", 0, 0, 0, false, true},
    };
    for (const ExpiryCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool isStream : {true, false}) {
            OverlayItemList items;
            items.Append(MakeItem("x", kOverlayLine, c.beginMs, c.endMs));
            items.Append(MakeItem("keep", kOverlayText, 0, kOverlayOpenEnded));
            std::vector<const OverlayItem*> out;
            SelectOverlayItemsToDraw(items, isStream, c.stamp, out);
            const bool gone = isStream && c.expired;
            EXPECT_EQ(items.Size(), gone ? 1u : 2u) << (isStream ? "stream" : "file");
            const bool covers = c.beginMs <= c.stamp && c.stamp <= c.endMs;
            EXPECT_EQ(out.size(), covers ? 2u : 1u);
            if (isStream) {
                EXPECT_EQ(covers, c.drawnOnStream);
            }
            // Back to the item's own begin: a file port draws it again, a
            // stream port that dropped it does not.
            SelectOverlayItemsToDraw(items, isStream, c.beginMs, out);
            const bool drawnAtBegin = !gone && c.beginMs <= c.endMs;
            EXPECT_EQ(out.size(), drawnAtBegin ? 2u : 1u) << "at " << c.beginMs;
            // A dropped item's ID and kind find nothing any more.
            EXPECT_EQ(items.FindFirst("x", kOverlayLine) == nullptr, gone);
        }
    }
}

TEST(OverlayStreamExpiry, ExpiryKeepsTheOrderAndTheFirstItemOfEachKey) {
    OverlayItemList items;
    items.Append(MakeItem("a", kOverlayLine, 0, 100));
    items.Append(MakeItem("b", kOverlayLine, 0, 500));
    items.Append(MakeItem("a", kOverlayLine, 50, 900));
    items.Append(MakeItem("c", kOverlayText, 0, 300));
    std::vector<const OverlayItem*> out;
    SelectOverlayItemsToDraw(items, true, 200, out);
    EXPECT_EQ(Describe(out), "L b 0-500 #000000 []\nL a 50-900 #000000 []\nT c 0-300 #000000 @0,0 ''");
    // The second "a" is now the first of its key: a mention reaches it.
    ASSERT_TRUE(items.SetEndOfFirst("a", kOverlayLine, 250));
    SelectOverlayItemsToDraw(items, true, 260, out);
    EXPECT_EQ(Describe(out), "L b 0-500 #000000 []\nT c 0-300 #000000 @0,0 ''");
    EXPECT_EQ(items.Size(), 2u);
}

// Thousands of IDs of every length (the empty one too) and kinds that differ
// only above their low four bits, against a plain list searched from the
// front: the index of first items must grow and probe without losing any.
TEST(OverlayItemListKeys, ManyIdsAgreeWithAPlainList) {
    std::mt19937 random(2024);
    OverlayItemList items;
    std::list<OverlayItem> model;
    auto modelFirst = [&](const std::string& id, uint32_t kind) -> OverlayItem* {
        for (OverlayItem& item : model)
            if (item.id == id && OverlayKindBits(item.kind) == OverlayKindBits(kind)) return &item;
        return nullptr;
    };
    auto randomId = [&]() {
        std::string id;
        const int length = static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i) id += static_cast<char>(random() % 2 ? 'a' + random() % 3 : random() % 256);
        return id;
    };
    const uint32_t kinds[] = {kOverlayLine, kOverlayText, 0x10, 0x21, 0xF0};
    for (int step = 0; step < 6000; ++step) {
        const std::string id = randomId();
        const uint32_t kind = kinds[random() % std::size(kinds)];
        const uint32_t t = static_cast<uint32_t>(step);
        switch (random() % 10) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4: {
                auto item = MakeItem(id, kind, t, t + random() % 2000);
                model.push_back(*item);
                items.Append(std::move(item));
                break;
            }
            case 5:
            case 6:
            case 7: {
                OverlayItem* expected = modelFirst(id, kind);
                if (expected) expected->endMs = t;
                ASSERT_EQ(items.SetEndOfFirst(id, kind, t), expected != nullptr) << "step " << step;
                break;
            }
            case 8: {
                if (step % 50 != 0) break;  // expiries now and then, so keys are rebuilt
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
                const OverlayItem* first = items.FindFirst(id, kind);
                const OverlayItem* expected = modelFirst(id, kind);
                ASSERT_EQ(first != nullptr, expected != nullptr) << "step " << step;
                if (first) {
                    EXPECT_EQ(first->beginMs, expected->beginMs);
                    EXPECT_EQ(first->endMs, expected->endMs);
                }
            }
        }
    }
    ASSERT_EQ(items.Size(), model.size());
    // Every item's own key finds the model's first item of that key.
    for (std::size_t i = 0; i < items.Size(); ++i) {
        const OverlayItem& item = items[i];
        const OverlayItem* first = items.FindFirst(item.id, item.kind);
        const OverlayItem* expected = modelFirst(item.id, item.kind);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->beginMs, expected->beginMs);
    }
}

}  // namespace
}  // namespace vd
