// DXT surfaces through the loader: DDS files of the five block formats into
// block textures (copied block for block) and into plain ones, cube maps and
// volumes, sizes that are not multiples of 4, broken files, images encoded
// into block formats, and the block-row cache's partial writes, padding and
// colour key.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/texture/test_image_files.h"
#include "tests/texture/texture_test_device.h"
#include "texture/pixels/dxt_blocks.h"
#include "texture/pixels/image_resampler.h"

using namespace testimg;
using textest::DeviceTest;
using textest::ReadLevel32;

namespace {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

struct DxtFormat {
    D3DFORMAT format;
    uint32_t blockBytes;
    BlockDecoder decode;
};
const DxtFormat kFormats[] = {{D3DFMT_DXT1, 8, DecodeBlockDxt1},
                              {D3DFMT_DXT2, 16, DecodeBlockDxt2},
                              {D3DFMT_DXT3, 16, DecodeBlockDxt3},
                              {D3DFMT_DXT4, 16, DecodeBlockDxt4},
                              {D3DFMT_DXT5, 16, DecodeBlockDxt5}};

Bytes DxtDds(D3DFORMAT format, uint32_t width, uint32_t height, uint32_t mips, const Bytes& body) {
    DdsOptions o;
    o.width = width, o.height = height, o.mips = mips;
    o.pfFlags = 0x4, o.fourCC = static_cast<uint32_t>(format), o.bits = 0;
    for (uint32_t& m : o.masks) m = 0;
    return MakeDds(o, body);
}

// Deterministic varied block bytes.
Bytes Noise(size_t n, uint32_t seed) {
    Bytes b(n);
    for (uint8_t& v : b) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(seed >> 24);
    }
    return b;
}

// Texel (x, y) of a block surface of the given width, decoded with the block decoder.
KLCOLOR TexelOf(const DxtFormat& f, const BYTE* blocks, uint32_t width, uint32_t x, uint32_t y) {
    const uint32_t perRow = (width + 3) / 4;
    KLCOLOR texels[16];
    f.decode(texels, blocks + (size_t{y / 4} * perRow + x / 4) * f.blockBytes);
    return texels[(y & 3) * 4 + (x & 3)];
}

uint32_t ToArgb(const KLCOLOR& c) {
    auto q = [](float v) { return static_cast<uint32_t>(v * 255.0f + 0.5f); };
    return q(c.a) << 24 | q(c.r) << 16 | q(c.g) << 8 | q(c.b);
}

// Channels of two ARGB words differ by at most one step.
bool Near(uint32_t a, uint32_t b) {
    for (int s = 0; s < 32; s += 8)
        if (std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)) > 1) return false;
    return true;
}

// A float memory image for the resampler.
struct FloatImage {
    uint32_t width, height;
    std::vector<KLCOLOR> texels;
    FloatImage(uint32_t w, uint32_t h) : width(w), height(h), texels(size_t{w} * h) {}
    ImageView View() {
        ImageView v;
        v.pixels = reinterpret_cast<BYTE*>(texels.data());
        v.format = D3DFMT_A32B32G32R32F;
        v.rowPitch = width * 16;
        v.slicePitch = width * height * 16;
        v.extent = v.region = ImageBox{0, 0, width, height, 0, 1};
        return v;
    }
};

ImageView BlockView(D3DFORMAT format, Bytes& blocks, uint32_t width, uint32_t height, uint32_t blockBytes) {
    ImageView v;
    v.pixels = blocks.data();
    v.format = format;
    v.rowPitch = (width + 3) / 4 * blockBytes;
    v.slicePitch = v.rowPitch * ((height + 3) / 4);
    v.extent = v.region = ImageBox{0, 0, width, height, 0, 1};
    return v;
}

using DxtLoading = DeviceTest;

