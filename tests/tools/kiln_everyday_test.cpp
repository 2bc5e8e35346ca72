// The tool's everyday behaviour shared by its commands: version, exit codes,
// messages for missing or misspelt options, -D names, -I and standard input,
// the failure line, the compile summary, and kiln run's texture binding.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

const char kPassThrough[] = "float4 main(float4 p : POSITION) : POSITION { return p; }\n";

class KilnEveryday : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kiln_everyday_" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "inc");
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    fs::path dir_;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(KilnEveryday, VersionAndExitCodesInHelp) {
    ToolResult v = RunKiln({"--version"});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out.rfind("kiln ", 0), 0u) << v.out;
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(v.out[5]))) << v.out;
    ToolResult help = RunKiln({"--help"});
    EXPECT_TRUE(Has(help.out, "exit codes: 0 success, 1 the input failed")) << help.out;
    EXPECT_TRUE(Has(help.out, "2 bad usage")) << help.out;
}

TEST_F(KilnEveryday, MissingOptionsAreNamed) {
    std::string file = Write("vs.hlsl", kPassThrough);
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"compile", "-p", "vs_2_0", "-e", "main"}, "missing the input FILE"},
        {{"compile", file, "-e", "main"}, "missing -p PROFILE"},
        {{"compile", file, "-p", "vs_2_0"}, "missing -e ENTRY"},
        {{"preprocess"}, "missing the input FILE"},
        {{"check"}, "missing the input FILE"},
        {{"asm", "-o", "x.bin"}, "missing the input FILE"},
        {{"run", file, "-p", "vs_2_0", "-e", "main"}, "missing --inputs IN.json"},
        {{"run", file, "-e", "main", "--inputs", "x.json"}, "missing -p PROFILE"},
    };
    for (const Case& c : cases) {
        ToolResult r = RunKiln(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_TRUE(Has(r.err, c.message)) << r.err;
        EXPECT_TRUE(Has(r.err, "usage: kiln ")) << "the usage follows the message: " << r.err;
    }
}

