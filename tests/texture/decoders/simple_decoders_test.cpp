// TGA, DDS and PPM decoding on hand-made files, including truncated and lying ones.
#include <gtest/gtest.h>

#include "tests/texture/test_image_files.h"
#include "texture/decoders/source_image.h"

using namespace testimg;

namespace {

HRESULT Decode(SourceImage& img, const Bytes& file) { return ReadImageFile(&img, file.data(), file.size(), nullptr, true); }

TEST(TgaDecoder, TopLeftTrueColourIsUsedInPlaceAndZeroAlphaMeansOpaque) {
    const Bytes body = {1, 2, 3, 0, 4, 5, 6, 0};
    const Bytes file = MakeTga(2, 2, 1, 32, 0x20, body);
    SourceImage img;
    ASSERT_EQ(Decode(img, file), S_OK);
    EXPECT_EQ(img.fileKind, ImageFileTga);
    EXPECT_EQ(img.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(img.pixels, file.data() + 18);

    SourceImage alpha;
    ASSERT_EQ(Decode(alpha, MakeTga(2, 2, 1, 32, 0x20, {1, 2, 3, 0, 4, 5, 6, 7})), S_OK);
    EXPECT_EQ(alpha.format, D3DFMT_A8R8G8B8);
}

TEST(TgaDecoder, RunLengthBottomUpAndRightToLeft) {
    // 3x2 grey, bottom-up, right-to-left: a run of 4 x 7 then literals 1, 2.
    const Bytes body = {0x83, 7, 0x01, 1, 2};
    SourceImage img;
    ASSERT_EQ(Decode(img, MakeTga(11, 3, 2, 8, 0x10, body)), S_OK);
    ASSERT_EQ(img.format, D3DFMT_L8);
    // File row 0 (bottom row, filled from the right): 7 7 7; file row 1: 7 1 2 from the right.
    const uint8_t expected[6] = {2, 1, 7, 7, 7, 7};
    EXPECT_EQ(0, memcmp(img.pixels, expected, 6));

    SourceImage cut;
    EXPECT_EQ(Decode(cut, MakeTga(11, 3, 2, 8, 0x10, {0x83, 7, 0x01, 1})), ERR_INVALID_DATA);
}

TEST(TgaDecoder, ColourMapsOfFifteenAndSixteenBits) {
    // Two 16-bit entries: 0x7C00 (red, top bit clear) and 0x801F (blue, top bit set).
    const Bytes map16 = {0x00, 0x7C, 0x1F, 0x80};
    Bytes body = map16;
    body.push_back(1);
    SourceImage img;
    ASSERT_EQ(Decode(img, MakeTga(1, 1, 1, 8, 0x21, body, 1, 0, 2, 16)), S_OK);  // one attribute bit
    ASSERT_EQ(img.format, D3DFMT_P8);
    const uint8_t e0[4] = {255, 0, 0, 0}, e1[4] = {0, 0, 255, 255};
    EXPECT_EQ(0, memcmp(img.palette, e0, 4));
    EXPECT_EQ(0, memcmp(img.palette + 4, e1, 4));
    // Without attribute bits the top bit is not alpha.
    SourceImage opaque;
    ASSERT_EQ(Decode(opaque, MakeTga(1, 1, 1, 8, 0x20, body, 1, 0, 2, 16)), S_OK);
    EXPECT_EQ(opaque.palette[3], 255);

    // A map that claims entries past 256 is refused.
    SourceImage bad;
    EXPECT_EQ(Decode(bad, MakeTga(1, 1, 1, 8, 0x21, body, 1, 255, 2, 16)), ERR_INVALID_DATA);
}

TEST(DdsDecoder, CubeMapsNeedSixSquareFaces) {
    DdsOptions o;
    o.width = o.height = 1;
    o.caps2 = 0x200 | 0xFC00;
    SourceImage cube;
    ASSERT_EQ(Decode(cube, MakeDds(o, Bytes(6 * 4, 0x11))), S_OK);
    EXPECT_EQ(cube.resourceType, D3DRTYPE_CUBETEXTURE);
    int faces = 0;
    for (SourceImage* f = &cube; f; f = f->nextFace) ++faces;
    EXPECT_EQ(faces, 6);

    o.caps2 = 0x200 | 0x7C00;  // five faces
    SourceImage partial;
    EXPECT_EQ(Decode(partial, MakeDds(o, Bytes(5 * 4, 0))), ERR_INVALID_DATA);

    o.caps2 = 0x200 | 0xFC00;  // six faces of 16 x 8
    o.width = 16, o.height = 8;
    SourceImage oblong;
    EXPECT_EQ(Decode(oblong, MakeDds(o, Bytes(6 * 16 * 8 * 4, 0))), ERR_INVALID_DATA);
}

TEST(DdsDecoder, MipChainsVolumesAndBlockSizes) {
    DdsOptions o;
    o.width = 4, o.height = 2, o.mips = 3;
    SourceImage chain;
    ASSERT_EQ(Decode(chain, MakeDds(o, Bytes(4 * (8 + 2 + 1), 0))), S_OK);
    ASSERT_NE(chain.nextLevel, nullptr);
    EXPECT_EQ(chain.nextLevel->width, 2u);
    EXPECT_EQ(chain.nextLevel->height, 1u);
    EXPECT_EQ(chain.nextLevel->nextLevel->width, 1u);
    EXPECT_EQ(chain.nextLevel->nextLevel->pixels, chain.pixels + 40);

    o.mips = 1, o.depth = 3, o.flags |= 0x800000;
    SourceImage volume;
    ASSERT_EQ(Decode(volume, MakeDds(o, Bytes(4 * 8 * 3, 0))), S_OK);
    EXPECT_EQ(volume.resourceType, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(volume.depth, 3u);
    EXPECT_EQ(volume.slicePitch, 32u);

    DdsOptions dxt;
    dxt.width = 5, dxt.height = 5, dxt.pfFlags = 0x4, dxt.fourCC = D3DFMT_DXT1;
    SourceImage blocks;
    ASSERT_EQ(Decode(blocks, MakeDds(dxt, Bytes(8 * 4, 0))), S_OK);
    EXPECT_EQ(blocks.format, D3DFMT_DXT1);
    EXPECT_EQ(blocks.rowPitch, 16u);
}

TEST(DdsDecoder, ShortOrMalformedFilesFail) {
    DdsOptions o;
    o.width = 4, o.height = 4, o.mips = 3;
    const Bytes full = MakeDds(o, Bytes(4 * (16 + 4 + 1), 0));
    SourceImage ok;
    ASSERT_EQ(Decode(ok, full), S_OK);
    for (size_t cut : {size_t{4}, size_t{127}, size_t{128}, size_t{128 + 63}, full.size() - 1}) {
        SourceImage img;
        EXPECT_EQ(Decode(img, Bytes(full.begin(), full.begin() + cut)), ERR_INVALID_DATA) << cut;
    }
    DdsOptions huge = o;
    huge.width = huge.height = 0x40000000;
    SourceImage big;
    EXPECT_EQ(Decode(big, MakeDds(huge, Bytes(64, 0))), ERR_INVALID_DATA);
    DdsOptions badSize = o;
    badSize.pfSize = 24;
    SourceImage pf;
    EXPECT_EQ(Decode(pf, MakeDds(badSize, Bytes(84, 0))), ERR_INVALID_DATA);
    DdsOptions unknown = o;
    unknown.pfFlags = 0x4, unknown.fourCC = 0x31544244;  // "DBT1"
    SourceImage code;
    EXPECT_EQ(Decode(code, MakeDds(unknown, Bytes(84, 0))), ERR_INVALID_DATA);
}

TEST(PpmDecoder, TextAndBinarySamples) {
    SourceImage text;
    ASSERT_EQ(Decode(text, FromString("P3\n# comment\n2 1 15\n15 0 0  0 7 15\n")), S_OK);
    EXPECT_EQ(text.fileKind, ImageFilePpm);
    EXPECT_EQ(text.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(ReadLe32(text.pixels), 0xFFFF0000u);
    EXPECT_EQ(ReadLe32(text.pixels + 4), 0xFF0077FFu);  // 7 * 255 / 15 = 119

    Bytes binary = FromString("P6 1 2 255\r\n");
    Append(binary, {10, 20, 30, 40, 50, 60});
    SourceImage bin;
    ASSERT_EQ(Decode(bin, binary), S_OK);
    EXPECT_EQ(ReadLe32(bin.pixels + 4), 0xFF28323Cu);
}

TEST(PpmDecoder, BadHeadersAndShortDataFail) {
    const char* bad[] = {
        "P6 1 1 65535\n\x01\x02\x03\x04\x05\x06",  // 16-bit binary samples
        "P3 0 1 255\n",                          // zero height... and width
        "P3 1 0 255\n",
        "P3 1 1 0\n0 0 0",                       // zero maximum
        "P3 2 1 255\n1 2 3",                     // too few samples
        "P3 1 1 255\n1 2 x",                     // not a number
        "P3 99999999999 1 255\n",                // beyond 32 bits
        "P3 60000 60000 255\n1 2 3",             // more pixels than the bytes can hold
    };
    for (const char* text : bad) {
        SourceImage img;
        EXPECT_EQ(Decode(img, FromString(text)), ERR_INVALID_DATA) << text;
    }
}

TEST(Dispatcher, RandomBytesAndArgumentsAndInfo) {
    Bytes noise(300);
    uint32_t seed = 12345;
    for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 24);
    noise[1] = 7;  // no colour-map type of the TGA header is above 1
    SourceImage img;
    EXPECT_EQ(Decode(img, noise), ERR_INVALID_DATA);
    EXPECT_EQ(ReadImageFile(&img, nullptr, 4, nullptr, true), D3DERR_INVALIDCALL);
    EXPECT_EQ(ReadImageFile(&img, noise.data(), 0, nullptr, true), D3DERR_INVALIDCALL);
    EXPECT_EQ(ReadImageFile(&img, noise.data(), noise.size(), nullptr, false), S_OK);

    DdsOptions o;
    o.width = 8, o.height = 4, o.mips = 2;
    const Bytes dds = MakeDds(o, Bytes(4 * (32 + 8), 0));
    ImageFileInfo info;
    memset(&info, 0xCD, sizeof(info));
    SourceImage head;
    ASSERT_EQ(ReadImageFile(&head, dds.data(), dds.size(), &info, false), S_OK);
    EXPECT_EQ(info.Width, 8u);
    EXPECT_EQ(info.Height, 4u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 2u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.ImageFileFormat, ImageFileDds);
    EXPECT_EQ(head.box.right, 8u);
    EXPECT_EQ(head.nextLevel->box.bottom, 2u);
}

}  // namespace