TEST_F(DxtLoading, DdsLevelsLoadBlockForBlockIntoBlockTextures) {
    for (const DxtFormat& f : kFormats) {
        // 8x8 with its full chain: 4 blocks, then 1 block each for 4x4, 2x2 and 1x1.
        const Bytes body = Noise(7 * f.blockBytes, static_cast<uint32_t>(f.format));
        const Bytes file = DxtDds(f.format, 8, 8, 4, body);
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), kKeepSourceSize,
                                       kKeepSourceSize, kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TexFilterNone,
                                       kUseDefault, 0, nullptr, nullptr, &tex),
                  S_OK);
        ASSERT_EQ(tex->GetLevelCount(), 4u);
        size_t offset = 0;
        for (UINT level = 0; level < 4; ++level) {
            D3DSURFACE_DESC desc;
            tex->GetLevelDesc(level, &desc);
            EXPECT_EQ(desc.Format, f.format);
            D3DLOCKED_RECT locked;
            ASSERT_EQ(tex->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), S_OK);
            const UINT blocksWide = (desc.Width + 3) / 4, blocksHigh = (desc.Height + 3) / 4;
            for (UINT by = 0; by < blocksHigh; ++by) {
                EXPECT_EQ(0, std::memcmp(static_cast<const BYTE*>(locked.pBits) + by * locked.Pitch,
                                         body.data() + offset, blocksWide * f.blockBytes))
                    << "level " << level << " block row " << by;
                offset += blocksWide * f.blockBytes;
            }
            tex->UnlockRect(level);
        }
        tex->Release();
    }
}

TEST_F(DxtLoading, DdsDecodesIntoPlainTexturesAtAnySize) {
    for (const DxtFormat& f : kFormats) {
        // 5x3: two blocks across, one down; the texels past the edge are not shown.
        const Bytes body = Noise(2 * f.blockBytes, 7 + static_cast<uint32_t>(f.format));
        const Bytes file = DxtDds(f.format, 5, 3, 1, body);
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), kKeepSourceSize,
                                       kKeepSourceSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, TexFilterNone,
                                       kUseDefault, 0, nullptr, nullptr, &tex),
                  S_OK);
        UINT w = 0, h = 0;
        const std::vector<uint32_t> px = ReadLevel32(tex, 0, &w, &h);
        ASSERT_EQ(w, 5u);
        ASSERT_EQ(h, 3u);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < 5; ++x) {
                const uint32_t expected = ToArgb(TexelOf(f, body.data(), 5, x, y));
                EXPECT_TRUE(Near(px[y * 5 + x], expected))
                    << std::hex << f.format << " (" << x << ", " << y << "): " << px[y * 5 + x] << " against " << expected;
            }
        tex->Release();
    }
}

TEST_F(DxtLoading, CubeMapsAndVolumes) {
    // Cube: six faces of 4x4 with 3 levels (one block each).
    DdsOptions cube;
    cube.width = cube.height = 4, cube.mips = 3, cube.caps2 = 0xFE00;
    cube.pfFlags = 0x4, cube.fourCC = FourCC('D', 'X', 'T', '1');
    const Bytes cubeBody = Noise(6 * 3 * 8, 11);
    const Bytes cubeFile = MakeDds(cube, cubeBody);
    IDirect3DCubeTexture9* cubeTex = nullptr;
    ASSERT_EQ(CubeTextureFromFileImage(device_, cubeFile.data(), static_cast<UINT>(cubeFile.size()), &cubeTex), S_OK);
    D3DSURFACE_DESC desc;
    cubeTex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(cubeTex->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(0, std::memcmp(locked.pBits, cubeBody.data() + 3 * 3 * 8, 8));  // face 3, level 0
    cubeTex->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 0);
    cubeTex->Release();

    // Volume: 4x4x2 in DXT5, one block per slice. The device keeps no block
    // volumes, so the loader picks a plain format and decodes.
    DdsOptions volume;
    volume.width = volume.height = 4, volume.depth = 2, volume.flags |= 0x800000;
    volume.pfFlags = 0x4, volume.fourCC = FourCC('D', 'X', 'T', '5');
    const Bytes volumeBody = Noise(2 * 16, 12);
    const Bytes volumeFile = MakeDds(volume, volumeBody);
    IDirect3DVolumeTexture9* volumeTex = nullptr;
    ASSERT_EQ(VolumeTextureFromFileImage(device_, volumeFile.data(), static_cast<UINT>(volumeFile.size()), 4, 4, 2, 1,
                                         0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, TexFilterNone, kUseDefault, 0, nullptr,
                                         nullptr, &volumeTex),
              S_OK);
    D3DLOCKED_BOX box;
    ASSERT_EQ(volumeTex->LockBox(0, &box, nullptr, D3DLOCK_READONLY), S_OK);
    const DxtFormat& dxt5 = kFormats[4];
    for (uint32_t z = 0; z < 2; ++z)
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 4; ++x) {
                uint32_t got;
                std::memcpy(&got, static_cast<const BYTE*>(box.pBits) + z * box.SlicePitch + y * box.RowPitch + x * 4, 4);
                EXPECT_TRUE(Near(got, ToArgb(TexelOf(dxt5, volumeBody.data() + z * 16, 4, x, y))))
                    << x << ", " << y << ", " << z;
            }
    volumeTex->UnlockBox(0);
    volumeTex->Release();
}

