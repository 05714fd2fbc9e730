#include <gtest/gtest.h>

#include <memory>

#include "core/slot_table.h"

using demoplay::SlotTable;

namespace {

// A number being filled is taken but finds nothing until it is published.
TEST(SlotTable, AReservedNumberIsFoundOnlyOncePublished) {
    SlotTable<int, 3> table;
    const int a = table.Reserve();
    const int b = table.Reserve();
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(table.Find(a), nullptr);
    table.Publish(a, std::make_shared<int>(7));
    ASSERT_NE(table.Find(a), nullptr);
    EXPECT_EQ(*table.Find(a), 7);
    EXPECT_EQ(table.Find(b), nullptr);
    EXPECT_EQ(table.Reserve(), 2);
    EXPECT_EQ(table.Reserve(), -1);  // all taken, one of them still unpublished

    table.Unreserve(b);  // its item failed to open
    EXPECT_EQ(table.Reserve(), 1);
    table.Unreserve(a);  // published: stays
    ASSERT_NE(table.Find(a), nullptr);
    table.Publish(7, std::make_shared<int>(1));  // never reserved
    for (int bad : {-1, 3, 7}) EXPECT_EQ(table.Find(bad), nullptr) << bad;
}

// Two closes of one item free its number once: a late one never frees the
// number of the item that took it next.
TEST(SlotTable, RemoveFreesTheNumberOfItsOwnItemOnly) {
    SlotTable<int, 2> table;
    auto first = std::make_shared<int>(1);
    const int id = table.Reserve();
    table.Publish(id, first);
    EXPECT_EQ(table.Remove(id, first.get()), first);
    EXPECT_EQ(table.Find(id), nullptr);

    auto second = std::make_shared<int>(2);
    ASSERT_EQ(table.Reserve(), id);
    table.Publish(id, second);
    EXPECT_EQ(table.Remove(id, first.get()), nullptr);
    EXPECT_EQ(table.Find(id), second);
    EXPECT_EQ(table.Reserve(), 1);
    EXPECT_EQ(table.Reserve(), -1);
    EXPECT_EQ(table.Remove(5, second.get()), nullptr);
}

}  // namespace
