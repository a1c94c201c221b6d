#include "channel/ReplyText.h"

#include <gtest/gtest.h>

TEST(ReplyText, RealsHaveSixDigitsAfterThePoint) {
    EXPECT_EQ(orvane::sixDigits(1.0), "1.000000");
    EXPECT_EQ(orvane::sixDigits(0.5), "0.500000");
    EXPECT_EQ(orvane::sixDigits(0.0), "0.000000");
    EXPECT_EQ(orvane::sixDigits(-12.3456789), "-12.345679");
    EXPECT_EQ(orvane::sixDigits(1e-7), "0.000000");
    EXPECT_EQ(orvane::sixDigits(123456789.125), "123456789.125000");
    EXPECT_EQ(orvane::sixDigits(1e20), "100000000000000000000.000000");
}

TEST(ReplyText, ItemsAreSeparatedBySingleSpaces) {
    EXPECT_EQ(orvane::joinReplyItems({"4", orvane::sixDigits(1), orvane::sixDigits(0.5), orvane::sixDigits(0),
                                      orvane::sixDigits(1)}),
              "4 1.000000 0.500000 0.000000 1.000000");
    EXPECT_EQ(orvane::joinReplyItems({}), "");
    EXPECT_EQ(orvane::joinReplyItems({"add line"}), "add line");
}
