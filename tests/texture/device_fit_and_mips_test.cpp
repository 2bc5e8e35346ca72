// Fitting requests to the device, mip-chain generation, surface writes and
// the debug-output mute switch.
#include <gtest/gtest.h>

#include "math/klmath.h"
#include "platform/registry.h"
#include "tests/texture/texture_test_device.h"
#include "texture/runtime_mute.h"

using textest::DeviceTest;
using textest::ReadLevel32;

namespace {

using FitTest = DeviceTest;

TEST_F(FitTest, SizesLevelsAndFormats) {
    struct Case {
        const char* what;
        UINT w, h, d, levels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        D3DRESOURCETYPE type;
        UINT ew, eh, ed, elevels;
        D3DFORMAT eformat;
    } cases[] = {
        {"defaults", kUseDefault, kUseDefault, kUseDefault, kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
         D3DRTYPE_TEXTURE, 256, 256, 1, 9, D3DFMT_A8R8G8B8},
        {"height copies width", 100, kUseDefault, 1, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, D3DRTYPE_TEXTURE, 100, 100,
         1, 7, D3DFMT_X8R8G8B8},
        {"zero becomes one", 0, 5, 1, kUseDefault, 0, D3DFMT_L8, D3DPOOL_MANAGED, D3DRTYPE_TEXTURE, 1, 5, 1, 3,
         D3DFMT_L8},
        {"cube takes the larger side", 8, 32, 1, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DRTYPE_CUBETEXTURE, 32, 32, 1,
         2, D3DFMT_A8R8G8B8},
        {"volume counts depth", 4, 4, 16, kUseDefault, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DRTYPE_VOLUMETEXTURE, 4, 4,
         16, 5, D3DFMT_A8R8G8B8},
        {"blocks round to four", 5, 6, 1, 1, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, D3DRTYPE_TEXTURE, 8, 8, 1, 1,
         D3DFMT_DXT1},
        {"scratch keeps any format", 3, 3, 1, 1, 0, D3DFMT_R8G8B8, D3DPOOL_SCRATCH, D3DRTYPE_TEXTURE, 3, 3, 1, 1,
         D3DFMT_R8G8B8},
        {"scratch unknown", 2, 2, 1, kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_SCRATCH, D3DRTYPE_TEXTURE, 2, 2, 1, 2,
         D3DFMT_A8R8G8B8},
        {"too large is clamped", 100000, 4, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DRTYPE_TEXTURE, 8192, 4, 1, 1,
         D3DFMT_A8R8G8B8},
    };
    for (const Case& c : cases) {
        UINT w = c.w, h = c.h, d = c.d, levels = c.levels;
        D3DFORMAT format = c.format;
        ASSERT_EQ(FitTextureToDevice(device_, &w, &h, &d, &levels, c.usage, &format, c.pool, c.type), S_OK) << c.what;
        EXPECT_EQ(w, c.ew) << c.what;
        EXPECT_EQ(h, c.eh) << c.what;
        EXPECT_EQ(d, c.ed) << c.what;
        EXPECT_EQ(levels, c.elevels) << c.what;
        EXPECT_EQ(format, c.eformat) << c.what;
    }
    EXPECT_EQ(FitTextureToDevice(nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED,
                                 D3DRTYPE_TEXTURE),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(FitTextureToDevice(device_, nullptr, nullptr, nullptr, nullptr, 0x20, nullptr, D3DPOOL_MANAGED,
                                 D3DRTYPE_TEXTURE),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(FitTextureToDevice(device_, nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED,
                                 D3DRTYPE_TEXTURE),
              S_OK);
}

class MipTest : public DeviceTest {
protected:
    IDirect3DTexture9* Make(UINT w, UINT h) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device_->CreateTexture(w, h, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
        D3DLOCKED_RECT locked;
        t->LockRect(0, &locked, nullptr, 0);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x)
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                    0xFF000000u | ((x * 255 / w) << 16) | ((y * 255 / h) << 8) | ((x ^ y) & 0xFF);
        t->UnlockRect(0);
        return t;
    }
};

TEST_F(MipTest, DefaultFilterDependsOnPowerOfTwoSizes) {
    // 256x128: box, level by level. Level 2 equals the box of level 1.
    IDirect3DTexture9* pow2 = Make(256, 128);
    ASSERT_EQ(BuildMipChain(pow2, nullptr, kUseDefault, kUseDefault), S_OK);
    const auto l1 = ReadLevel32(pow2, 1), l2 = ReadLevel32(pow2, 2);
    for (UINT y = 0; y < 32; y += 5)
        for (UINT x = 0; x < 64; x += 9) {
            const uint32_t* p = &l1[2 * y * 128 + 2 * x];
            const uint32_t red = (((p[0] >> 16) & 0xFF) + ((p[1] >> 16) & 0xFF) + ((p[128] >> 16) & 0xFF) +
                                  ((p[129] >> 16) & 0xFF) + 2) >> 2;
            EXPECT_EQ((l2[y * 64 + x] >> 16) & 0xFF, red);
        }
    // The last level as source has nothing to do; one past it is refused.
    EXPECT_EQ(BuildMipChain(pow2, nullptr, pow2->GetLevelCount() - 1, kUseDefault), S_OK);
    EXPECT_EQ(BuildMipChain(pow2, nullptr, pow2->GetLevelCount(), kUseDefault), D3DERR_INVALIDCALL);
    EXPECT_EQ(BuildMipChain(pow2, nullptr, 0, 0x400005), D3DERR_INVALIDCALL);
    EXPECT_EQ(BuildMipChain(nullptr, nullptr, 0, kUseDefault), D3DERR_INVALIDCALL);
    pow2->Release();

    // 300x200: tent filter with dithering, every level from level 0. A smooth
    // gradient keeps its mean across levels either way; the smallest level
    // holds the whole image's average red (about 127).
    IDirect3DTexture9* odd = Make(300, 200);
    ASSERT_EQ(BuildMipChain(odd, nullptr, 0, kUseDefault), S_OK);
    const UINT last = odd->GetLevelCount() - 1;
    const auto tiny = ReadLevel32(odd, last);
    EXPECT_NEAR(static_cast<int>((tiny[0] >> 16) & 0xFF), 127, 3);
    odd->Release();
}

TEST_F(MipTest, SurfaceWritesHonourRectanglesAndRejectBadOnes) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), S_OK);
    IDirect3DSurface9* s = nullptr;
    t->GetSurfaceLevel(0, &s);
    const uint32_t src[4] = {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C};
    const RECT srcRect = {0, 0, 2, 2}, dstRect = {1, 1, 3, 3};
    ASSERT_EQ(WriteSurfaceFromPixels(s, nullptr, &dstRect, src, D3DFMT_A8R8G8B8, 8, nullptr, &srcRect, TexFilterNone, 0),
              S_OK);
    const auto px = ReadLevel32(t, 0);
    EXPECT_EQ(px[5], src[0]);
    EXPECT_EQ(px[10], src[3]);
    const RECT outside = {2, 2, 5, 3};
    EXPECT_EQ(WriteSurfaceFromPixels(s, nullptr, &outside, src, D3DFMT_A8R8G8B8, 8, nullptr, &srcRect, TexFilterNone, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(WriteSurfaceFromPixels(s, nullptr, nullptr, src, D3DFMT_A8R8G8B8, 8, nullptr, nullptr, TexFilterNone, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(WriteSurfaceFromPixels(s, nullptr, nullptr, src, D3DFMT_A8R8G8B8, 8, nullptr, &srcRect, 9, 0),
              D3DERR_INVALIDCALL);
    // A depth format without a row converter.
    EXPECT_EQ(WriteSurfaceFromPixels(s, nullptr, nullptr, src, D3DFMT_D24S8, 8, nullptr, &srcRect, TexFilterNone, 0),
              E_FAIL);
    // A surface copied onto itself goes through a staging copy.
    const RECT whole = {0, 0, 4, 4};
    ASSERT_EQ(CopySurfaceToSurface(s, nullptr, &whole, s, nullptr, &dstRect, TexFilterPoint, 0), S_OK);
    EXPECT_EQ(ReadLevel32(t, 0)[0], src[0]);
    EXPECT_EQ(ReadLevel32(t, 0)[15], src[3]);
    s->Release();
    t->Release();
}

int g_muteCalls = 0;
BOOL CountingMute(BOOL) {
    ++g_muteCalls;
    return FALSE;
}

TEST(RuntimeMute, CallsTheRuntimeSwitchUnlessTheRegistrySaysNo) {
    platform::RegisterModuleExport("d3d9d.dll", "DebugSetMute", reinterpret_cast<FARPROC>(&CountingMute));
    platform::SetRegistryValue("KLDoNotMute", std::nullopt);
    ResetRuntimeMuteCache();
    g_muteCalls = 0;
    MuteRuntimeDebugOutput(true);
    MuteRuntimeDebugOutput(false);
    EXPECT_EQ(g_muteCalls, 2);

    platform::SetRegistryValue("KLDoNotMute", "1");
    ResetRuntimeMuteCache();
    g_muteCalls = 0;
    MuteRuntimeDebugOutput(true);
    EXPECT_EQ(g_muteCalls, 0);
    platform::ResetRegistryValues();
    ResetRuntimeMuteCache();
}

}  // namespace
