// Texture creation rules that depend on the device's capabilities, on the
// resource type, on the decoded mip chain and on the order of the palette
// steps: each family in one table or one scenario.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/texture/caps_device.h"
#include "tests/texture/test_image_files.h"
#include "tests/texture/texture_test_device.h"
#include "texture/pixels/format_table.h"

using namespace testimg;
using textest::CapsDevice;
using textest::DeviceTest;
using textest::ReadLevel32;

namespace {

using CreationRules = DeviceTest;

constexpr DWORD kMipCaps = D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP;

TEST_F(CreationRules, DeviceCapsShapeSizeAndLevels) {
    struct Case {
        const char* what;
        DWORD textureCaps;  // replaces the device's texture caps bits named in `mask`
        DWORD mask;
        DWORD aspect;  // MaxTextureAspectRatio; 0 keeps the device's
        D3DRESOURCETYPE type;
        UINT w, h, d, levels;
        UINT ew, eh, ed, elevels;
    } cases[] = {
        {"power of two", D3DPTEXTURECAPS_POW2, D3DPTEXTURECAPS_POW2, 0, D3DRTYPE_TEXTURE, 100, 60, 1, kUseDefault, 128,
         64, 1, 8},
        {"conditional: one level keeps the size", D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL,
         D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, D3DRTYPE_TEXTURE, 100, 60, 1, 1, 100, 60, 1, 1},
        {"conditional: a chain still rounds", D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL,
         D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, D3DRTYPE_TEXTURE, 100, 60, 1, kUseDefault, 128,
         64, 1, 8},
        {"conditional alone: odd sizes get one level", D3DPTEXTURECAPS_NONPOW2CONDITIONAL,
         D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, D3DRTYPE_TEXTURE, 100, 60, 1, kUseDefault, 100,
         60, 1, 1},
        {"conditional alone: powers of two keep the chain", D3DPTEXTURECAPS_NONPOW2CONDITIONAL,
         D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, D3DRTYPE_TEXTURE, 64, 16, 1, kUseDefault, 64, 16,
         1, 7},
        {"square only", D3DPTEXTURECAPS_SQUAREONLY, D3DPTEXTURECAPS_SQUAREONLY, 0, D3DRTYPE_TEXTURE, 100, 60, 1,
         kUseDefault, 60, 60, 1, 6},
        {"aspect 2, wide", 0, 0, 2, D3DRTYPE_TEXTURE, 200, 50, 1, 1, 100, 50, 1, 1},
        {"aspect 2, tall", 0, 0, 2, D3DRTYPE_TEXTURE, 50, 200, 1, 1, 50, 100, 1, 1},
        {"aspect limits ordinary textures only", 0, 0, 2, D3DRTYPE_CUBETEXTURE, 200, 50, 1, 1, 200, 200, 1, 1},
        {"cube power of two", D3DPTEXTURECAPS_CUBEMAP_POW2, D3DPTEXTURECAPS_CUBEMAP_POW2, 0, D3DRTYPE_CUBETEXTURE, 100,
         100, 1, 1, 128, 128, 1, 1},
        {"texture pow2 cap leaves cubes alone", D3DPTEXTURECAPS_POW2, D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_CUBEMAP_POW2,
         0, D3DRTYPE_CUBETEXTURE, 100, 100, 1, 1, 100, 100, 1, 1},
        {"volume power of two", D3DPTEXTURECAPS_VOLUMEMAP_POW2, D3DPTEXTURECAPS_VOLUMEMAP_POW2, 0,
         D3DRTYPE_VOLUMETEXTURE, 100, 60, 20, 1, 128, 64, 32, 1},
        {"no mip maps", 0, D3DPTEXTURECAPS_MIPMAP, 0, D3DRTYPE_TEXTURE, 256, 256, 1, kUseDefault, 256, 256, 1, 1},
        {"no cube mip maps", 0, D3DPTEXTURECAPS_MIPCUBEMAP, 0, D3DRTYPE_CUBETEXTURE, 64, 64, 1, kUseDefault, 64, 64, 1,
         1},
        {"cube mips kept without texture mips", D3DPTEXTURECAPS_MIPCUBEMAP, kMipCaps, 0, D3DRTYPE_CUBETEXTURE, 64, 64, 1,
         kUseDefault, 64, 64, 1, 7},
        {"no volume mip maps", 0, D3DPTEXTURECAPS_MIPVOLUMEMAP, 0, D3DRTYPE_VOLUMETEXTURE, 16, 16, 16, kUseDefault, 16,
         16, 16, 1},
    };
    for (const Case& c : cases) {
        CapsDevice device(device_, [&](D3DCAPS9& caps) {
            caps.TextureCaps = (caps.TextureCaps & ~c.mask) | c.textureCaps;
            if (c.aspect) caps.MaxTextureAspectRatio = c.aspect;
        });
        UINT w = c.w, h = c.h, d = c.d, levels = c.levels;
        D3DFORMAT format = D3DFMT_A8R8G8B8;
        ASSERT_EQ(FitTextureToDevice(&device, &w, &h, &d, &levels, 0, &format, D3DPOOL_MANAGED, c.type), S_OK)
            << c.what;
        EXPECT_EQ(w, c.ew) << c.what;
        EXPECT_EQ(h, c.eh) << c.what;
        EXPECT_EQ(d, c.ed) << c.what;
        EXPECT_EQ(levels, c.elevels) << c.what;
    }
    // The scratch pool ignores the caps altogether.
    CapsDevice pow2(device_, [](D3DCAPS9& caps) { caps.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY; });
    UINT w = 100, h = 60, levels = 1;
    D3DFORMAT format = D3DFMT_A8R8G8B8;
    ASSERT_EQ(FitTextureToDevice(&pow2, &w, &h, nullptr, &levels, 0, &format, D3DPOOL_SCRATCH, D3DRTYPE_TEXTURE), S_OK);
    EXPECT_EQ(w, 100u);
    EXPECT_EQ(h, 60u);
}

TEST_F(CreationRules, LoadingThroughTheEntryHonoursTheCaps) {
    CapsDevice device(device_, [](D3DCAPS9& caps) { caps.TextureCaps |= D3DPTEXTURECAPS_POW2; });
    const Bytes file = MakePng(100, 60, PngOptions{}, Bytes(size_t{100} * 60 * 3, 0x40));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(TextureFromFileImage(&device, file.data(), static_cast<UINT>(file.size()), kKeepSourceSize,
                                   kKeepSourceSize, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, kUseDefault, kUseDefault, 0,
                                   nullptr, nullptr, &tex),
              S_OK);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);  // the image's own size, rounded by the device
    EXPECT_EQ(desc.Height, 64u);
    tex->Release();
}

