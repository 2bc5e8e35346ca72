// kiln run: shaders run on given inputs, outputs compared with the same
// arithmetic done here, and every kind of bad input reported by message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using Vec = std::vector<float>;

const std::string kData = std::string(KILN_SOURCE_DIR) + "/tests/tools/run_data/";

// The vectors (or scalars, as one-element vectors) printed under "name".
std::vector<Vec> Field(const std::string& out, const std::string& name) {
    std::vector<Vec> result;
    size_t at = out.find("\"" + name + "\": [");
    if (at == std::string::npos) return result;
    const char* p = out.c_str() + at + name.size() + 5;
    int depth = 1;
    Vec current;
    while (*p && depth > 0) {
        if (*p == '[') {
            ++depth;
            current.clear();
            ++p;
        } else if (*p == ']') {
            if (--depth == 1) result.push_back(current);
            ++p;
        } else if (*p == ',' || *p == ' ') {
            ++p;
        } else {
            char* end = nullptr;
            float v = std::strtof(p, &end);
            if (end == p) break;
            if (depth == 1)
                result.push_back({v});
            else
                current.push_back(v);
            p = end;
        }
    }
    return result;
}

void ExpectNear(const Vec& got, const Vec& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 1e-5f * std::max(1.0f, std::fabs(want[i]))) << what << " component " << i;
}

// Row vector times a rows x cols matrix given row by row.
Vec Mul(const Vec& p, const Vec& m, int rows, int cols) {
    Vec r(size_t(cols), 0.0f);
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i) r[size_t(j)] += p[size_t(i)] * m[size_t(i * cols + j)];
    return r;
}

std::string Numbers(const Vec& v) {
    std::string s = "[";
    for (size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + std::to_string(v[i]);
    return s + "]";
}

class KilnRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kiln_run_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name) << text;
        return (dir_ / name).string();
    }
    fs::path dir_;
};

TEST_F(KilnRun, VertexShaderMatricesInBothPackings) {
    const Vec m = {1, 2, 3, 4, -5, 6, 7, 8, 9, 10, -11, 12, 13, 14, 15, 0.5f};
    const Vec n = {1, -2, 3, 4, 5, 6, 7, 8, 9.5f, 10, 11, 12};
    const Vec tint = {1, 0.5f, 2, 1};
    std::string inputs = Write("in.json",
                               "{\"n\": 2, \"inputs\": {\"POSITION\": [[1, 2, 3], [-1, 0.5, 2, 1]],\n"
                               " \"COLOR0\": [[0.5, 1, 0.25, 1], [1, 1, 1, 0]]}}");
    // The column-major matrices are given nested by rows, the row-major ones flat.
    std::string nested = "[" + Numbers({1, 2, 3, 4}) + "," + Numbers({-5, 6, 7, 8}) + "," + Numbers({9, 10, -11, 12}) +
                         "," + Numbers({13, 14, 15, 0.5f}) + "]";
    std::string uniforms = Write("u.json", "{\"ColumnMajor\": " + nested + ", \"RowMajor\": " + Numbers(m) +
                                               ", \"ColumnMajor43\": " + Numbers(n) + ", \"RowMajor43\": " +
                                               Numbers(n) + ", \"Tint\": " + Numbers(tint) + "}");
    for (const char* profile : {"vs_1_1", "vs_2_0", "vs_2_x", "vs_3_0"}) {
        ToolResult r = RunKiln({"run", kData + "transform.fx", "-p", profile, "-e", "main", "--inputs", inputs,
                                "--uniforms", uniforms});
        ASSERT_EQ(r.exitCode, 0) << profile << ": " << r.err;
        const std::vector<Vec> positions = {{1, 2, 3, 1}, {-1, 0.5f, 2, 1}};
        const std::vector<Vec> colors = {{0.5f, 1, 0.25f, 1}, {1, 1, 1, 0}};
        auto pos = Field(r.out, "POSITION"), color = Field(r.out, "COLOR0"), a = Field(r.out, "TEXCOORD0"),
             b = Field(r.out, "TEXCOORD1"), c = Field(r.out, "TEXCOORD2");
        ASSERT_EQ(pos.size(), 2u) << r.out;
        ASSERT_EQ(color.size(), 2u) << r.out;
        ASSERT_EQ(a.size(), 2u) << r.out;
        ASSERT_EQ(b.size(), 2u) << r.out;
        ASSERT_EQ(c.size(), 2u) << r.out;
        for (size_t i = 0; i < 2; ++i) {
            const Vec p = positions[i];
            ExpectNear(pos[i], Mul(p, m, 4, 4), std::string(profile) + " column-major 4x4");
            ExpectNear(a[i], Mul(p, m, 4, 4), std::string(profile) + " row-major 4x4");
            Vec want43 = Mul(p, n, 4, 3);
            ExpectNear(Vec(b[i].begin(), b[i].begin() + 3), want43, std::string(profile) + " column-major 4x3");
            ExpectNear(Vec(c[i].begin(), c[i].begin() + 3), want43, std::string(profile) + " row-major 4x3");
            Vec wantColor(4);
            for (int k = 0; k < 4; ++k) wantColor[k] = colors[i][k] * tint[k] * 2.0f;  // Scale defaults to 2
            ExpectNear(color[i], wantColor, std::string(profile) + " colour");
        }
    }
}

