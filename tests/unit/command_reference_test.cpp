#include "commands/CommandReference.h"

#include <gtest/gtest.h>

using orvane::ArgKind;
using orvane::CommandArguments;
using orvane::CommandRow;

TEST(CommandReference, RendersEveryRowInTableOrderWithEscapedTexts) {
    const auto nothing = [](const CommandArguments&) {};
    const std::vector<CommandRow> rows{
        {"readStl", "1", {ArgKind::Text}, "readStl 1 STL_FILE", "show an STL file", nothing},
        {"changeModel",
         "",
         {ArgKind::Int, ArgKind::Real},
         "changeModel PART \"R\"",
         "back\\slash\ttab\nnewline \x01 \xc3\xa9t\xc3\xa9",
         nothing},
        {"reset", "", {}, "reset", "reset the camera", nothing},
    };
    EXPECT_EQ(orvane::commandReferenceJson(rows),
              "[\n"
              "{\"word\": \"readStl\", \"selector\": \"1\", \"arguments\": [\"text\"], "
              "\"usage\": \"readStl 1 STL_FILE\", \"description\": \"show an STL file\"},\n"
              "{\"word\": \"changeModel\", \"selector\": \"\", \"arguments\": [\"int\", \"real\"], "
              "\"usage\": \"changeModel PART \\\"R\\\"\", "
              "\"description\": \"back\\\\slash\\ttab\\nnewline \\u0001 \xc3\xa9t\xc3\xa9\"},\n"
              "{\"word\": \"reset\", \"selector\": \"\", \"arguments\": [], "
              "\"usage\": \"reset\", \"description\": \"reset the camera\"}\n"
              "]\n");
    EXPECT_EQ(orvane::commandReferenceJson({}), "[\n]\n");
}
