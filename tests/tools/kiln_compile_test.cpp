// kiln compile and kiln preprocess: options, help, messages on standard error
// in the compiler's own format, and exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

class KilnShaderCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kiln_cmd_" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "inc");
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name) << text;
        return (dir_ / name).string();
    }
    fs::path dir_;
};

TEST_F(KilnShaderCommands, HelpDescribesBothCommands) {
    ToolResult compile = RunKiln({"compile", "--help"});
    EXPECT_EQ(compile.exitCode, 0);
    EXPECT_NE(compile.out.find("usage: kiln compile FILE -p PROFILE -e ENTRY"), std::string::npos);
    ToolResult preprocess = RunKiln({"preprocess", "--help"});
    EXPECT_EQ(preprocess.exitCode, 0);
    EXPECT_NE(preprocess.out.find("usage: kiln preprocess FILE"), std::string::npos);
    EXPECT_EQ(RunKiln({"compile", "x.fx"}).exitCode, 2);
    EXPECT_EQ(RunKiln({"preprocess"}).exitCode, 2);
    EXPECT_EQ(RunKiln({"preprocess", "a", "--bogus"}).exitCode, 2);
}

TEST_F(KilnShaderCommands, PreprocessPrintsOneLinePerSourceLine) {
    Write("inc/defs.h", "#define SCALE(x) ((x) * K)\n");
    std::string main = Write("main.fx",
                             "#include \"inc/defs.h\"\n"
                             "float a = SCALE(2);\n"
                             "\n"
                             "#ifdef EXTRA\n"
                             "float b = EXTRA;\n"
                             "#endif\n"
                             "int line = __LINE__;\n");
    ToolResult r = RunKiln({"preprocess", main, "-D", "K=3", "-DEXTRA"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "#line 1 \"" + main + "\"\n"
              "\n"
              "float a = (( 2 ) * 3 ) ;\n"
              "\n"
              "\n"
              "float b = 1 ;\n"
              "\n"
              "int line = 7;\n");
}

TEST_F(KilnShaderCommands, PreprocessReportsErrorsOnStandardError) {
    std::string bad = Write("bad.fx", "ok\n#if 1/0\n#endif\n#include \"none.h\"\n");
    ToolResult r = RunKiln({"preprocess", bad});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, bad + "(2): error X1503: division by zero in preprocessor expression\n" + bad +
                         "(3): error X1510: unexpected #endif\n" + bad +
                         "(4): error X1507: failed to open source file: 'none.h'\n");
    EXPECT_EQ(r.out, "#line 1 \"" + bad + "\"\nok\n");
}