TEST_F(KilnRun, PixelShaderSamplesTheBoundTexture) {
    // Texel centres of the 2x2 fixture, point sampled.
    std::string inputs = Write("in.json",
                               "{\"n\": 5, \"inputs\": {\"TEXCOORD0\": [[0.25, 0.25], [0.75, 0.25], [0.25, 0.75], "
                               "[0.75, 0.75], [0.75, 0.75]],\n"
                               " \"COLOR0\": [[1, 1, 1, 1], [1, 1, 1, 1], [1, 1, 1, 1], [1, 1, 1, 1], [0.5, 2, 0, 1]]}}");
    std::string uniforms = Write("u.json", "{\"Gain\": [0.25, 0, 0, 0]}");
    const std::vector<Vec> texels = {{255, 0, 0, 255}, {0, 255, 0, 51}, {0, 0, 255, 102}, {51, 102, 153, 204}};
    // ps_3_0 reads the texture coordinate from a declared v register.
    for (const char* profile : {"ps_2_0", "ps_3_0"}) {
        for (const std::string sampler : {"s0", "Image"}) {
            ToolResult r = RunKiln({"run", kData + "sample.fx", "-p", profile, "-e", "main", "--inputs", inputs,
                                    "--uniforms", uniforms, "--texture", sampler + "=" + kData + "quad_rgba.png"});
            ASSERT_EQ(r.exitCode, 0) << profile << ": " << r.err;
            auto color = Field(r.out, "COLOR0");
            ASSERT_EQ(color.size(), 5u) << r.out;
            const Vec tints[] = {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {0.5f, 2, 0, 1}};
            for (size_t i = 0; i < 5; ++i) {
                const Vec& t = texels[i < 4 ? i : 3];
                Vec want(4);
                for (int k = 0; k < 4; ++k) want[k] = t[k] / 255.0f * tints[i][k] + (k == 0 ? 0.25f : 0.0f);
                ExpectNear(color[i], want, "pixel " + std::to_string(i));
            }
        }
    }
}

