// kiln texinfo: the report of what the loader sees, and the PNG of level 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/texture/test_image_files.h"
#include "tool_runner.h"

using namespace testimg;

namespace {

std::string WriteFile(const std::string& name, const Bytes& bytes) {
    const std::string path = std::string(KILN_BINARY_DIR) + "/kiln_texinfo_" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(KilnTexinfo, DescribesFilesOfEachKind) {
    BmpOptions bmp;
    bmp.width = 3, bmp.height = 2;
    const std::string bmpPath = WriteFile("a.bmp", MakeBmp(bmp, Bytes(24, 7)));
    ToolResult r = RunKiln({"texinfo", bmpPath});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("file:    " + bmpPath +
                  "\ndecoder: BMP\nsize:    3 x 2\nformat:  D3DFMT_R8G8B8\nlevels:  1\nkind:    texture\n",
              r.out);

    DdsOptions cube;
    cube.width = cube.height = 2, cube.mips = 2, cube.caps2 = 0xFE00;
    r = RunKiln({"texinfo", WriteFile("cube.dds", MakeDds(cube, Bytes(6 * 20, 0)))});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(r.out.find("decoder: DDS\n"), std::string::npos);
    EXPECT_NE(r.out.find("levels:  2\nkind:    cube texture, 6 faces\n"), std::string::npos) << r.out;

    DdsOptions volume;
    volume.width = volume.height = 1, volume.depth = 3, volume.flags |= 0x800000;
    r = RunKiln({"texinfo", WriteFile("volume.dds", MakeDds(volume, Bytes(12, 0)))});
    EXPECT_NE(r.out.find("kind:    volume texture, depth 3\n"), std::string::npos) << r.out;
}

TEST(KilnTexinfo, WritesLevelZeroAsPng) {
    // P3 with maximum 15: 15 scales to 255.
    const std::string ppm = WriteFile("b.ppm", FromString("P3 2 1 15\n15 0 0 0 15 0\n"));
    const std::string png = std::string(KILN_BINARY_DIR) + "/kiln_texinfo_b.png";
    std::remove(png.c_str());
    ToolResult r = RunKiln({"texinfo", ppm, "--png", png});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(r.out.find("decoder: PPM\nsize:    2 x 1\nformat:  D3DFMT_X8R8G8B8\n"), std::string::npos) << r.out;
    const Bytes written = ReadFile(png);
    ASSERT_GT(written.size(), 8u);
    EXPECT_EQ(0, memcmp(written.data(), "\x89PNG\r\n\x1a\n", 8));

    // The PNG reads back as an A8R8G8B8 image of the same size, and writing it
    // again gives the same file.
    ToolResult back = RunKiln({"texinfo", png, "--png", png + "2.png"});
    ASSERT_EQ(0, back.exitCode) << back.err;
    EXPECT_NE(back.out.find("decoder: PNG\nsize:    2 x 1\nformat:  D3DFMT_A8R8G8B8\n"), std::string::npos);
    EXPECT_EQ(ReadFile(png + "2.png"), written);
}

TEST(KilnTexinfo, WritesBlockCompressedLevelZeroAsPng) {
    // One DXT1 block: c0 = pure red > c1 = black, texel 0 index 0, texel 1 index 1.
    DdsOptions o;
    o.width = 2, o.height = 1, o.pfFlags = 0x4, o.fourCC = 0x31545844;  // "DXT1"
    const std::string dds = WriteFile("red.dds", MakeDds(o, Bytes{0x00, 0xF8, 0x00, 0x00, 0x04, 0, 0, 0}));
    const std::string png = dds + ".png";
    std::remove(png.c_str());
    ToolResult r = RunKiln({"texinfo", dds, "--png", png});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(r.out.find("size:    2 x 1\nformat:  D3DFMT_DXT1\n"), std::string::npos) << r.out;
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str()));
    image.format = PNG_FORMAT_RGBA;
    ASSERT_EQ(image.width, 2u);
    ASSERT_EQ(image.height, 1u);
    Bytes rgba(8);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    EXPECT_EQ(rgba, (Bytes{255, 0, 0, 255, 0, 0, 0, 255}));
}

