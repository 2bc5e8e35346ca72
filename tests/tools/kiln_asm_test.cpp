#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

std::string WriteText(const std::string& name, const std::string& text) {
    const std::string path = std::string(KILN_BINARY_DIR) + "/kiln_asm_" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<uint32_t> ReadTokens(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint32_t> tokens(bytes.size() / 4);
    if (!tokens.empty()) std::memcpy(tokens.data(), bytes.data(), tokens.size() * 4);
    return tokens;
}

TEST(KilnAsm, WritesBytecodeThatDisassemblesBack) {
    const std::string src = WriteText("ok.asm", "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n");
    const std::string out = std::string(KILN_BINARY_DIR) + "/kiln_asm_ok.bin";
    std::filesystem::remove(out);
    ToolResult r = RunKiln({"asm", src, "-o", out});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_EQ(ReadTokens(out), (std::vector<uint32_t>{0xFFFF0200, 0x0200001F, 0x80000000, 0xB0030000, 0x0200001F,
                                                      0x90000000, 0xA00F0800, 0x03000042, 0x800F0000, 0xB0E40000,
                                                      0xA0E40800, 0x02000001, 0x800F0800, 0x80E40000, 0x0000FFFF}));
    ToolResult d = RunKiln({"disasm", out});
    EXPECT_EQ("    ps_2_0\n    dcl t0.xy\n    dcl_2d s0\n    texld r0, t0, s0\n    mov oC0, r0\n", d.out);
}

TEST(KilnAsm, MacrosAndIncludeDirectories) {
    const std::string dir = std::string(KILN_BINARY_DIR) + "/kiln_asm_inc";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/consts.inc") << "def c0, 1, 2, 3, 4\n";
    const std::string src = WriteText("macro.asm", "vs_2_0\n#include \"consts.inc\"\nmov oPos, SRC\n");
    const std::string out = std::string(KILN_BINARY_DIR) + "/kiln_asm_macro.bin";
    ToolResult r = RunKiln({"asm", src, "-I", dir, "-D", "SRC=c0.x", "-o", out});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(ReadTokens(out), (std::vector<uint32_t>{0xFFFE0200, 0x05000051, 0xA00F0000, 0x3F800000, 0x40000000,
                                                      0x40400000, 0x40800000, 0x02000001, 0xC00F0000, 0xA0000000,
                                                      0x0000FFFF}));
    // Without -I the include is not found next to the source.
    ToolResult missing = RunKiln({"asm", src, "-DSRC=c0"});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.err.find("consts.inc")) << missing.err;
}

TEST(KilnAsm, ErrorsAreListedAndNothingIsWritten) {
    const std::string src = WriteText("bad.asm", "vs_2_0\nmov r0.zx, c0\nmov r99, c0\n");
    const std::string out = std::string(KILN_BINARY_DIR) + "/kiln_asm_bad.bin";
    std::filesystem::remove(out);
    ToolResult r = RunKiln({"asm", src, "-o", out});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(src + "(2): error X2003: invalid mask 'zx'\n" + src + "(3): error X2005: invalid register 'r99'\n" +
                  "kiln asm: failed: ERR_INVALID_DATA (0x88760B59)\n",
              r.err);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(KilnAsm, ValidationCanBeTurnedOffAndDebugInformationOn) {
    // ps_1_3 reads a constant whole or with its alpha replicated; the
    // validator refuses .g, the assembler itself does not.
    const std::string src = WriteText("valid.asm", "ps_1_3\ndef c0, 1, 2, 3, 4\nmov r0, c0.g\n");
    ToolResult checked = RunKiln({"asm", src});
    EXPECT_EQ(1, checked.exitCode);
    EXPECT_NE(std::string::npos, checked.err.find("(3): error X50")) << checked.err;
    const std::string out = std::string(KILN_BINARY_DIR) + "/kiln_asm_debug.bin";
    ToolResult unchecked = RunKiln({"asm", src, "--no-validate", "--debug", "-o", out});
    EXPECT_EQ(0, unchecked.exitCode) << unchecked.err;
    ToolResult d = RunKiln({"disasm", out});
    EXPECT_NE(std::string::npos, d.out.find("// Debug information: 2 instruction records")) << d.out;
}

TEST(KilnAsm, UsageErrors) {
    EXPECT_EQ(2, RunKiln({"asm"}).exitCode);
    EXPECT_EQ(2, RunKiln({"asm", "a.asm", "--bogus"}).exitCode);
    EXPECT_EQ(2, RunKiln({"asm", "a.asm", "-o"}).exitCode);
    ToolResult missing = RunKiln({"asm", "/nonexistent/shader.asm"});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.err.find("error X1507")) << missing.err;
    ToolResult help = RunKiln({"asm", "--help"});
    EXPECT_EQ(0, help.exitCode);
    EXPECT_NE(std::string::npos, help.out.find("usage: kiln asm"));
}

}  // namespace
