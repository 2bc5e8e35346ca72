// Runs the kiln tool as a child process and captures what it prints.
#pragma once

#include <string>
#include <vector>

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs KILN_TOOL with the given arguments (no shell involved) and `input`
// on its standard input.
ToolResult RunKiln(const std::vector<std::string>& args, const std::string& input = "");
