#include <gtest/gtest.h>

#include "tool_runner.h"

TEST(KilnTool, WithoutCommandPrintsUsageAndFails) {
    ToolResult r = RunKiln({});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("usage: kiln <command>"), std::string::npos);
}

TEST(KilnTool, HelpListsCommandsAndSucceeds) {
    ToolResult r = RunKiln({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("commands:"), std::string::npos);
}

TEST(KilnTool, UnknownCommandIsNamed) {
    ToolResult r = RunKiln({"frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown command 'frobnicate'"), std::string::npos);
}
