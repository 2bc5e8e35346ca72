// kiln compile --fragment and --debug: a vertex fragment written as bytecode
// or shown as assembly with its fragment information, the refusal of pixel
// profiles, and the debug summary naming the source file and variables.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

class KilnCompileFragment : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kiln_fragment_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        source_ = (dir_ / "f.vsh").string();
        std::ofstream(source_) << "float4 Tint : register(c3);\n"
                                  "void main(float4 c : COLOR0, out float4 o : r_Color) { o = c * Tint; }\n";
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
    std::string source_;
};

TEST_F(KilnCompileFragment, WritesAndShowsAFragment) {
    const std::string out = (dir_ / "f.bin").string();
    ToolResult r = RunKiln({"compile", source_, "-p", "vs_2_0", "-e", "main", "--fragment", "-o", out});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("", r.err);
    std::ifstream in(out, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 8u);
    uint32_t version;
    std::memcpy(&version, bytes.data(), 4);
    EXPECT_EQ(0x7FFE0200u, version);
    EXPECT_NE(std::string::npos, bytes.find("FINF"));
    EXPECT_EQ(std::string::npos, bytes.find("CTAB"));

    ToolResult text = RunKiln({"compile", source_, "-p", "vs_2_0", "-e", "main", "--fragment", "-S"});
    EXPECT_EQ(0, text.exitCode) << text.err;
    EXPECT_NE(std::string::npos, text.out.find("// Fragment information\n")) << text.out;
    EXPECT_NE(std::string::npos, text.out.find("c_Tint   c3       1 bound to c3\n")) << text.out;
    EXPECT_NE(std::string::npos, text.out.find("r_color  r0       1\n")) << text.out;
    EXPECT_NE(std::string::npos, text.out.find("v_color0 v0       1\n")) << text.out;
    EXPECT_NE(std::string::npos, text.out.find("    vs_2_0\n    // vertex shader fragment\n")) << text.out;
    EXPECT_EQ(std::string::npos, text.out.find("dcl_")) << text.out;
    // kiln disasm reads the written fragment the same way.
    ToolResult disasm = RunKiln({"disasm", out});
    EXPECT_EQ(0, disasm.exitCode) << disasm.err;
    EXPECT_EQ(text.out, disasm.out);
}

TEST_F(KilnCompileFragment, RefusesPixelProfilesAndDocumentsTheOptions) {
    ToolResult r = RunKiln({"compile", source_, "-p", "ps_2_0", "-e", "main", "--fragment"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(0u, r.err.find("kiln compile: --fragment needs a vertex shader profile")) << r.err;
    ToolResult help = RunKiln({"compile", "--help"});
    EXPECT_EQ(0, help.exitCode);
    EXPECT_NE(std::string::npos, help.out.find("--fragment")) << help.out;
    EXPECT_NE(std::string::npos, help.out.find("--debug")) << help.out;
    // Without --fragment the shared-temporary semantic is an error.
    ToolResult plain = RunKiln({"compile", source_, "-p", "vs_2_0", "-e", "main"});
    EXPECT_EQ(1, plain.exitCode);
    EXPECT_NE(std::string::npos, plain.err.find("error X4502: invalid output semantic 'r_Color0'")) << plain.err;
}

TEST_F(KilnCompileFragment, DebugSummaryNamesFileAndVariables) {
    ToolResult r = RunKiln({"compile", source_, "-p", "vs_2_0", "-e", "main", "--fragment", "--debug", "-S"});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(0u, r.out.find("// Debug information for main: ")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("//   file " + fs::absolute(source_).string() + "\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("//   float4 c : COLOR0: not written\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("//   float4 o : r_Color: written by ")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("n_c      v0       1\n")) << r.out;
}

}  // namespace
