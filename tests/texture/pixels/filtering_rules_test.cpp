// Filtering rules that a plausible implementation easily gets subtly wrong:
// the orientation of the ordered dither, palette-to-palette copies, the box
// filter at ratios other than 2:1, and mip chains (sRGB space, a non-power-
// of-two chain made from level 0) checked level by level.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/texture/texture_test_device.h"
#include "texture/pixels/image_resampler.h"
#include "texture/pixels/surface_loader.h"

using textest::DeviceTest;
using textest::ReadLevel32;

namespace {

ImageView View(void* pixels, D3DFORMAT format, uint32_t bytesPerPixel, uint32_t w, uint32_t h) {
    ImageView v;
    v.pixels = static_cast<BYTE*>(pixels);
    v.format = format;
    v.rowPitch = w * bytesPerPixel;
    v.extent = v.region = ImageBox{0, 0, w, h, 0, 1};
    return v;
}

TEST(FilteringRules, OrderedDitherRowsFollowYAndColumnsFollowX) {
    // 100.1875 / 255 in every channel: the ordered value (B + 0.5) / 16 adds
    // one exactly where B >= 13, that is at (x, y) = (0, 0), (2, 0) and (2, 2)
    // of each 4x4 tile. The transposed matrix would put the third at (0, 2).
    const float value = 100.1875f / 255.0f;
    std::vector<float> src(8 * 8 * 4, value);
    std::vector<uint32_t> dst(8 * 8);
    ImageView s = View(src.data(), D3DFMT_A32B32G32R32F, 16, 8, 8), d = View(dst.data(), D3DFMT_X8R8G8B8, 4, 8, 8);
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone | TexFilterDither), S_OK);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) {
            const bool up = (x % 4 == 0 && y % 4 == 0) || (x % 4 == 2 && (y % 4 == 0 || y % 4 == 2));
            EXPECT_EQ((dst[y * 8 + x] >> 16) & 0xFF, up ? 101u : 100u) << x << "," << y;
        }
    // Without dithering every pixel rounds the same way.
    d = View(dst.data(), D3DFMT_X8R8G8B8, 4, 8, 8);
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone), S_OK);
    for (uint32_t p : dst) EXPECT_EQ((p >> 16) & 0xFF, 100u);
}

TEST(FilteringRules, PaletteToPaletteCopies) {
    // Source palette: entry i is red i. Destination palette: red 255 - i.
    // The copy looks every colour up in the destination's palette.
    std::vector<uint8_t> from(1024), to(1024);
    for (int i = 0; i < 256; ++i) {
        from[i * 4] = uint8_t(i), from[i * 4 + 3] = 255;
        to[i * 4] = uint8_t(255 - i), to[i * 4 + 3] = 255;
    }
    std::vector<uint8_t> src = {0, 10, 200, 255}, dst(4, 0x55);
    ImageView s = View(src.data(), D3DFMT_P8, 1, 4, 1), d = View(dst.data(), D3DFMT_P8, 1, 4, 1);
    s.palette = from.data(), d.palette = to.data();
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone), S_OK);
    EXPECT_EQ(dst, (std::vector<uint8_t>{255, 245, 55, 0}));

    // With the same palette the indices are copied as they are, even where
    // the palette holds one colour twice (a lookup would pick the first).
    std::vector<uint8_t> twice = from;
    std::memcpy(&twice[7 * 4], &twice[3 * 4], 4);
    src = {7, 3, 7, 1};
    s = View(src.data(), D3DFMT_P8, 1, 4, 1), d = View(dst.data(), D3DFMT_P8, 1, 4, 1);
    s.palette = twice.data(), d.palette = twice.data();
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone), S_OK);
    EXPECT_EQ(dst, src);
}

