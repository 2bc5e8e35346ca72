// PNG pixels decoded straight into the top level must match what the
// ordinary path (decode, then copy) stores, and loads that cannot take the
// direct path (volumes, other formats, resizing) must still work.
#include <gtest/gtest.h>

#include "tests/texture/test_image_files.h"
#include "tests/texture/texture_test_device.h"

using namespace testimg;
using textest::DeviceTest;
using textest::ReadLevel32;

namespace {

using PngDirectDecode = DeviceTest;

TEST_F(PngDirectDecode, DirectAndCopiedTopLevelsAgree) {
    Bytes samples(32 * 16 * 3);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 29 + (i >> 7));
    const Bytes png = MakePng(32, 16, PngOptions{}, samples);
    const UINT size = static_cast<UINT>(png.size());

    // Same format and size: decoded in place.
    IDirect3DTexture9* direct = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, png.data(), size, &direct), S_OK);
    // A16B16G16R16F is no decoder output: decoded, then converted and copied back below.
    IDirect3DTexture9* wide = nullptr;
    ASSERT_EQ(TextureFromFileImage(device_, png.data(), size, kKeepSourceSize, kKeepSourceSize, 1, 0,
                                   D3DFMT_A16B16G16R16F, D3DPOOL_SCRATCH, TexFilterNone, kUseDefault, 0, nullptr,
                                   nullptr, &wide),
              S_OK);
    IDirect3DTexture9* copied = nullptr;
    ASSERT_EQ(device_->CreateTexture(32, 16, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &copied, nullptr), S_OK);
    IDirect3DSurface9 *from = nullptr, *to = nullptr;
    wide->GetSurfaceLevel(0, &from);
    copied->GetSurfaceLevel(0, &to);
    ASSERT_EQ(CopySurfaceToSurface(to, nullptr, nullptr, from, nullptr, nullptr, TexFilterNone, 0), S_OK);
    from->Release();
    to->Release();
    std::vector<uint32_t> a = ReadLevel32(direct, 0), b = ReadLevel32(copied, 0);
    ASSERT_EQ(a.size(), 32u * 16);
    ASSERT_EQ(b.size(), a.size());
    // The unused fourth byte differs by path (the decoder's filler, the encoder's 0).
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i] & 0xFFFFFF, b[i] & 0xFFFFFF) << i;
    EXPECT_EQ(a[17], 0xFF000000u | (samples[51] << 16) | (samples[52] << 8) | samples[53]);
    // The chain below the directly decoded level is still built from it.
    EXPECT_EQ(direct->GetLevelCount(), 6u);
    EXPECT_NE(ReadLevel32(direct, 1), std::vector<uint32_t>(16 * 8, 0));
    direct->Release();
    wide->Release();
    copied->Release();

    // A filter word the copy refuses is refused on the direct path too.
    IDirect3DTexture9* refused = nullptr;
    EXPECT_EQ(TextureFromFileImage(device_, png.data(), size, kKeepSourceSize, kKeepSourceSize, 1, 0,
                                   D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, 6, kUseDefault, 0, nullptr, nullptr, &refused),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(refused, nullptr);

    // Volume requests of a PNG take the ordinary path.
    IDirect3DVolumeTexture9* volume = nullptr;
    EXPECT_EQ(VolumeTextureFromFileImage(device_, png.data(), size, &volume), S_OK);
    if (volume) volume->Release();
}

}  // namespace