TEST_F(KilnEveryday, MisspeltProfileListsTheValidOnes) {
    std::string file = Write("vs.hlsl", kPassThrough);
    const std::vector<std::vector<std::string>> runs = {
        {"compile", file, "-p", "vs_2_1", "-e", "main"},
        {"run", file, "-p", "vs_2_1", "-e", "main", "--inputs", "x.json"}};
    for (const auto& args : runs) {
        ToolResult r = RunKiln(args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_TRUE(Has(r.err, "error X3506: unrecognized compiler target 'vs_2_1'")) << r.err;
        EXPECT_TRUE(Has(r.err, "kiln " + args[0] + ": 'vs_2_1' is not a profile; the compiler takes ")) << r.err;
        for (const char* valid : {"vs_1_1", "vs_2_0", "ps_1_4", "ps_2_0"}) EXPECT_TRUE(Has(r.err, valid)) << r.err;
    }
}

TEST_F(KilnEveryday, MacroNamesMustBeIdentifiers) {
    std::string file = Write("vs.hlsl", kPassThrough);
    for (const char* bad : {"1X=2", "A-B", "=3", "A B"}) {
        const std::vector<std::vector<std::string>> runs = {
            {"compile", file, "-p", "vs_2_0", "-e", "main", "-D", bad},
            {"preprocess", file, "-D", bad},
            {"check", file, "-D", bad},
            {"asm", file, "-D", bad},
            {"run", file, "-p", "vs_2_0", "-e", "main", "--inputs", "x.json", "-D", bad}};
        for (const auto& args : runs) {
            ToolResult r = RunKiln(args);
            EXPECT_EQ(r.exitCode, 2) << args[0] << " -D " << bad;
            EXPECT_TRUE(Has(r.err, "is not an identifier")) << r.err;
        }
    }
    EXPECT_EQ(RunKiln({"check", file, "-D", "_ok1=2", "-DB"}).exitCode, 0);
}

TEST_F(KilnEveryday, FailureLineNamesTheResult) {
    std::string file = Write("bad.hlsl", "float4 main() : POSITION { return undefined_name; }\n");
    ToolResult r = RunKiln({"compile", file, "-p", "vs_2_0", "-e", "main"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "error X")) << r.err;
    EXPECT_TRUE(Has(r.err, "kiln compile: failed: E_FAIL (0x80004005)")) << r.err;
}

TEST_F(KilnEveryday, CompileWithoutOutputPrintsASummary) {
    std::string file = Write("vs.hlsl", kPassThrough);
    ToolResult r = RunKiln({"compile", file, "-p", "vs_2_0", "-e", "main"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << "nothing written";
    // The same compile written out: the summary's size is the file's size, and
    // the one instruction is the move to the position.
    std::string out = (dir_ / "vs.bin").string();
    ASSERT_EQ(RunKiln({"compile", file, "-p", "vs_2_0", "-e", "main", "-o", out}).exitCode, 0);
    const std::string expected = "kiln compile: vs_2_0, 1 instruction slot, " + std::to_string(fs::file_size(out)) +
                                 " bytes; nothing written (-o OUT";
    EXPECT_TRUE(Has(r.err, expected)) << r.err;
}

TEST_F(KilnEveryday, StandardInputAndIncludeDirectories) {
    Write("inc/scale.h", "#define SCALE 2\n");
    const std::string source = "#include \"scale.h\"\nfloat4 main(float4 p : POSITION) : POSITION { return p * SCALE; }\n";
    std::string file = Write("vs.hlsl", source);
    const std::string inc = (dir_ / "inc").string();

    // Found only through -I, for compile and preprocess alike.
    EXPECT_EQ(RunKiln({"compile", file, "-p", "vs_2_0", "-e", "main"}).exitCode, 1);
    ToolResult compiled = RunKiln({"compile", file, "-p", "vs_2_0", "-e", "main", "-I", inc, "-S"});
    EXPECT_EQ(compiled.exitCode, 0) << compiled.err;
    EXPECT_EQ(RunKiln({"preprocess", file}).exitCode, 1);
    ToolResult pre = RunKiln({"preprocess", file, "-I" + inc});
    EXPECT_EQ(pre.exitCode, 0) << pre.err;
    EXPECT_TRUE(Has(pre.out, "p * 2")) << pre.out;

    // "-" reads the source from standard input; the result is the same.
    ToolResult piped = RunKiln({"compile", "-", "-p", "vs_2_0", "-e", "main", "-I", inc, "-S"}, source);
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, compiled.out);
    ToolResult prePiped = RunKiln({"preprocess", "-", "-I", inc}, source);
    EXPECT_EQ(prePiped.exitCode, 0) << prePiped.err;
    // The same tokens; only the name on the first #line differs.
    EXPECT_EQ(prePiped.out.substr(prePiped.out.find('\n')), pre.out.substr(pre.out.find('\n')));
    EXPECT_TRUE(Has(prePiped.out, "#line 1 \"<stdin>\"")) << prePiped.out;
    // Assembly text piped into asm assembles as the file does.
    const std::string assembly = "vs_2_0\n#include \"scale.h\"\ndef c0, SCALE, 0, 0, 0\nmov oPos, c0\n";
    const std::string asmFile = Write("vs.asm", assembly);
    const std::string fromFile = (dir_ / "file.vso").string(), fromPipe = (dir_ / "pipe.vso").string();
    ToolResult assembled = RunKiln({"asm", asmFile, "-I", inc, "-o", fromFile});
    EXPECT_EQ(assembled.exitCode, 0) << assembled.err;
    ToolResult assembledPipe = RunKiln({"asm", "-", "-I", inc, "-o", fromPipe}, assembly);
    EXPECT_EQ(assembledPipe.exitCode, 0) << assembledPipe.err;
    EXPECT_EQ(RunKiln({"disasm", fromPipe}).out, RunKiln({"disasm", fromFile}).out);
    EXPECT_EQ(fs::file_size(fromPipe), fs::file_size(fromFile));

    // Bytecode piped into disasm reads as the file does.
    const std::string bin = (dir_ / "vs.bin").string();
    ASSERT_EQ(RunKiln({"compile", file, "-p", "vs_2_0", "-e", "main", "-I", inc, "-o", bin}).exitCode, 0);
    std::ifstream in(bin, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ToolResult disasm = RunKiln({"disasm", "-"}, bytes);
    EXPECT_EQ(disasm.exitCode, 0) << disasm.err;
    EXPECT_EQ(disasm.out, RunKiln({"disasm", bin}).out);
    EXPECT_TRUE(Has(disasm.out, "vs_2_0")) << disasm.out;
    ToolResult checked = RunKiln({"check", "-"}, "float4 main() : COLOR { return nothing; }\n");
    EXPECT_EQ(checked.exitCode, 1);
    EXPECT_TRUE(Has(checked.err, "error X")) << checked.err;
}

// A 5 x 1 grey ramp sampled at its texel centres with point sampling reads
// back exactly, unless the loader's defaults are asked for.
TEST_F(KilnEveryday, RunSamplesTexturesAsTheyAre) {
    std::string image = Write("ramp.ppm", "P3\n5 1\n255\n0 0 0 50 50 50 100 100 100 150 150 150 250 250 250\n");
    std::string shader = Write("ps.hlsl", "sampler2D ramp : register(s0);\n"
                                          "float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(ramp, uv); }\n");
    std::string inputs = Write("in.json", "{\"n\": 5, \"inputs\": {\"TEXCOORD0\": [[0.1, 0.5], [0.3, 0.5], [0.5, 0.5], "
                                          "[0.7, 0.5], [0.9, 0.5]]}}");
    auto reds = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"run", shader, "-p", "ps_2_0", "-e", "main", "--inputs", inputs,
                                         "--texture", "s0=" + image};
        args.insert(args.end(), extra.begin(), extra.end());
        ToolResult r = RunKiln(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<int> values;
        // "COLOR0": [[r, g, b, a], ...]: the red of each pixel.
        for (size_t at = r.out.find("[[", r.out.find("COLOR0")) + 1; at != 0 && values.size() < 5;
             at = r.out.find("[", at + 1) + 1)
            values.push_back(int(std::lround(std::strtod(r.out.c_str() + at, nullptr) * 255)));
        return values;
    };
    EXPECT_EQ(reds({}), (std::vector<int>{0, 50, 100, 150, 250}));
    EXPECT_NE(reds({"--texture-defaults"}), (std::vector<int>{0, 50, 100, 150, 250}))
        << "the loader's defaults round the width up to 8 and filter";
}

TEST_F(KilnEveryday, RunWarnsAboutUnusedAndUnboundSamplers) {
    std::string image = Write("one.ppm", "P3\n1 1\n255\n10 20 30\n");
    std::string shader = Write("ps.hlsl", "sampler2D a : register(s0);\nsampler2D b : register(s1);\n"
                                          "float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(a, uv) + tex2D(b, uv); }\n");
    std::string inputs = Write("in.json", "{\"n\": 1, \"inputs\": {\"TEXCOORD0\": [[0.5, 0.5]]}}");
    ToolResult r = RunKiln({"run", shader, "-p", "ps_2_0", "-e", "main", "--inputs", inputs, "--texture",
                            "s0=" + image, "--texture", "s3=" + image});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "warning: --texture s3=" + image + ": the shader does not sample s3")) << r.err;
    EXPECT_TRUE(Has(r.err, "warning: the shader samples s1, which has no texture")) << r.err;
    EXPECT_FALSE(Has(r.err, "samples s0,")) << r.err;
    EXPECT_FALSE(Has(r.err, "not sample s0")) << r.err;
}

}  // namespace