TEST_F(KilnRun, PixelProfilesOutputsAndDiscards) {
    std::string inputs = Write("in.json", "{\"n\": 2, \"inputs\": {\"COLOR0\": [[1, 0.5, 0.25, 1], [0.2, 0.4, 0.6, 0.8]]}}");
    std::string uniforms = Write("u.json", "{\"Factor\": [0.5, 1, 0.5, 0.25]}");
    for (const char* profile : {"ps_1_1", "ps_1_4", "ps_2_0", "ps_2_x", "ps_3_0"}) {
        ToolResult r = RunKiln({"run", kData + "modulate.fx", "-p", profile, "-e", "main", "--inputs", inputs,
                                "--uniforms", uniforms});
        ASSERT_EQ(r.exitCode, 0) << profile << ": " << r.err;
        auto color = Field(r.out, "COLOR0");
        ASSERT_EQ(color.size(), 2u) << r.out;
        ExpectNear(color[0], {0.5f, 0.5f, 0.125f, 0.25f}, profile);
        ExpectNear(color[1], {0.1f, 0.4f, 0.3f, 0.2f}, profile);
    }

    // A discarded pixel prints null; COLOR1 and DEPTH appear when written.
    // NORMAL is valid but unread: a warning, not an error.
    std::string clipped = Write("clip.json",
                                "{\"n\": 3, \"inputs\": {\"TEXCOORD0\": [[1, 0.5], [-1, 0.25], [0.5, 0.75, 3, 4]], "
                                "\"NORMAL\": [[1], [2], [3]]}}");
    for (const char* profile : {"ps_2_0", "ps_3_0"}) {
        ToolResult r = RunKiln({"run", kData + "clip.fx", "-p", profile, "-e", "main", "--inputs", clipped});
        ASSERT_EQ(r.exitCode, 0) << profile << ": " << r.err;
        EXPECT_NE(r.err.find("warning: " + (dir_ / "clip.json").string() + ":1:"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("the shader does not read NORMAL (it reads: TEXCOORD0); ignored"), std::string::npos);
        EXPECT_NE(r.out.find("\"COLOR0\": [[1, 0.5, 0, 0], null, [0.5, 0.75, 3, 4]]"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"COLOR1\": [[2, 1, 0, 0], null, [1, 1.5, 6, 8]]"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"DEPTH\": [0.5, null, 0.75]"), std::string::npos) << r.out;
    }
}

TEST_F(KilnRun, UniformPathsIntsAndBools) {
    std::string inputs = Write("in.json", "{\"n\": 1, \"inputs\": {\"POSITION\": [[1, 2, 3, 4]]}}");
    struct Case {
        std::string uniforms;
        Vec want;
    };
    const Case cases[] = {
        {"{\"Count\": 3, \"Flag\": true, \"Weights\": [[1, 1, 1, 1], [10, 20, 30, 40], [100, 200, 300, 400]], "
         "\"Sun.color\": [0.5, 0.5, 0.5, 0.5]}",
         {113.5f, 226.5f, 339.5f, 452.5f}},
        {"{\"Count\": 2, \"Flag\": false, \"Weights[2]\": [1, 2, 3, 4]}", {3, 6, 9, 12}},
        {"{\"Count\": 1, \"Flag\": 1, \"Weights[1]\": [5, 5, 5, 5], \"Weights[2]\": [0, 0, 0, 1]}", {6, 7, 8, 10}},
    };
    for (const Case& c : cases) {
        ToolResult r = RunKiln({"run", kData + "members.fx", "-p", "vs_2_0", "-e", "main", "--inputs", inputs,
                                "--uniforms", Write("u.json", c.uniforms)});
        ASSERT_EQ(r.exitCode, 0) << c.uniforms << "\n" << r.err;
        auto pos = Field(r.out, "POSITION");
        ASSERT_EQ(pos.size(), 1u) << r.out;
        ExpectNear(pos[0], c.want, c.uniforms);
    }
    ToolResult whole = RunKiln({"run", kData + "members.fx", "-p", "vs_2_0", "-e", "main", "--inputs", inputs,
                                "--uniforms", Write("u.json", "{\"Sun\": [1, 2, 3, 4, 5, 6, 7]}")});
    EXPECT_EQ(whole.exitCode, 1);
    EXPECT_NE(whole.err.find("\"Sun\" is a structure; give its members as \"Sun.member\""), std::string::npos)
        << whole.err;
}

// An int that is a loop count and a value lives in an integer and a float
// register; the uniforms file sets both.
TEST_F(KilnRun, AnIntInTwoRegisterSets) {
    std::string inputs = Write("in.json", "{\"n\": 1, \"inputs\": {\"COLOR0\": [[0.25, 0.5, 0, 1]]}}");
    for (int count : {0, 3}) {
        ToolResult r = RunKiln({"run", kData + "count_loop.fx", "-p", "ps_3_0", "-e", "main", "--inputs", inputs,
                                "--uniforms", Write("u.json", "{\"Count\": " + std::to_string(count) + "}")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        auto color = Field(r.out, "COLOR0");
        ASSERT_EQ(color.size(), 1u) << r.out;
        const float n = float(count);
        ExpectNear(color[0], {0.25f * n + n, 0.5f * n + n, n, 2 * n}, "Count " + std::to_string(count));
    }
}

TEST_F(KilnRun, LinearFilterAndTextureStages) {
    // Halfway between the centres of texels (0, 0) and (1, 0) of the fixture.
    std::string inputs = Write("in.json",
                               "{\"n\": 1, \"inputs\": {\"TEXCOORD0\": [[0.5, 0.25]], \"COLOR0\": [[1, 1, 1, 1]]}}");
    ToolResult r = RunKiln({"run", kData + "sample.fx", "-p", "ps_2_0", "-e", "main", "--inputs", inputs, "--texture",
                            "s0=" + kData + "quad_rgba.png", "--filter", "linear"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto color = Field(r.out, "COLOR0");
    ASSERT_EQ(color.size(), 1u) << r.out;
    ExpectNear(color[0], {0.5f, 0.5f, 0.0f, (255 + 51) / 510.0f}, "linear");

    // ps_1_x looks up through texture stages: stage 0 is sampler s0.
    std::string corner = Write("corner.json",
                               "{\"n\": 1, \"inputs\": {\"TEXCOORD0\": [[0.75, 0.75]], \"COLOR0\": [[1, 1, 1, 1]]}}");
    for (const char* profile : {"ps_1_1", "ps_1_4"}) {
        ToolResult p = RunKiln({"run", kData + "sample.fx", "-p", profile, "-e", "main", "--inputs", corner,
                                "--texture", "s0=" + kData + "quad_rgba.png"});
        ASSERT_EQ(p.exitCode, 0) << profile << ": " << p.err;
        auto c = Field(p.out, "COLOR0");
        ASSERT_EQ(c.size(), 1u) << p.out;
        ExpectNear(c[0], {0.2f, 0.4f, 0.6f, 0.8f}, profile);
    }
}

TEST_F(KilnRun, BytecodeInputWithRawRegisters) {
    std::string bin = (dir_ / "offset.vso").string();
    ToolResult compiled = RunKiln({"compile", kData + "offset.fx", "-p", "vs_2_0", "-e", "main", "-o", bin});
    ASSERT_EQ(compiled.exitCode, 0) << compiled.err;
    std::string inputs = Write("in.json", "{\"n\": 1, \"inputs\": {\"POSITION\": [[1, 2, 3, 4]]}}");
    std::string byName = Write("name.json", "{\"Offset\": [10, 20, 30, 40]}");
    std::string byRegister = Write("reg.json", "{\"c0\": [10, 20, 30, 40]}");
    for (const std::string& u : {byName, byRegister}) {
        ToolResult r = RunKiln({"run", bin, "--bytecode", "--inputs", inputs, "--uniforms", u});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        auto pos = Field(r.out, "POSITION");
        ASSERT_EQ(pos.size(), 1u) << r.out;
        ExpectNear(pos[0], {11, 22, 33, 44}, u);
    }
    ToolResult wrong = RunKiln({"run", bin, "--bytecode", "-p", "ps_2_0", "--inputs", inputs});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("is vs_2_0 bytecode, not ps_2_0"), std::string::npos) << wrong.err;
    ToolResult truncated = RunKiln({"run", Write("odd.bin", "abcde"), "--bytecode", "--inputs", inputs});
    EXPECT_EQ(truncated.exitCode, 1);
    EXPECT_NE(truncated.err.find("not shader bytecode"), std::string::npos) << truncated.err;
    ToolResult junk = RunKiln({"run", Write("junk.bin", "abcd"), "--bytecode", "--inputs", inputs});
    EXPECT_EQ(junk.exitCode, 1);
    EXPECT_NE(junk.err.find("is not a vertex or pixel shader (version token 0x64636261)"), std::string::npos)
        << junk.err;
    // A vs_2_0 version token with no end token after it.
    ToolResult unended = RunKiln({"run", Write("unended.bin", std::string("\x00\x02\xFE\xFF", 4)), "--bytecode",
                                  "--inputs", inputs});
    EXPECT_EQ(unended.exitCode, 1);
    EXPECT_NE(unended.err.find("the device refuses"), std::string::npos) << unended.err;
}

TEST_F(KilnRun, ProblemsAreReportedOnePerLine) {
    const std::string good = Write("good.json", "{\"n\": 1, \"inputs\": {\"POSITION\": [[1, 2, 3, 4]]}}");
    const std::string image = kData + "quad_rgba.png";
    struct Case {
        std::vector<std::string> extra;  // after FILE -p -e
        std::string inputs;              // text of IN.json, or empty for `good`
        std::string uniforms;            // text of U.json, or empty for none
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {{}, "{\"n\": 1, \"inputs\": {\"BOGUS\": [[1]]}}", "", 1, "unknown semantic \"BOGUS\""},
        {{}, "[" + std::string(100, '[') + std::string(101, ']'), "", 1, "in.json:1:65: nesting deeper than 64 levels"},
        {{}, "{\"n\": 1,\n  \"inputs\": {]}", "", 1, "in.json:2:14: expected a member name"},
        {{}, "{\"n\": 1, \"inputs\": {\"POSITION\": [[1, 2,]]}}", "", 1, "in.json:1:40: expected a value"},
        {{}, "{\"n\": 1, \"n\": 2}", "", 1, "in.json:1:10: duplicate member \"n\""},
        {{}, "{\"n\": 2, \"inputs\": {\"POSITION\": [[1, 2, 3, 4]]}}", "", 1, "1 vectors, but n is 2"},
        {{}, "{\"n\": 300000, \"inputs\": {}}", "", 1, "\"n\" must be a whole number from 0 to 262144"},
        {{}, "{\"n\": 1.5}", "", 1, "\"n\" must be a whole number"},
        {{}, "{\"n\": 1, \"inputs\": {\"POSITION\": [[1, 2, 3, 4, 5]]}}", "", 1, "expected 1 to 4 numbers"},
        {{}, "", "{\"Nope\": [1]}", 1, "unknown uniform \"Nope\""},
        {{}, "", "{\"Offset\": [1, 2]}", 1, "\"Offset\" takes 4 values (1x4), got 2"},
        {{}, "", "{\"c300\": [1]}", 1, "c registers end at c255"},
        {{"--texture", "s0"}, "", "", 2, "--texture takes SAMPLER=IMAGE"},
        {{"--texture", "s0=" + (dir_ / "missing.png").string()}, "", "", 1, "cannot load texture"},
        {{"--texture", "Offset=" + image}, "", "", 1, "\"Offset\" is no sampler"},
        {{"--filter", "cubic"}, "", "", 2, "--filter takes point or linear"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"run", kData + "offset.fx", "-p", "vs_2_0", "-e", "main", "--inputs",
                                         c.inputs.empty() ? good : Write("in.json", c.inputs)};
        if (!c.uniforms.empty()) {
            args.push_back("--uniforms");
            args.push_back(Write("u.json", c.uniforms));
        }
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ToolResult r = RunKiln(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.message;
    }

    // Several problems at once: one line each.
    std::string both = Write("in.json", "{\"n\": 1, \"inputs\": {\"BOGUS\": [[1]], \"POSITION\": [[1], [2]]}, \"x\": 0}");
    ToolResult r = RunKiln({"run", kData + "offset.fx", "-p", "vs_2_0", "-e", "main", "--inputs", both});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;

    // A wrong "n" is the one fault: the inputs are not measured against it.
    for (const char* count : {"-1", "1.5", "300000"}) {
        std::string wrongCount = Write("in.json", std::string("{\"n\": ") + count +
                                                      ", \"inputs\": {\"POSITION\": [[1, 2, 3, 4]]}}");
        ToolResult one = RunKiln({"run", kData + "offset.fx", "-p", "vs_2_0", "-e", "main", "--inputs", wrongCount});
        EXPECT_EQ(one.exitCode, 1);
        EXPECT_EQ(std::count(one.err.begin(), one.err.end(), '\n'), 1) << one.err;
        EXPECT_NE(one.err.find("\"n\" must be a whole number"), std::string::npos) << one.err;
    }

    ToolResult broken = RunKiln({"run", kData + "broken.fx", "-p", "vs_2_0", "-e", "main", "--inputs", good});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("broken.fx(2"), std::string::npos) << broken.err;
    EXPECT_NE(broken.err.find("did not compile"), std::string::npos) << broken.err;

    ToolResult help = RunKiln({"run", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: kiln run FILE"), std::string::npos);
    EXPECT_EQ(RunKiln({"run", kData + "offset.fx", "-p", "vs_2_0"}).exitCode, 2);
}

}  // namespace
