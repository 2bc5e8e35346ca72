// Texture creation from files: sizes, levels, formats, colour keys, palettes
// and the failure results of the entry points.
#include <gtest/gtest.h>

#include "tests/texture/test_image_files.h"
#include "tests/texture/texture_test_device.h"
#include "texture/pixels/format_table.h"

using namespace testimg;
using textest::DeviceTest;
using textest::ReadLevel32;

namespace {

Bytes RgbPng(uint32_t w, uint32_t h, uint32_t seed = 1) {
    Bytes samples(size_t{w} * h * 3);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>((i * 37 + seed * 11) ^ (i >> 5));
    return MakePng(w, h, PngOptions{}, samples);
}

class TextureCreation : public DeviceTest {
protected:
    HRESULT FromBytes(const Bytes& file, IDirect3DTexture9** out) {
        return TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), out);
    }
};

TEST_F(TextureCreation, DefaultsRoundUpToPowersOfTwoWithAFullChain) {
    const std::string path = textest::WriteTempFile("100x60.png", RgbPng(100, 60));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(KLCreateTextureFromFileA(device_, path.c_str(), &tex), S_OK);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 64u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(tex->GetLevelCount(), 8u);
    tex->Release();
}

TEST_F(TextureCreation, PowerOfTwoImagesAreCopiedAndBoxFiltered) {
    Bytes samples(256 * 256 * 3);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(FromBytes(MakePng(256, 256, PngOptions{}, samples), &tex), S_OK);
    EXPECT_EQ(tex->GetLevelCount(), 9u);
    const std::vector<uint32_t> top = ReadLevel32(tex, 0), next = ReadLevel32(tex, 1);
    for (size_t i = 0; i < 256 * 256; i += 97) {
        const uint32_t expected = 0xFF000000u | (samples[3 * i] << 16) | (samples[3 * i + 1] << 8) | samples[3 * i + 2];
        ASSERT_EQ(top[i], expected) << i;
    }
    for (uint32_t y = 0; y < 128; y += 11)
        for (uint32_t x = 0; x < 128; x += 7) {
            const uint32_t* p = &top[2 * y * 256 + 2 * x];
            for (int shift = 0; shift < 24; shift += 8) {
                const uint32_t sum = ((p[0] >> shift) & 0xFF) + ((p[1] >> shift) & 0xFF) + ((p[256] >> shift) & 0xFF) +
                                     ((p[257] >> shift) & 0xFF);
                ASSERT_EQ((next[y * 128 + x] >> shift) & 0xFF, (sum + 2) >> 2) << x << "," << y;
            }
        }
    tex->Release();
}

TEST_F(TextureCreation, KeepSourceSizeAndExplicitLevels) {
    const Bytes file = RgbPng(100, 60);
    IDirect3DTexture9* tex = nullptr;
    ImageFileInfo info;
    ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), kKeepSourceSize,
                                   kKeepSourceSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, kUseDefault, kUseDefault, 0,
                                   &info, nullptr, &tex),
              S_OK);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 100u);
    EXPECT_EQ(desc.Height, 60u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(tex->GetLevelCount(), 1u);
    EXPECT_EQ(info.Width, 100u);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, ImageFilePng);
    tex->Release();
}

TEST_F(TextureCreation, ColourKeyGivesAlphaAndTransparentBlack) {
    // A 24-bit bitmap: the format has no alpha, the key asks for one.
    BmpOptions o;
    o.width = 2, o.height = -1;
    const Bytes file = MakeBmp(o, {0, 0, 0, 255, 255, 255, 0, 0});
    IDirect3DTexture9* plain = nullptr;
    ASSERT_EQ(FromBytes(file, &plain), S_OK);
    D3DSURFACE_DESC desc;
    plain->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    plain->Release();

    IDirect3DTexture9* keyed = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), kUseDefault, kUseDefault,
                                   kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TexFilterNone, kUseDefault,
                                   0xFF000000, nullptr, nullptr, &keyed),
              S_OK);
    keyed->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    const std::vector<uint32_t> px = ReadLevel32(keyed, 0);
    EXPECT_EQ(px[0], 0u);
    EXPECT_EQ(px[1], 0xFFFFFFFFu);
    keyed->Release();
}

Bytes PalettePng(const std::vector<png_color>& colours, std::vector<uint8_t> alpha = {}) {
    PngOptions o;
    o.colorType = PNG_COLOR_TYPE_PALETTE;
    o.palette = colours;
    o.trnsAlpha = alpha;
    return MakePng(4, 1, o, {0, 1, 2, 3});
}

