#include "commands/CommandWords.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <locale>

namespace {

// Like the Qt application object, adopt the environment's locale, so that a
// run under a comma-decimal locale really exercises it.
const bool localeAdopted = [] {
    std::setlocale(LC_ALL, "");
    return true;
}();

} // namespace

TEST(LocaleCheck, CommaDecimalLocaleIsActiveWhenRequested) {
    ASSERT_TRUE(localeAdopted);
    if (std::getenv("ORVANE_TEST_SET_LOCALE") == nullptr) {
        GTEST_SKIP() << "runs in the comma-decimal locale pass";
    }
    EXPECT_STREQ(std::localeconv()->decimal_point, ",") << "fr_FR.UTF-8 is not installed";
}

TEST(CommandWords, SplitsOnEverySingleSpaceKeepingEmptyWords) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(orvane::splitCommandWords("reset"), Words{"reset"});
    EXPECT_EQ(orvane::splitCommandWords("readStl 1 a.stl"), (Words{"readStl", "1", "a.stl"}));
    EXPECT_EQ(orvane::splitCommandWords("readStl  1"), (Words{"readStl", "", "1"}));
    EXPECT_EQ(orvane::splitCommandWords(" reset"), (Words{"", "reset"}));
    EXPECT_EQ(orvane::splitCommandWords("reset "), (Words{"reset", ""}));
    EXPECT_EQ(orvane::splitCommandWords(""), Words{""});
    EXPECT_EQ(orvane::splitCommandWords("a\tb"), Words{"a\tb"}) << "only the space separates";
    EXPECT_EQ(orvane::splitCommandWords("load 1 /tmp/模型 ü/p.txt"),
              (Words{"load", "1", "/tmp/模型", "ü/p.txt"}));
}

TEST(CommandWords, IntegersAreDecimalWholeWords) {
    EXPECT_EQ(orvane::toInt("42"), 42);
    EXPECT_EQ(orvane::toInt("-7"), -7);
    EXPECT_EQ(orvane::toInt("+7"), 7);
    EXPECT_EQ(orvane::toInt("007"), 7) << "base 10, not octal";
    EXPECT_EQ(orvane::toInt("2147483647"), std::numeric_limits<int>::max());
    for (const char* malformed :
         {"", "abc", "4x", "x4", "2.9", "1e3", "0x10", "2147483648", "+", "-", "+-1", " 4"}) {
        EXPECT_EQ(orvane::toInt(malformed), 0) << malformed;
    }
}

TEST(CommandWords, RealsUseThePointWhateverTheLocale) {
    EXPECT_DOUBLE_EQ(orvane::toReal("0.5"), 0.5);
    EXPECT_DOUBLE_EQ(orvane::toReal("-2.25"), -2.25);
    EXPECT_DOUBLE_EQ(orvane::toReal("+3"), 3.0);
    EXPECT_DOUBLE_EQ(orvane::toReal("1e-3"), 0.001);
    EXPECT_DOUBLE_EQ(orvane::toReal("2.5E2"), 250.0);
    EXPECT_DOUBLE_EQ(orvane::toReal(".5"), 0.5);
    EXPECT_DOUBLE_EQ(orvane::toReal("5."), 5.0);
    for (const char* malformed :
         {"", "0,5", "abc", "1.2.3", "1e", "inf", "nan", "-inf", "1e999", "0x1p3", "3 ", "--1"}) {
        EXPECT_EQ(orvane::toReal(malformed), 0.0) << malformed;
    }
}

TEST(CommandWords, TruncationGoesTowardZeroAndSaturates) {
    EXPECT_EQ(orvane::truncateToInt(2.9), 2);
    EXPECT_EQ(orvane::truncateToInt(-2.9), -2);
    EXPECT_EQ(orvane::truncateToInt(9998.99), 9998);
    EXPECT_EQ(orvane::truncateToInt(1e12), std::numeric_limits<int>::max());
    EXPECT_EQ(orvane::truncateToInt(-1e12), std::numeric_limits<int>::min());
}
