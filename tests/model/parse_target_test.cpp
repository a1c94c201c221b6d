#include "model/AnalysisModel.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

std::string show(const std::optional<orvane::Target>& target) {
    if (!target) {
        return "none";
    }
    return std::string(1, target->letter) + "|" + std::to_string(target->a) + "|" + std::to_string(target->b);
}

} // namespace

TEST(ParseTarget, ReadsTheLetterAndBothIntegers) {
    EXPECT_EQ(show(orvane::parseTarget("F 0 7")), "F|0|7");
    EXPECT_EQ(show(orvane::parseTarget("B 2 13")), "B|2|13");
    EXPECT_EQ(show(orvane::parseTarget("P 0 4")), "P|0|4");
    EXPECT_EQ(show(orvane::parseTarget("F 0 7 extra")), "F|0|7") << "only the start counts";
    EXPECT_EQ(show(orvane::parseTarget("B  -1\t2")), "B|-1|2") << "any run of blanks, signed integers";
    EXPECT_EQ(show(orvane::parseTarget("f 0 9")), "f|0|9") << "the letter as written";
}

TEST(ParseTarget, RejectsTextThatDoesNotStartWithALetterAndTwoIntegers) {
    for (const std::string text : {"", "F", "F 0", "F x 1", "F 0 x", "7 0 1", " F 0 7", "F0 7", "FF 0 7",
                                   "F 0 99999999999", "\xC6\xA5 0 7"}) {
        EXPECT_EQ(show(orvane::parseTarget(text)), "none") << '"' << text << '"';
    }
}