TEST_F(TextureCreation, PaletteImagesAreRelabelledOrExpanded) {
    std::vector<png_color> ramp(256), rgb332(256), other(256);
    const uint8_t r3[8] = {0, 36, 73, 109, 146, 182, 219, 255}, r2[4] = {0, 85, 170, 255};
    for (int i = 0; i < 256; ++i) {
        ramp[i] = {static_cast<png_byte>(i), static_cast<png_byte>(i), static_cast<png_byte>(i)};
        rgb332[i] = {r3[i >> 5], r3[(i >> 2) & 7], r2[i & 3]};
        other[i] = {static_cast<png_byte>(i), 0, 0};
    }
    struct Case {
        const char* what;
        Bytes file;
        D3DFORMAT expected;
    } cases[] = {
        {"grey ramp", PalettePng(ramp), D3DFMT_L8},
        {"3-3-2", PalettePng(rgb332), D3DFMT_R3G3B2},
        {"other", PalettePng(other), D3DFMT_X8R8G8B8},
        {"other with alpha", PalettePng(other, {255, 128}), D3DFMT_A8R8G8B8},
    };
    for (const Case& c : cases) {
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(FromBytes(c.file, &tex), S_OK) << c.what;
        D3DSURFACE_DESC desc;
        tex->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Format, c.expected) << c.what;
        tex->Release();
    }
    // With a palette out-array the palette is handed back and the palettised
    // format is asked of the device; this device has none, so the nearest
    // format takes the palette's colours.
    PALETTEENTRY palette[256];
    IDirect3DTexture9* tex = nullptr;
    const Bytes file = PalettePng(other, {255, 128});
    ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), kUseDefault, kUseDefault,
                                   kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, kUseDefault, kUseDefault, 0, nullptr,
                                   palette, &tex),
              S_OK);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, NearestDeviceFormat(device_, 0, D3DRTYPE_TEXTURE, *FindFormatTraits(D3DFMT_P8)));
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(ReadLevel32(tex, 0)[1], 0x80010000u);
    EXPECT_EQ(palette[1].peRed, 1);
    EXPECT_EQ(palette[1].peFlags, 128);
    tex->Release();
}

TEST_F(TextureCreation, FailureResults) {
    IDirect3DTexture9* tex = nullptr;
    EXPECT_EQ(KLCreateTextureFromFileA(device_, "/nonexistent/missing.png", &tex), ERR_INVALID_DATA);
    const std::string empty = textest::WriteTempFile("empty.png", {});
    EXPECT_EQ(KLCreateTextureFromFileA(device_, empty.c_str(), &tex), D3DERR_INVALIDCALL);
    EXPECT_EQ(KLCreateTextureFromFileA(device_, nullptr, &tex), D3DERR_INVALIDCALL);
    const Bytes file = RgbPng(4, 4);
    EXPECT_EQ(TextureFromFileImage(nullptr, file.data(), 4, &tex), D3DERR_INVALIDCALL);
    EXPECT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), nullptr), D3DERR_INVALIDCALL);
    const Bytes noise(64, 0xEE);
    EXPECT_EQ(FromBytes(noise, &tex), ERR_INVALID_DATA);
    EXPECT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), 4, 4, 1, 0x8, D3DFMT_UNKNOWN,
                                   D3DPOOL_MANAGED, kUseDefault, kUseDefault, 0, nullptr, nullptr, &tex),
              D3DERR_INVALIDCALL);  // forbidden usage bit
    EXPECT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), 4, 4, 1, 0, D3DFMT_UNKNOWN,
                                   static_cast<D3DPOOL>(7), kUseDefault, kUseDefault, 0, nullptr, nullptr, &tex),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(tex, nullptr);
    IDirect3DCubeTexture9* cube = nullptr;
    EXPECT_EQ(CubeTextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), &cube), E_FAIL);
}

TEST_F(TextureCreation, LinearMipFilterScalesEveryLevelFromTheSmallestDecoded) {
    // A 2-level DDS: level 0 red, level 1 (2x2) green. Every generated level
    // below comes straight from level 1, so all stay green.
    DdsOptions o;
    o.width = o.height = 4, o.mips = 2, o.pfFlags = 0x40;
    o.masks[3] = 0;
    Bytes body;
    for (int i = 0; i < 16; ++i) Append(body, {0, 0, 255, 0});
    for (int i = 0; i < 4; ++i) Append(body, {0, 255, 0, 0});
    const Bytes file = MakeDds(o, body);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), 8, 8, kUseDefault, 0,
                                   D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, TexFilterPoint, TexFilterLinear, 0, nullptr,
                                   nullptr, &tex),
              S_OK);
    ASSERT_EQ(tex->GetLevelCount(), 4u);
    EXPECT_EQ(ReadLevel32(tex, 0)[0] & 0xFFFFFF, 0xFF0000u);
    for (UINT level = 1; level < 4; ++level) EXPECT_EQ(ReadLevel32(tex, level)[0] & 0xFFFFFF, 0x00FF00u) << level;
    tex->Release();
}

