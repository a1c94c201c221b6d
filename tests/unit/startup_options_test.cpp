#include "app/StartupOptions.h"

#include <gtest/gtest.h>

TEST(StartupOptions, HideOnlyWhenItIsTheSingleExactArgument) {
    const char* hideAlone[] = {"orvane", "hide", nullptr};
    EXPECT_TRUE(orvane::hideRequested(2, hideAlone));

    const char* nothing[] = {"orvane", nullptr};
    const char* capitalised[] = {"orvane", "Hide", nullptr};
    const char* withMore[] = {"orvane", "hide", "more", nullptr};
    const char* later[] = {"orvane", "x", "hide", nullptr};
    const char* longer[] = {"orvane", "hidden", nullptr};
    const char* shorter[] = {"orvane", "hid", nullptr};
    EXPECT_FALSE(orvane::hideRequested(1, nothing));
    EXPECT_FALSE(orvane::hideRequested(2, capitalised));
    EXPECT_FALSE(orvane::hideRequested(3, withMore));
    EXPECT_FALSE(orvane::hideRequested(3, later));
    EXPECT_FALSE(orvane::hideRequested(2, longer));
    EXPECT_FALSE(orvane::hideRequested(2, shorter));
}

TEST(StartupOptions, CommandListingOnlyWhenItIsTheSingleExactArgument) {
    const char* listing[] = {"orvane", "--commands", nullptr};
    EXPECT_TRUE(orvane::commandListingRequested(2, listing));
    EXPECT_FALSE(orvane::hideRequested(2, listing));

    const char* withHide[] = {"orvane", "hide", "--commands", nullptr};
    const char* singleDash[] = {"orvane", "-commands", nullptr};
    const char* hide[] = {"orvane", "hide", nullptr};
    EXPECT_FALSE(orvane::commandListingRequested(3, withHide));
    EXPECT_FALSE(orvane::hideRequested(3, withHide));
    EXPECT_FALSE(orvane::commandListingRequested(2, singleDash));
    EXPECT_FALSE(orvane::commandListingRequested(2, hide));
}
