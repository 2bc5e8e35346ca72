// Image sizes: a side may be longer than 16 bits as long as the decoded image
// stays under the byte ceiling; headers that claim more are refused before
// any allocation, without the size arithmetic wrapping.
#include <gtest/gtest.h>

#include "tests/texture/test_image_files.h"
#include "texture/decoders/source_image.h"

using namespace testimg;

namespace {

HRESULT Decode(SourceImage& img, const Bytes& file) { return ReadImageFile(&img, file.data(), file.size(), nullptr, true); }

constexpr uint32_t kWide = 70000;

TEST(ImageSizeLimits, LongSidesLoad) {
    Bytes rgb(size_t{kWide} * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i % 251);
    DdsOptions dds;
    dds.width = kWide, dds.height = 1;
    BmpOptions bmp;
    bmp.width = 1, bmp.height = int32_t(kWide);
    Bytes column;
    for (uint32_t y = 0; y < kWide; ++y) Append(column, {1, 2, 3, 0});  // 3 bytes padded to 4 per row
    const std::string ppmHeader = "P6 " + std::to_string(kWide) + " 1 255\n";
    Bytes ppm = FromString(ppmHeader);
    Append(ppm, rgb);
    const struct {
        const char* what;
        Bytes file;
        uint32_t width, height;
    } cases[] = {
        {"png", MakePng(kWide, 1, PngOptions{}, rgb), kWide, 1},
        {"dds", MakeDds(dds, Bytes(size_t{kWide} * 4, 0x7F)), kWide, 1},
        {"bmp", MakeBmp(bmp, column), 1, kWide},
        {"ppm", ppm, kWide, 1},
    };
    for (const auto& c : cases) {
        SourceImage img;
        ASSERT_EQ(Decode(img, c.file), S_OK) << c.what;
        EXPECT_EQ(img.width, c.width) << c.what;
        EXPECT_EQ(img.height, c.height) << c.what;
    }
}

TEST(ImageSizeLimits, ClaimsBeyondTheDataOrTheCeilingAreRefused) {
    auto bmpOf = [](int32_t w, int32_t h, uint16_t bits, uint32_t compression) {
        BmpOptions o;
        o.width = w, o.height = h, o.bitCount = bits, o.compression = compression;
        if (bits <= 8) o.palette.resize(size_t{1} << bits);
        return MakeBmp(o, Bytes(64, 0));
    };
    auto ddsOf = [](uint32_t w, uint32_t h, uint32_t fourCC) {
        DdsOptions o;
        o.width = w, o.height = h;
        if (fourCC) o.pfFlags = 0x4, o.fourCC = fourCC;
        return MakeDds(o, Bytes(64, 0));
    };
    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        // Rows of several gigabytes: the row test must not wrap.
        {"bmp widest 32-bit", bmpOf(0x7FFFFFFF, 0x7FFFFFFF, 32, 0)},
        {"bmp widest 1-bit", bmpOf(0x7FFFFFFF, 1, 1, 0)},
        {"bmp tallest", bmpOf(1, 0x7FFFFFFF, 24, 0)},
        // Run-length data is not bounded by the file: the ceiling refuses it.
        {"bmp run-length over the ceiling", bmpOf(0x10000, 0x10000, 8, 1)},
        {"dds widest", ddsOf(0xFFFFFFFF, 1, 0)},
        {"dds blocks", ddsOf(0xFFFFFFFF, 0xFFFFFFFF, 0x31545844)},  // "DXT1"
        {"dds beyond its data", ddsOf(kWide, 2, 0)},
        {"ppm beyond its data", FromString("P6 100000 100000 255\n")},
    };
    for (const auto& c : cases) {
        SourceImage img;
        EXPECT_EQ(Decode(img, c.file), ERR_INVALID_DATA) << c.what;
    }
}

}  // namespace