TEST_F(TextureCreation, CubeAndVolumeFiles) {
    DdsOptions o;
    o.width = o.height = 2, o.caps2 = 0xFE00;
    Bytes body;
    for (int face = 0; face < 6; ++face)
        for (int i = 0; i < 4; ++i) Append(body, {static_cast<uint8_t>(face * 40), 0, 0, 255});
    const Bytes file = MakeDds(o, body);
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(CubeTextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), &cube), S_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(*static_cast<const uint32_t*>(locked.pBits), 0xFF0000C8u);  // blue 200
    cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0);
    EXPECT_EQ(cube->GetLevelCount(), 2u);
    cube->Release();

    DdsOptions v;
    v.width = v.height = 2, v.depth = 2, v.flags |= 0x800000;
    Bytes slices;
    for (int i = 0; i < 8; ++i) Append(slices, {static_cast<uint8_t>(i * 10), 0, 0, 255});
    const Bytes vol = MakeDds(v, slices);
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(VolumeTextureFromFileImage(device_, vol.data(), static_cast<UINT>(vol.size()), &volume), S_OK);
    EXPECT_EQ(volume->GetLevelCount(), 2u);
    D3DLOCKED_BOX box;
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(box.pBits) + box.SlicePitch), 0xFF000028u);
    volume->UnlockBox(0);
    ASSERT_EQ(volume->LockBox(1, &box, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(*static_cast<const uint32_t*>(box.pBits), 0xFF000023u);  // average of 0..70 step 10
    volume->UnlockBox(1);
    volume->Release();
}

TEST_F(TextureCreation, ModuleResourcesAndWideNames) {
    const Bytes file = RgbPng(8, 8);
    platform::RegisterModuleResource(nullptr, RT_RCDATA, "TEXTURE_TEST_IMAGE", file.data(), file.size());
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(TextureFromModuleResourceA(device_, nullptr, "TEXTURE_TEST_IMAGE", &tex), S_OK);
    tex->Release();
    EXPECT_EQ(TextureFromModuleResourceA(device_, nullptr, "NO_SUCH_RESOURCE", &tex), ERR_INVALID_DATA);
    platform::RemoveModuleResource(nullptr, RT_RCDATA, "TEXTURE_TEST_IMAGE");

    // A bitmap resource has no file header.
    BmpOptions o;
    o.width = 1, o.height = 1;
    const Bytes bmp = MakeBmp(o, {1, 2, 3, 0});
    platform::RegisterModuleResource(nullptr, RT_BITMAP, MAKEINTRESOURCEA(7), bmp.data() + 14, bmp.size() - 14);
    ImageFileInfo info;
    ASSERT_EQ(ImageInfoFromModuleResourceA(nullptr, MAKEINTRESOURCEA(7), &info), S_OK);
    EXPECT_EQ(info.ImageFileFormat, ImageFileDib);
    platform::RemoveModuleResource(nullptr, RT_BITMAP, MAKEINTRESOURCEA(7));

    const std::string path = textest::WriteTempFile("wide_\xc3\xa9.png", file);
    const std::wstring wide = std::wstring(path.begin(), path.end() - 6) + L"\u00e9.png";
    ASSERT_EQ(TextureFromNamedFileW(device_, wide.c_str(), &tex), S_OK);
    tex->Release();
    ASSERT_EQ(ImageInfoFromNamedFileW(wide.c_str(), &info), S_OK);
    EXPECT_EQ(info.Width, 8u);
    EXPECT_EQ(ImageInfoFromNamedFileA(path.c_str(), nullptr), S_OK);
}

TEST_F(TextureCreation, DefaultPoolGoesThroughAStagingTwin) {
    const Bytes file = RgbPng(16, 16, 3);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, file.data(), static_cast<UINT>(file.size()), kUseDefault, kUseDefault,
                                   kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT, kUseDefault, kUseDefault, 0,
                                   nullptr, nullptr, &tex),
              S_OK);
    D3DSURFACE_DESC desc;
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    // Read it back through a system-memory copy of the same shape.
    IDirect3DTexture9* copy = nullptr;
    IDirect3DTexture9* managed = nullptr;
    ASSERT_EQ(FromBytes(file, &managed), S_OK);
    ASSERT_EQ(device_->CreateTexture(16, 16, 1, 0, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr), S_OK);
    IDirect3DSurface9 *src = nullptr, *dst = nullptr;
    tex->GetSurfaceLevel(0, &src);
    copy->GetSurfaceLevel(0, &dst);
    ASSERT_EQ(CopySurfaceToSurface(dst, nullptr, nullptr, src, nullptr, nullptr, TexFilterNone, 0), S_OK);
    EXPECT_EQ(ReadLevel32(copy, 0), ReadLevel32(managed, 0));
    src->Release();
    dst->Release();
    copy->Release();
    managed->Release();
    tex->Release();
}

}  // namespace