// A 3x3 A8R8G8B8 face, dark on the left and bright on the right, so an edge
// pixel that borrows from the opposite edge is told apart from one that does not.
Bytes EdgeFace() {
    Bytes face;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const uint8_t v = static_cast<uint8_t>(x * 120);
            Append(face, {v, v, v, 255});
        }
    return face;
}

TEST_F(CreationRules, CubeFacesAreFilteredWithMirroredEdges) {
    DdsOptions o;
    o.width = o.height = 3;
    Bytes face = EdgeFace();
    const Bytes flat = MakeDds(o, face);
    o.caps2 = 0xFE00;
    Bytes body;
    for (int f = 0; f < 6; ++f) Append(body, face);
    const Bytes cubeFile = MakeDds(o, body);

    auto load2d = [&](DWORD filter) {
        IDirect3DTexture9* tex = nullptr;
        EXPECT_EQ(TextureFromFileImage(device_, flat.data(), static_cast<UINT>(flat.size()), 4, 4, 1, 0,
                                       D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, filter, kUseDefault, 0, nullptr, nullptr,
                                       &tex),
                  S_OK);
        std::vector<uint32_t> px = tex ? ReadLevel32(tex, 0) : std::vector<uint32_t>{};
        if (tex) tex->Release();
        return px;
    };
    const std::vector<uint32_t> wrapped = load2d(TexFilterTriangle);
    const std::vector<uint32_t> mirrored = load2d(TexFilterTriangle | TexFilterMirror);
    ASSERT_NE(wrapped, mirrored);  // the image tells the two edge rules apart

    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(CubeTextureFromFileImage(device_, cubeFile.data(), static_cast<UINT>(cubeFile.size()), 4, 1, 0,
                                       D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, TexFilterTriangle, kUseDefault, 0, nullptr,
                                       nullptr, &cube),
              S_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &surface), S_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    std::vector<uint32_t> facePixels(16);
    for (int y = 0; y < 4; ++y)
        std::memcpy(&facePixels[y * 4], static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch, 16);
    surface->UnlockRect();
    surface->Release();
    cube->Release();
    EXPECT_EQ(facePixels, mirrored);
}