TEST(FilteringRules, BoxAtOtherRatiosIsTheTentFilter) {
    // 6x5 to 4x3 is no halving: Box takes the tent path, the same as Triangle.
    std::vector<uint32_t> src(6 * 5);
    for (uint32_t i = 0; i < src.size(); ++i) src[i] = 0xFF000000u | ((i * 41) % 256) << 16 | ((i * i * 7) % 256) << 8;
    std::vector<uint32_t> box(4 * 3), tent(4 * 3), point(4 * 3);
    for (auto [out, filter] : {std::pair{&box, DWORD(TexFilterBox)}, std::pair{&tent, DWORD(TexFilterTriangle)},
                               std::pair{&point, DWORD(TexFilterPoint)}}) {
        ImageView s = View(src.data(), D3DFMT_A8R8G8B8, 4, 6, 5), d = View(out->data(), D3DFMT_A8R8G8B8, 4, 4, 3);
        ASSERT_EQ(ImageResampler().Run(d, s, filter), S_OK) << filter;
    }
    EXPECT_EQ(box, tent);
    EXPECT_NE(box, point);  // the image is not constant enough to hide a wrong path
}

using MipRules = DeviceTest;

IDirect3DTexture9* FilledTexture(IDirect3DDevice9* device, UINT w, UINT h, uint32_t (*pixel)(UINT, UINT)) {
    IDirect3DTexture9* t = nullptr;
    if (FAILED(device->CreateTexture(w, h, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr))) return nullptr;
    D3DLOCKED_RECT locked;
    t->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] = pixel(x, y);
    t->UnlockRect(0);
    return t;
}

TEST_F(MipRules, NonPowerOfTwoChainIsMadeFromLevelZeroLevelByLevel) {
    auto pattern = [](UINT x, UINT y) -> uint32_t {
        return 0xFF000000u | ((x * 7 + y * 3) % 256) << 16 | ((x * y) % 256) << 8 | ((x ^ y) & 0xFF);
    };
    IDirect3DTexture9* tex = FilledTexture(device_, 300, 200, pattern);
    ASSERT_NE(tex, nullptr);
    ASSERT_EQ(BuildMipChain(tex, nullptr, kTexDefault, kTexDefault), S_OK);
    UINT w = 0, h = 0;
    std::vector<uint32_t> top = ReadLevel32(tex, 0, &w, &h);
    ASSERT_EQ(tex->GetLevelCount(), 9u);
    for (UINT level = 1; level < tex->GetLevelCount(); ++level) {
        UINT lw = 0, lh = 0;
        const std::vector<uint32_t> got = ReadLevel32(tex, level, &lw, &lh);
        // Each level is the tent-filtered, dithered image of level 0.
        std::vector<uint32_t> expected(size_t{lw} * lh);
        ImageView s = View(top.data(), D3DFMT_A8R8G8B8, 4, w, h), d = View(expected.data(), D3DFMT_A8R8G8B8, 4, lw, lh);
        ASSERT_EQ(ImageResampler().Run(d, s, TexFilterTriangle | TexFilterDither), S_OK);
        EXPECT_EQ(got, expected) << "level " << level << " (" << lw << "x" << lh << ")";
    }
    tex->Release();
}

TEST_F(MipRules, SrgbFlagsOfAMipChain) {
    // Grey 0 in the top row and 128 in the bottom one. In the stored space the
    // 2x2 average is 64; in linear light (the square, both sides being sRGB)
    // it is sqrt((0.502^2) / 2) = 0.355, stored as 91.
    auto pattern = [](UINT, UINT y) -> uint32_t { return y == 0 ? 0xFF000000u : 0xFF808080u; };
    struct Case {
        DWORD flags;
        int expected;
    } cases[] = {
        {0, 64},
        {TexFilterSrgbIn, 64},  // sRGB in without out: both flags are dropped
        {TexFilterSrgbOut, 91},  // out implies in
        {TexFilterSrgbIn | TexFilterSrgbOut, 91},
    };
    for (const Case& c : cases) {
        IDirect3DTexture9* tex = FilledTexture(device_, 2, 2, pattern);
        ASSERT_NE(tex, nullptr);
        ASSERT_EQ(BuildMipChain(tex, nullptr, 0, TexFilterBox | c.flags), S_OK);
        const uint32_t got = ReadLevel32(tex, 1)[0];
        EXPECT_NEAR(int((got >> 8) & 0xFF), c.expected, 1) << std::hex << c.flags;
        EXPECT_EQ(got >> 24, 0xFFu);
        tex->Release();
    }
}

}  // namespace
