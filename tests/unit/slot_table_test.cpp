#include "scene/SlotTable.h"

#include <gtest/gtest.h>

#include <memory>

TEST(SlotTable, EveryValidSlotHoldsItsOwnReference) {
    orvane::SlotTable<std::shared_ptr<int>> table;
    EXPECT_TRUE(table.set(0, std::make_shared<int>(10)));
    EXPECT_TRUE(table.set(9998, std::make_shared<int>(20)));
    EXPECT_EQ(*table.get(0), 10);
    EXPECT_EQ(*table.get(9998), 20);
    EXPECT_EQ(table.get(1), nullptr);
}

TEST(SlotTable, InvalidSlotsAreNeverReadOrWritten) {
    orvane::SlotTable<std::shared_ptr<int>> table;
    for (const int slot : {-1, 9999, 10000, -2147483647 - 1, 2147483647}) {
        EXPECT_FALSE(orvane::isValidSlot(slot)) << slot;
        EXPECT_FALSE(table.set(slot, std::make_shared<int>(1))) << slot;
        EXPECT_EQ(table.get(slot), nullptr) << slot;
    }
}

TEST(SlotTable, ReplacingAnEntryReleasesTheOldOne) {
    orvane::SlotTable<std::shared_ptr<int>> table;
    auto first = std::make_shared<int>(1);
    std::weak_ptr<int> watch = first;
    table.set(5, std::move(first));
    table.set(5, std::make_shared<int>(2));
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(*table.get(5), 2);
}