TEST_F(KilnShaderCommands, CompileWritesBytecodeAndWarnings) {
    std::string source = Write("v.fx", "float4 main(float4 p : POSITION) : POSITION { return p; }\n");
    std::string out = (dir_ / "v.bin").string();
    ToolResult r = RunKiln({"compile", source, "-p", "vs_1_0", "-e", "main", "-o", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "warning X3505: vs_1_0 is no longer supported; using vs_1_1\n");
    ASSERT_TRUE(fs::exists(out));
    EXPECT_GT(fs::file_size(out), 8u);
    EXPECT_EQ(fs::file_size(out) % 4, 0u);
}

TEST_F(KilnShaderCommands, CompileFailuresExitNonZero) {
    std::string source = Write("s.fx", "float4 main() : POSITION { return 0; }\n");
    ToolResult badProfile = RunKiln({"compile", source, "-p", "vs_9_9", "-e", "main"});
    EXPECT_EQ(badProfile.exitCode, 1);
    EXPECT_EQ(badProfile.err.rfind("error X3506: unrecognized compiler target 'vs_9_9'\n", 0), 0u) << badProfile.err;
    ToolResult missing = RunKiln({"compile", "missing.fx", "-p", "vs_2_0", "-e", "main"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err.rfind("error X1507: failed to open source file: 'missing.fx'\n", 0), 0u) << missing.err;
    std::string stop = Write("stop.fx", "#error not today\n");
    ToolResult error = RunKiln({"compile", stop, "-p", "ps_2_0", "-e", "main", "-o", (dir_ / "out.bin").string()});
    EXPECT_EQ(error.exitCode, 1);
    EXPECT_EQ(error.err.rfind(stop + "(1): error: not today\n", 0), 0u) << error.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.bin"));
}

// A construct the compiler does not support gives one line: what and where.
TEST_F(KilnShaderCommands, UnsupportedConstructsGiveOneLine) {
    const struct {
        const char* name;
        const char* source;
        const char* message;
    } cases[] = {
        {"recursion.fx", "float f(float x) { return f(x - 1); }\n"
                         "float4 main(float4 p : POSITION) : POSITION { return f(p.x); }\n",
         "(1): error X3500: 'f': recursive functions not yet implemented\n"},
        {"index.fx", "float4 main(float4 p : POSITION) : POSITION {\n    float a[4] = {1, 2, 3, 4};\n"
                     "    return a[p.x];\n}\n",
         "(3): error X3500: non-linear array references not yet implemented\n"},
        {"loop.fx", "float4 main(float4 p : POSITION) : POSITION {\n    float s = 0;\n"
                    "    for (int i = 0; i < p.x; ++i) s += i;\n    return s;\n}\n",
         "(3): error X3500: general for/do/while statements are not yet implemented\n"},
    };
    for (const auto& c : cases) {
        const std::string path = Write(c.name, c.source);
        ToolResult r = RunKiln({"compile", path, "-p", "vs_2_0", "-e", "main"});
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.err, path + c.message);
    }
}

// Messages found after parsing name the file and the line they concern.
TEST_F(KilnShaderCommands, LateMessagesNameFileAndLine) {
    const struct {
        const char* name;
        const char* source;
        const char* message;
    } cases[] = {
        {"empty.fx", "", "(1): error X3501: 'main': entrypoint not found\n"},
        {"other.fx", "float4 other(float4 p : POSITION) : POSITION { return p; }\n\n",
         "(3): error X3501: 'main': entrypoint not found\n"},
        {"lookup.fx", "sampler2D s;\nfloat4 main(float4 p : POSITION) : POSITION {\n    return tex2D(s, p.xy);\n}\n",
         "(3): error X4545: vs_2_0 target does not support texture lookups\n"},
        {"position.fx", "float2 main(float4 p : POSITION) : POSITION {\n    return p.xy;\n}\n",
         "(1): error X4541: vertex shader must minimally write all four components of POSITION\n"},
    };
    for (const auto& c : cases) {
        const std::string path = Write(c.name, c.source);
        ToolResult r = RunKiln({"compile", path, "-p", "vs_2_0", "-e", "main"});
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.err.find(path + c.message), 0u) << r.err;  // the failure line follows
    }
}

// True when some line of `text`, leading blanks removed, starts with `start`.
bool HasLineStarting(const std::string& text, const std::string& start) {
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.compare(first, start.size(), start) == 0) return true;
    }
    return false;
}

TEST_F(KilnShaderCommands, DisasmPrintsTheCompiledShader) {
    std::string source = Write("m.fx",
                               "float4x4 World;\n"
                               "float4 main(float4 p : POSITION) : POSITION { return mul(p, World); }\n");
    for (const char* flag : {"-S", "--disasm"}) {
        ToolResult r = RunKiln({"compile", source, "-p", "vs_2_0", "-e", "main", flag});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(HasLineStarting(r.out, "vs_2_0")) << r.out;
        EXPECT_TRUE(HasLineStarting(r.out, "dcl_position v0")) << r.out;
        EXPECT_TRUE(HasLineStarting(r.out, "m4x4 ") || HasLineStarting(r.out, "dp4 ")) << r.out;
        EXPECT_NE(r.out.find("World"), std::string::npos) << "constant table header missing:\n" << r.out;
    }
    // vs_3_0 writes the position to a declared o register.
    ToolResult r3 = RunKiln({"compile", source, "-p", "vs_3_0", "-e", "main", "-S"});
    EXPECT_EQ(r3.exitCode, 0) << r3.err;
    EXPECT_TRUE(HasLineStarting(r3.out, "vs_3_0")) << r3.out;
    EXPECT_TRUE(HasLineStarting(r3.out, "dcl_position o0")) << r3.out;
    ToolResult help = RunKiln({"compile", "--help"});
    EXPECT_NE(help.out.find("-S, --disasm"), std::string::npos);

    // With -o the text goes to the file, nothing to standard output.
    std::string out = (dir_ / "m.asm").string();
    ToolResult toFile = RunKiln({"compile", source, "-p", "vs_2_0", "-e", "main", "-S", "-o", out});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "");
    std::ifstream in(out);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, RunKiln({"compile", source, "-p", "vs_2_0", "-e", "main", "-S"}).out);
}

TEST_F(KilnShaderCommands, DisasmOfAFailingSourcePrintsOnlyDiagnostics) {
    std::string bad = Write("bad.fx", "float4 main(float4 p : POSITION) : POSITION { return undefinedThing; }\n");
    ToolResult r = RunKiln({"compile", bad, "-p", "vs_2_0", "-e", "main", "-S"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("error"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("undefinedThing"), std::string::npos) << r.err;
}

}  // namespace