// An 8x8 DDS with two decoded levels: level 0 plain red, level 1 (4x4) a
// pattern without red, so a level generated from the wrong one shows.
Bytes TwoLevelDds() {
    DdsOptions o;
    o.width = o.height = 8, o.mips = 2;
    Bytes body;
    for (int i = 0; i < 64; ++i) Append(body, {0, 0, 255, 255});
    for (int i = 0; i < 16; ++i) Append(body, {static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 8), 0, 255});
    return MakeDds(o, body);
}

TEST_F(CreationRules, ChainedMipFiltersContinueFromTheLastDecodedLevel) {
    const Bytes file = TwoLevelDds();
    for (DWORD mipFilter : {DWORD(TexFilterBox), DWORD(TexFilterPoint)}) {
        SCOPED_TRACE(mipFilter);
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), kUseDefault, kUseDefault,
                                       kUseDefault, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, TexFilterNone, mipFilter, 0,
                                       nullptr, nullptr, &tex),
                  S_OK);
        ASSERT_EQ(tex->GetLevelCount(), 4u);
        const std::vector<uint32_t> one = ReadLevel32(tex, 1), two = ReadLevel32(tex, 2), three = ReadLevel32(tex, 3);
        EXPECT_EQ(one[5] & 0xFFFFFF, (5u * 16) | ((255u - 5 * 8) << 8));  // the decoded level as stored
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                const uint32_t got = two[y * 2 + x];
                EXPECT_EQ((got >> 16) & 0xFF, 0u) << "red from level 0 at " << x << "," << y;
                uint32_t blue = 0, green = 0;
                bool isSample = false;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const uint32_t s = one[(y * 2 + dy) * 4 + x * 2 + dx];
                        blue += s & 0xFF, green += (s >> 8) & 0xFF;
                        isSample = isSample || s == got;
                    }
                if (mipFilter == TexFilterBox) {
                    EXPECT_EQ(got & 0xFF, (blue + 2) >> 2) << x << "," << y;
                    EXPECT_EQ((got >> 8) & 0xFF, (green + 2) >> 2) << x << "," << y;
                } else {
                    EXPECT_TRUE(isSample) << std::hex << got;
                }
            }
        EXPECT_EQ((three[0] >> 16) & 0xFF, 0u);
        tex->Release();
    }
}

