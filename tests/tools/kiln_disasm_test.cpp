#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

std::string WriteTokens(const std::string& name, const std::vector<uint32_t>& tokens, size_t extraBytes = 0) {
    const std::string path = std::string(KILN_BINARY_DIR) + "/kiln_disasm_" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(tokens.data()), std::streamsize(tokens.size() * 4 + extraBytes));
    return path;
}

TEST(KilnDisasm, PrintsAssemblyOfAProgram) {
    // ps_2_0: dcl t0.xy; dcl_2d s0; texld r0, t0, s0; mov oC0, r0
    const std::string path = WriteTokens(
        "ps20.bin", {0xFFFF0200, 0x0200001F, 0x80000000, 0xB0030000, 0x0200001F, 0x90000000, 0xA00F0800, 0x03000042,
                     0x800F0000, 0xB0E40000, 0xA0E40800, 0x02000001, 0x800F0800, 0x80E40000, 0x0000FFFF});
    ToolResult r = RunKiln({"disasm", path});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("    ps_2_0\n    dcl t0.xy\n    dcl_2d s0\n    texld r0, t0, s0\n    mov oC0, r0\n", r.out);
}

TEST(KilnDisasm, MalformedInputIsReportedWithFileAndToken) {
    const std::string path = WriteTokens("bad.bin", {0xFFFE0200, 0x02000001, 0x800F0000});
    ToolResult r = RunKiln({"disasm", path});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("kiln disasm: " + path + ": instruction runs past the end of the data at token 1\n", r.err);
    EXPECT_TRUE(r.out.empty());
}

TEST(KilnDisasm, MissingFileAndUsageErrors) {
    ToolResult missing = RunKiln({"disasm", "/nonexistent/shader.bin"});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_EQ("kiln disasm: /nonexistent/shader.bin: no such file\n", missing.err);
    EXPECT_EQ(2, RunKiln({"disasm"}).exitCode);
    ToolResult help = RunKiln({"disasm", "--help"});
    EXPECT_EQ(0, help.exitCode);
    EXPECT_NE(std::string::npos, help.out.find("usage: kiln disasm"));
}

}  // namespace