TEST_F(DxtLoading, BrokenFilesFailCleanly) {
    struct Case {
        const char* what;
        uint32_t width, height, mips;
        size_t bodyBytes;
    };
    const Case cases[] = {
        {"8x8 needs four blocks", 8, 8, 1, 3 * 8},
        {"last block cut short", 5, 5, 1, 4 * 8 - 1},
        {"absurd width", 0x7FFFFFFF, 4, 1, 64},
        {"absurd height", 4, 0xFFFFFFFF, 1, 64},
        {"chain longer than the size allows, without its bytes", 4, 4, 12, 3 * 8},
        {"absurd mip count", 4, 4, 0xFFFFFFFF, 64},
    };
    for (const Case& c : cases) {
        const Bytes file = DxtDds(D3DFMT_DXT1, c.width, c.height, c.mips, Bytes(c.bodyBytes, 0x55));
        IDirect3DTexture9* tex = nullptr;
        EXPECT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), &tex), ERR_INVALID_DATA)
            << c.what;
        EXPECT_EQ(tex, nullptr) << c.what;
    }
    // Zero sizes read as 1: one block suffices.
    const Bytes tiny = DxtDds(D3DFMT_DXT1, 0, 0, 0, Bytes(8, 0));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, tiny.data(), static_cast<UINT>(tiny.size()), &tex), S_OK);
    tex->Release();
}

