// kiln texconv: conversions into each written kind, the options that shape
// the texture, and failures that leave no file behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/texture/test_image_files.h"
#include "tool_runner.h"

using namespace testimg;

namespace {

std::string PathOf(const std::string& name) { return std::string(KILN_BINARY_DIR) + "/kiln_texconv_" + name; }

std::string WriteFile(const std::string& name, const Bytes& bytes) {
    const std::string path = PathOf(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le32(const Bytes& b, size_t at) {
    return b.size() < at + 4 ? 0 : b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
uint32_t Be32(const Bytes& b, size_t at) {
    return b.size() < at + 4 ? 0 : (uint32_t(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

// A 16 x 8 24-bit bitmap with a gradient.
std::string InputImage() {
    BmpOptions o;
    o.width = 16, o.height = 8;
    Bytes pixels(16 * 8 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 5);
    return WriteFile("in.bmp", MakeBmp(o, pixels));
}

TEST(KilnTexconv, WritesEachKindByExtension) {
    const std::string in = InputImage();

    const std::string dds = PathOf("out.dds");
    ToolResult r = RunKiln({"texconv", in, dds, "--mips", "all", "--format", "a8r8g8b8"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("wrote " + dds + " from a 16 x 8 D3DFMT_A8R8G8B8 texture, 5 levels\n", r.out);
    Bytes file = ReadFile(dds);
    EXPECT_EQ(Le32(file, 0), 0x20534444u);
    EXPECT_EQ(Le32(file, 28), 5u);
    EXPECT_EQ(file.size(), 128u + 4 * (128 + 32 + 8 + 2 + 1));

    const std::string bmp = PathOf("out.bmp");
    r = RunKiln({"texconv", in, bmp, "--size", "8x4", "--filter", "box", "--format", "D3DFMT_R5G6B5"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    file = ReadFile(bmp);
    EXPECT_EQ(Le32(file, 14), 52u);  // mask header of R5G6B5
    EXPECT_EQ(Le32(file, 18), 8u);
    EXPECT_EQ(Le32(file, 22), 4u);

    const std::string dib = PathOf("out.dib");
    ASSERT_EQ(0, RunKiln({"texconv", in, dib}).exitCode);
    EXPECT_EQ(Le32(ReadFile(dib), 0), 40u);  // no file header

    const std::string jpg = PathOf("out.JPG");
    ASSERT_EQ(0, RunKiln({"texconv", in, jpg}).exitCode);
    file = ReadFile(jpg);
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);

    // PNG is written by the tool itself: an IHDR of the loaded size.
    const std::string png = PathOf("out.png");
    ASSERT_EQ(0, RunKiln({"texconv", dds, png}).exitCode);
    file = ReadFile(png);
    EXPECT_EQ(Be32(file, 12), 0x49484452u);  // "IHDR"
    EXPECT_EQ(Be32(file, 16), 16u);
    EXPECT_EQ(Be32(file, 20), 8u);
}

TEST(KilnTexconv, CubeDdsKeepsItsFacesAndLevels) {
    DdsOptions cube;
    cube.width = cube.height = 2, cube.mips = 2, cube.flags |= 0x20000, cube.caps2 = 0xFE00;
    const std::string in = WriteFile("cube.dds", MakeDds(cube, Bytes(6 * 20, 0x40)));
    const std::string out = PathOf("cube_out.dds");
    ToolResult r = RunKiln({"texconv", in, out, "--cube"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(r.out.find("2 levels, cube"), std::string::npos) << r.out;
    const Bytes file = ReadFile(out);
    EXPECT_EQ(Le32(file, 112), 0xFE00u);
    EXPECT_EQ(file.size(), 128u + 6 * 20);
    // Only the first face of the cube as PNG.
    EXPECT_EQ(0, RunKiln({"texconv", in, PathOf("cube_face.png")}).exitCode);
}

TEST(KilnTexconv, FailuresExplainAndLeaveNoFile) {
    const std::string in = InputImage();
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"texconv", in, PathOf("x.tga")}, 2, "OUT must end in .bmp, .dib, .jpg, .dds or .png"},
        {{"texconv", PathOf("missing.png"), PathOf("x.bmp")}, 1, "cannot be opened"},
        {{"texconv", in, PathOf("x.bmp"), "--format", "rgb9"}, 2, "unknown pixel format 'rgb9'"},
        {{"texconv", in, PathOf("x.bmp"), "--size", "0x4"}, 2, "--size takes WxH"},
        {{"texconv", in, PathOf("x.bmp"), "--mips", "-1"}, 2, "--mips takes a level count"},
        {{"texconv", in, PathOf("x.bmp"), "--filter", "cubic"}, 2, "--filter takes none"},
        {{"texconv", in, PathOf("x.bmp"), "--cube"}, 1, "--cube needs an image with six faces"},
        {{"texconv", in, PathOf("x.jpg"), "--volume"}, 1, "a volume texture can be written only as .dds"},
        {{"texconv", in, PathOf("x.jpg"), "--format", "v8u8"}, 1, "cannot hold the texture's pixel format"},
        {{"texconv", in, "/nonexistent-directory/x.bmp"}, 1, "cannot be created or written"},
        {{"texconv", in}, 2, "give one input file and one output file"},
    };
    for (const auto& c : cases) {
        const std::string out = c.args.size() > 2 ? c.args[2] : "";
        std::remove(PathOf("x.bmp").c_str());
        std::remove(PathOf("x.jpg").c_str());
        const ToolResult r = RunKiln(c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(ReadFile(PathOf("x.bmp")).empty() && ReadFile(PathOf("x.jpg")).empty()) << c.message;
        EXPECT_TRUE(ReadFile(out + ".kiln-part").empty()) << c.message;
    }
    // A failed conversion keeps an existing output as it was.
    const std::string kept = WriteFile("kept.jpg", FromString("previous"));
    EXPECT_EQ(1, RunKiln({"texconv", in, kept, "--format", "v8u8"}).exitCode);
    EXPECT_EQ(ReadFile(kept), FromString("previous"));
}

TEST(KilnTexconv, HelpListsTheOptions) {
    const ToolResult r = RunKiln({"texconv", "--help"});
    EXPECT_EQ(0, r.exitCode);
    for (const char* option : {"--format", "--mips", "--filter", "--size", "--cube", "--volume", ".png"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

}  // namespace