TEST(KilnTexinfo, FailuresAndUsage) {
    ToolResult missing = RunKiln({"texinfo", "/nonexistent/image.png"});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_EQ("kiln texinfo: /nonexistent/image.png: No such file or directory\n", missing.err);
    const std::string noise = WriteFile("noise.bin", Bytes(40, 0xEE));
    EXPECT_EQ(1, RunKiln({"texinfo", noise}).exitCode);
    // A DXT1 file whose one 4x4 block is cut short.
    const std::string blocks = WriteFile("dxt1.dds", [] {
        DdsOptions o;
        o.pfFlags = 0x4, o.fourCC = 0x31545844;  // "DXT1"
        return MakeDds(o, Bytes(7, 0));
    }());
    ToolResult dxt = RunKiln({"texinfo", blocks, "--png", blocks + ".png"});
    EXPECT_EQ(1, dxt.exitCode);
    EXPECT_NE(dxt.err.find("(0x88760B59)"), std::string::npos) << dxt.err;
    EXPECT_EQ(2, RunKiln({"texinfo"}).exitCode);
    EXPECT_EQ(2, RunKiln({"texinfo", "a", "--png"}).exitCode);
    EXPECT_EQ(2, RunKiln({"texinfo", "--bogus", "a"}).exitCode);
    ToolResult help = RunKiln({"texinfo", "--help"});
    EXPECT_EQ(0, help.exitCode);
    EXPECT_NE(help.out.find("usage: kiln texinfo FILE [--header] [--png OUT.png]"), std::string::npos);
}

// Files the loader cannot load fail with their cause, even when the header
// reads; --header keeps the header-only answer.
TEST(KilnTexinfo, BrokenFilesFailWithTheirCause) {
    PngOptions rgb;
    const Bytes png = MakePng(4, 4, rgb, Bytes(4 * 4 * 3, 90));
    const Bytes tga = MakeTga(2, 4, 4, 24, 0, Bytes(48, 5));
    Bytes jpeg = MakeJpeg(32, 32, 3, Bytes(32 * 32 * 3, 128));
    auto patched = [](Bytes b, size_t at, std::initializer_list<uint8_t> with) {
        std::copy(with.begin(), with.end(), b.begin() + std::ptrdiff_t(at));
        return b;
    };
    auto cut = [](const Bytes& b, size_t size) { return Bytes(b.begin(), b.begin() + std::ptrdiff_t(size)); };
    // The entropy-coded data of the JPEG, overwritten with a marker that is none.
    const uint8_t startOfScan[] = {0xFF, 0xDA};
    const size_t scan = size_t(std::search(jpeg.begin(), jpeg.end(), std::begin(startOfScan), std::end(startOfScan)) -
                               jpeg.begin());
    const struct {
        const char* name;
        Bytes bytes;
        const char* cause;
        bool headerReads;
    } cases[] = {
        {"trunc.tga", cut(tga, 18 + 20), "a TGA file whose pixel data is truncated or malformed", true},
        {"header.tga", cut(tga, 18), "a TGA file whose pixel data is truncated or malformed", true},
        {"trunc.png", cut(png, png.size() - 20), "a PNG file the loader cannot read: ", true},
        // IDAT's length field (after the 8-byte signature and the 25-byte IHDR chunk).
        {"length.png", patched(png, 33, {0x7F, 0xFF, 0, 0}), "a PNG file the loader cannot read: ", true},
        {"crc.png", patched(png, 29, {0, 0, 0, 0}), "a PNG file the loader cannot read: IHDR: CRC error", false},
        {"trunc.jpg", cut(jpeg, scan + (jpeg.size() - scan) / 2), "a JPEG file the loader cannot read: ", true},
        {"scrambled.jpg", patched(jpeg, scan + 20, {0xFF, 0x01, 0xFF, 0x02}),
         "a JPEG file the loader cannot read: ", true},
        {"empty.png", Bytes(), "the file is empty", false},
        {"noise.bin", Bytes(40, 0xEE), "not an image the loader reads", false},
    };
    for (const auto& c : cases) {
        const std::string path = WriteFile(c.name, c.bytes);
        ToolResult r = RunKiln({"texinfo", path});
        EXPECT_EQ(1, r.exitCode) << c.name << "\n" << r.out;
        EXPECT_EQ("", r.out) << c.name;
        EXPECT_EQ(0u, r.err.find("kiln texinfo: " + path + ": " + c.cause)) << c.name << "\n" << r.err;
        ToolResult header = RunKiln({"texinfo", "--header", path});
        EXPECT_EQ(c.headerReads ? 0 : 1, header.exitCode) << c.name << "\n" << header.err;
    }
}

// A texture wider than the device's limit is reduced, and the tool says so.
TEST(KilnTexinfo, OverLimitImagesAreReportedAsReduced) {
    PngOptions grey;
    grey.colorType = PNG_COLOR_TYPE_GRAY;
    const std::string wide = WriteFile("wide.png", MakePng(8193, 2, grey, Bytes(8193 * 2, 200)));
    const std::string out = std::string(KILN_BINARY_DIR) + "/kiln_texinfo_wide_out.png";
    ToolResult r = RunKiln({"texinfo", wide, "--png", out});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(r.out.find("size:    8193 x 2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("note:    larger than the device's 8192 x 8192 limit"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(level 0 as A8R8G8B8, reduced to 8192 x 2)"), std::string::npos) << r.out;
}

}  // namespace