TEST_F(CreationRules, ColourKeysOnPaletteAndLuminanceImages) {
    // A grey-ramp palette is keyed before it is tested for the ramp: the keyed
    // entry breaks the ramp, so the image is expanded with alpha instead of
    // being relabelled L8.
    std::vector<png_color> ramp(256);
    for (int i = 0; i < 256; ++i) ramp[i] = {png_byte(i), png_byte(i), png_byte(i)};
    PngOptions palette;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.palette = ramp;
    const Bytes paletteFile = MakePng(4, 1, palette, {0x10, 0x80, 0xF0, 0x80});
    // An 8-bit grey image keyed on the same grey.
    PngOptions grey;
    grey.colorType = PNG_COLOR_TYPE_GRAY;
    const Bytes greyFile = MakePng(4, 1, grey, {0x10, 0x80, 0xF0, 0x80});

    auto load = [&](const Bytes& file, D3DCOLOR key, D3DSURFACE_DESC* desc) {
        IDirect3DTexture9* tex = nullptr;
        EXPECT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), kUseDefault, kUseDefault,
                                       1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TexFilterNone, kUseDefault, key, nullptr,
                                       nullptr, &tex),
                  S_OK);
        if (!tex) return;
        tex->GetLevelDesc(0, desc);
        tex->Release();
    };
    D3DSURFACE_DESC desc{};
    load(paletteFile, 0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_L8);
    load(paletteFile, 0xFF808080, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    load(paletteFile, 0xFF808081, &desc);  // a key no entry matches leaves the ramp
    EXPECT_EQ(desc.Format, D3DFMT_L8);

    IDirect3DTexture9* keyed = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, paletteFile.data(), static_cast<UINT>(paletteFile.size()), kUseDefault,
                                   kUseDefault, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TexFilterNone, kUseDefault,
                                   0xFF808080, nullptr, nullptr, &keyed),
              S_OK);
    EXPECT_EQ(ReadLevel32(keyed, 0), (std::vector<uint32_t>{0xFF101010, 0, 0xFFF0F0F0, 0}));
    keyed->Release();

    // Luminance without alpha gains an alpha channel for the key, and the
    // keyed pixels become transparent black.
    load(greyFile, 0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_L8);
    load(greyFile, 0xFF808080, &desc);
    const FormatTraits* keyedRow = FindFormatTraits(desc.Format);
    ASSERT_NE(keyedRow, nullptr);
    EXPECT_GT(keyedRow->alphaBits, 0u) << FormatName(desc.Format);
    IDirect3DTexture9* greyKeyed = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, greyFile.data(), static_cast<UINT>(greyFile.size()), kUseDefault,
                                   kUseDefault, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, TexFilterNone, kUseDefault,
                                   0xFF808080, nullptr, nullptr, &greyKeyed),
              S_OK);
    EXPECT_EQ(ReadLevel32(greyKeyed, 0), (std::vector<uint32_t>{0xFF101010, 0, 0xFFF0F0F0, 0}));
    greyKeyed->Release();
}

TEST_F(CreationRules, SidesLongerThanSixteenBitsLoad) {
    // 70000 x 1: no side limit of the loader's own; the device's largest
    // texture and aspect ratio settle the size.
    const Bytes file = MakePng(70000, 1, PngOptions{}, Bytes(size_t{70000} * 3, 0x90));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), &tex), S_OK);
    D3DCAPS9 caps;
    device_->GetDeviceCaps(&caps);
    UINT w = 0, h = 0;
    const std::vector<uint32_t> px = ReadLevel32(tex, 0, &w, &h);
    EXPECT_EQ(w, std::min<UINT>(caps.MaxTextureWidth, caps.MaxTextureAspectRatio));
    EXPECT_EQ(h, 1u);
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(px[w / 2] & 0xFFFFFF, 0x909090u);
    tex->Release();
    // Every filter kind takes the long row, across and (as a column) down.
    BmpOptions column;
    column.width = 1, column.height = 70000;
    Bytes rows;
    for (int y = 0; y < 70000; ++y) Append(rows, {0x90, 0x90, 0x90, 0});
    const Bytes tall = MakeBmp(column, rows);
    for (const Bytes* f : {&file, &tall})
        for (DWORD filter : {TexFilterNone, TexFilterPoint, TexFilterLinear, TexFilterTriangle, TexFilterBox}) {
            IDirect3DTexture9* t = nullptr;
            ASSERT_EQ(TextureFromFileImage(device_, f->data(), static_cast<UINT>(f->size()), kUseDefault, kUseDefault,
                                           kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, filter, kUseDefault, 0,
                                           nullptr, nullptr, &t),
                      S_OK)
                << filter;
            EXPECT_EQ(ReadLevel32(t, 0)[0] & 0xFFFFFF, 0x909090u) << filter;
            t->Release();
        }
}

}  // namespace
