#include "commands/CommandHold.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

TEST(CommandHold, KeepsCommandsDuringAnOperationAndRunsThemInArrivalOrder) {
    std::vector<std::string> ran;
    orvane::CommandHold* gate = nullptr;
    orvane::CommandHold hold([&](const std::string& command) {
        ran.push_back(command);
        if (command.rfind("long", 0) == 0) {
            gate->hold();
        }
        if (command == "instant") { // an operation that ends before it returns
            gate->hold();
            gate->release();
        }
    });
    gate = &hold;

    hold.receive("a");
    EXPECT_EQ(ran, (std::vector<std::string>{"a"}));
    hold.receive("long1");
    hold.receive("b");
    hold.receive("long2");
    hold.receive("c");
    EXPECT_TRUE(hold.holding());
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "long1"}));

    // The end of the first operation runs "b" and "long2"; "c" waits for long2.
    hold.release();
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "long1", "b", "long2"}));
    EXPECT_EQ(hold.waiting(), 1U);
    hold.receive("instant");
    hold.receive("d");
    hold.release();
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "long1", "b", "long2", "c", "instant", "d"}));
    EXPECT_FALSE(hold.holding());
    EXPECT_EQ(hold.waiting(), 0U);
}

TEST(CommandHold, ALeaseReleasesWhenItsScopeEndsByAnException) {
    std::vector<std::string> ran;
    orvane::CommandHold hold([&](const std::string& command) { ran.push_back(command); });
    orvane::CommandHold::Lease moved;
    try {
        orvane::CommandHold::Lease lease = hold.lease();
        hold.receive("kept");
        EXPECT_TRUE(hold.holding());
        throw std::runtime_error("between the hold and the worker");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(hold.holding());
    EXPECT_EQ(ran, (std::vector<std::string>{"kept"}));

    // Moved to where the operation ends, it releases there, once.
    {
        orvane::CommandHold::Lease lease = hold.lease();
        moved = std::move(lease);
    }
    hold.receive("later");
    EXPECT_TRUE(hold.holding());
    moved = orvane::CommandHold::Lease();
    EXPECT_FALSE(hold.holding());
    EXPECT_EQ(ran, (std::vector<std::string>{"kept", "later"}));
}

// A run ends by emptying its lease; the kept command it releases starts the
// next run, which takes a new lease into the same place. That lease must
// survive the assignment that ended the old one.
TEST(CommandHold, AKeptCommandThatTakesTheSameLeaseAgainKeepsItsHold) {
    std::vector<std::string> ran;
    orvane::CommandHold* gate = nullptr;
    orvane::CommandHold::Lease runLease;
    orvane::CommandHold hold([&](const std::string& command) {
        ran.push_back(command);
        if (command.rfind("run", 0) == 0) {
            runLease = gate->lease();
        }
    });
    gate = &hold;

    hold.receive("run1");
    hold.receive("run2");
    hold.receive("after");
    runLease = orvane::CommandHold::Lease(); // run1 ends, run2 starts
    EXPECT_TRUE(hold.holding());
    EXPECT_EQ(ran, (std::vector<std::string>{"run1", "run2"}));
    runLease = orvane::CommandHold::Lease(); // run2 ends
    EXPECT_FALSE(hold.holding());
    EXPECT_EQ(ran, (std::vector<std::string>{"run1", "run2", "after"}));
}