TEST_F(DxtLoading, ImagesEncodeIntoEveryBlockFormat) {
    // A 12x8 RGBA image: a colour ramp across; alpha 230 in the top block row
    // and 100 in the bottom one, so premultiplied colours stay on a line too.
    const uint32_t w = 12, h = 8;
    Bytes rgba;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            rgba.insert(rgba.end(), {static_cast<uint8_t>(40 + 15 * x), static_cast<uint8_t>(200 - 12 * x),
                                     static_cast<uint8_t>(90 + 5 * x), static_cast<uint8_t>(y < 4 ? 230 : 100)});
    PngOptions po;
    po.colorType = PNG_COLOR_TYPE_RGBA;
    const Bytes png = MakePng(w, h, po, rgba);
    for (const DxtFormat& f : kFormats) {
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(TextureFromFileImage(device_, png.data(), static_cast<UINT>(png.size()), kKeepSourceSize,
                                       kKeepSourceSize, 1, 0, f.format, D3DPOOL_MANAGED, TexFilterNone, kUseDefault, 0,
                                       nullptr, nullptr, &tex),
                  S_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(tex->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        double colour = 0, alpha = 0;
        uint32_t shown = 0, clear = 0;
        double expectedClear = 0;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const KLCOLOR c =
                    TexelOf(f, static_cast<const BYTE*>(locked.pBits) + (y / 4) * locked.Pitch, w, x, y % 4);
                const uint8_t* s = &rgba[(y * w + x) * 4];
                if (f.format == D3DFMT_DXT1) {
                    // One bit of alpha: transparent texels are black and carry no colour.
                    clear += c.a == 0.0f;
                    expectedClear += 1.0 - s[3] / 255.0;
                    if (c.a == 0.0f) continue;
                } else {
                    alpha += std::pow(c.a - s[3] / 255.0, 2);
                }
                ++shown;
                // The premultiplied formats hold colour times alpha: compare what they hold.
                const bool pre = f.format == D3DFMT_DXT2 || f.format == D3DFMT_DXT4;
                const double k = pre ? c.a : 1.0, ks = pre ? s[3] / 255.0 : 1.0;
                colour += std::pow(c.r * k - s[0] / 255.0 * ks, 2) + std::pow(c.g * k - s[1] / 255.0 * ks, 2) +
                          std::pow(c.b * k - s[2] / 255.0 * ks, 2);
            }
        tex->UnlockRect(0);
        tex->Release();
        EXPECT_LT(std::sqrt(colour / (3 * shown)), 0.02) << std::hex << f.format;
        EXPECT_LT(std::sqrt(alpha / (w * h)), 0.04) << std::hex << f.format;
        // Diffused rounding keeps the average alpha: the clear texels make up
        // the missing opacity.
        if (f.format == D3DFMT_DXT1) {
            EXPECT_NEAR(clear, expectedClear, 4.0) << "transparent texels";
        }
    }
}

TEST_F(DxtLoading, DefaultLoadOfABlockFileKeepsTheFormatAndBuildsTheChain) {
    // One DXT1 block of pure red and the demo's entry point: a DXT1 texture
    // with its chain made by the box filter through the block cache.
    const std::string path =
        textest::WriteTempFile("red_dxt1.dds", DxtDds(D3DFMT_DXT1, 4, 4, 1, Bytes{0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(KLCreateTextureFromFileA(device_, path.c_str(), &tex), S_OK);
    ASSERT_EQ(tex->GetLevelCount(), 3u);
    for (UINT level = 0; level < 3; ++level) {
        D3DSURFACE_DESC desc;
        tex->GetLevelDesc(level, &desc);
        EXPECT_EQ(desc.Format, D3DFMT_DXT1);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(tex->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        KLCOLOR texels[16];
        DecodeBlockDxt1(texels, static_cast<const BYTE*>(locked.pBits));
        tex->UnlockRect(level);
        EXPECT_EQ(ToArgb(texels[0]), 0xFFFF0000u) << "level " << level;
    }
    tex->Release();
}

TEST(DxtBlockCache, SmallSurfacesEncodeFromRepeatedTexels) {
    // A 2x2 surface: the block is encoded from columns 0 1 0 1 and rows 0 1 0 1.
    FloatImage src(2, 2);
    src.texels = {{0.9f, 0.1f, 0.2f, 1.0f}, {0.1f, 0.8f, 0.3f, 0.4f}, {0.2f, 0.3f, 0.9f, 0.7f}, {0.5f, 0.5f, 0.5f, 0.0f}};
    KLCOLOR padded[16];
    for (int i = 0; i < 16; ++i) padded[i] = src.texels[((i >> 2) & 1) * 2 + (i & 1)];
    for (const DxtFormat& f : kFormats) {
        Bytes expected(f.blockBytes), got(f.blockBytes, 0);
        BlockCodec codec;
        ASSERT_TRUE(FindBlockCodec(f.format, &codec));
        codec.encode(expected.data(), padded);
        ImageView d = BlockView(f.format, got, 2, 2, f.blockBytes), s = src.View();
        ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone), S_OK);
        EXPECT_EQ(got, expected) << std::hex << f.format;
    }
}

TEST(DxtBlockCache, PartialWritesKeepTheTexelsAround) {
    // 8x8 DXT1 of one exact 5:6:5 colour, then a region off the block grid
    // written with another: every texel decodes to exactly one of the two.
    const KLCOLOR outer = {10 / 31.0f, 20 / 63.0f, 30 / 31.0f, 1}, inner = {25 / 31.0f, 50 / 63.0f, 5 / 31.0f, 1};
    Bytes blocks(4 * 8);
    FloatImage fill(8, 8);
    for (KLCOLOR& c : fill.texels) c = outer;
    ImageView d = BlockView(D3DFMT_DXT1, blocks, 8, 8, 8), s = fill.View();
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone), S_OK);
    FloatImage patch(4, 6);
    for (KLCOLOR& c : patch.texels) c = inner;
    d.region = ImageBox{2, 1, 6, 7, 0, 1};
    s = patch.View();
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone), S_OK);
    const DxtFormat& dxt1 = kFormats[0];
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 1 && y < 7;
            const KLCOLOR c = TexelOf(dxt1, blocks.data(), 8, x, y);
            const KLCOLOR& want = inside ? inner : outer;
            EXPECT_TRUE(c.r == want.r && c.g == want.g && c.b == want.b) << x << ", " << y;
        }
}

TEST(DxtBlockCache, ColourKeyMatchesStoredTexels) {
    // c0 = pure red > c1 = pure blue; texels take red, blue and the two thirds.
    Bytes block = {0x00, 0xF8, 0x1F, 0x00, 0b11100100, 0b11100100, 0b11100100, 0b11100100};
    FloatImage out(4, 4);
    ImageView d = out.View(), s = BlockView(D3DFMT_DXT1, block, 4, 4, 8);
    s.colorKey = 0xFFFF0000;
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone), S_OK);
    for (uint32_t y = 0; y < 4; ++y) {
        const KLCOLOR* row = &out.texels[y * 4];
        EXPECT_EQ(row[0].a, 0.0f);  // red: keyed out
        EXPECT_EQ(row[0].r, 0.0f);
        EXPECT_EQ(row[1].b, 1.0f);  // blue stays
        EXPECT_EQ(row[2].a, 1.0f);  // the interpolated colours are not the key
        EXPECT_EQ(row[3].a, 1.0f);
    }
}

}  // namespace
