// Procedural fill: the texel centres and sizes handed to the colour function
// for ordinary, cube and volume textures, every level at its own resolution,
// and the colours landing in the texture.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/texture/texture_test_device.h"

using textest::DeviceTest;

namespace {

struct Call {
    float cx, cy, cz, sx, sy, sz;
};

void Record2D(KLVECTOR4* out, const KLVECTOR2* c, const KLVECTOR2* s, LPVOID data) {
    static_cast<std::vector<Call>*>(data)->push_back({c->x, c->y, 0, s->x, s->y, 0});
    *out = {c->x, c->y, s->x, 1.0f};
}

void Record3D(KLVECTOR4* out, const KLVECTOR3* c, const KLVECTOR3* s, LPVOID data) {
    static_cast<std::vector<Call>*>(data)->push_back({c->x, c->y, c->z, s->x, s->y, s->z});
    *out = {c->x, c->y, c->z, s->x};
}

// The four floats of texel (x, y) of a locked A32B32G32R32F level.
const float* Texel(const D3DLOCKED_RECT& locked, UINT x, UINT y) {
    return reinterpret_cast<const float*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch) + 4 * x;
}

using TextureFill = DeviceTest;

TEST_F(TextureFill, FourByTwoGetsRowMajorCentresAndTheirColoursAreStored) {
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 2, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SCRATCH, &tex, nullptr), S_OK);
    EXPECT_EQ(FillTexture(tex, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(FillTexture(nullptr, Record2D, nullptr), D3DERR_INVALIDCALL);
    std::vector<Call> calls;
    ASSERT_EQ(FillTexture(tex, Record2D, &calls), S_OK);
    ASSERT_EQ(calls.size(), 8u);
    const float xs[4] = {0.125f, 0.375f, 0.625f, 0.875f};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(calls[i].cx, xs[i % 4]) << i;
        EXPECT_EQ(calls[i].cy, i < 4 ? 0.25f : 0.75f) << i;
        EXPECT_EQ(calls[i].sx, 0.25f);
        EXPECT_EQ(calls[i].sy, 0.5f);
    }
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    // Stored channels: red = centre x, green = centre y, blue = size x.
    EXPECT_EQ(Texel(locked, 2, 1)[0], 0.625f);
    EXPECT_EQ(Texel(locked, 2, 1)[1], 0.75f);
    EXPECT_EQ(Texel(locked, 2, 1)[2], 0.25f);
    tex->UnlockRect(0);
    tex->Release();
}

TEST_F(TextureFill, EveryLevelIsComputedAtItsOwnResolution) {
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 4, 0, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SCRATCH, &tex, nullptr), S_OK);
    ASSERT_EQ(tex->GetLevelCount(), 4u);
    std::vector<Call> calls;
    ASSERT_EQ(FillTexture(tex, Record2D, &calls), S_OK);
    // 8x4, 4x2, 2x1, 1x1 texels.
    ASSERT_EQ(calls.size(), 32u + 8u + 2u + 1u);
    EXPECT_EQ(calls[40].cx, 0.25f);
    EXPECT_EQ(calls[40].sx, 0.5f);
    EXPECT_EQ(calls[40].sy, 1.0f);
    EXPECT_EQ(calls[42].cx, 0.5f);
    // Level 2's stored texel is its own centre, not an average of level 0.
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(2, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(Texel(locked, 1, 0)[0], 0.75f);
    EXPECT_EQ(Texel(locked, 1, 0)[1], 0.5f);
    tex->UnlockRect(2);
    tex->Release();
}

TEST_F(TextureFill, CubeOfSizeOneGetsEachFaceAxis) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(1, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SCRATCH, &cube, nullptr), S_OK);
    std::vector<Call> calls;
    ASSERT_EQ(FillCubeTexture(cube, Record3D, &calls), S_OK);
    const Call expected[6] = {
        {1, 0, 0, 0, 2, 2}, {-1, 0, 0, 0, 2, 2}, {0, 1, 0, 2, 0, 2},
        {0, -1, 0, 2, 0, 2}, {0, 0, 1, 2, 2, 0}, {0, 0, -1, 2, 2, 0},
    };
    ASSERT_EQ(calls.size(), 6u);
    for (int f = 0; f < 6; ++f) EXPECT_EQ(std::memcmp(&calls[f], &expected[f], sizeof(Call)), 0) << "face " << f;
    EXPECT_EQ(FillCubeTexture(nullptr, Record3D, nullptr), D3DERR_INVALIDCALL);
    cube->Release();
}

TEST_F(TextureFill, CubeFacesOfSizeTwoRunAcrossEachFace) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(2, 2, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SCRATCH, &cube, nullptr), S_OK);
    std::vector<Call> calls;
    ASSERT_EQ(FillCubeTexture(cube, Record3D, &calls), S_OK);
    // Six faces of 4 texels, then six faces of 1.
    ASSERT_EQ(calls.size(), 6u * 4 + 6);
    // +X, texel (1, 0): a = 1.5, b = 0.5.
    EXPECT_EQ(calls[1].cx, 1.0f);
    EXPECT_EQ(calls[1].cy, 0.5f);
    EXPECT_EQ(calls[1].cz, -0.5f);
    // -Z, texel (0, 1): (1 - a, 1 - b, -1) with a = 0.5, b = 1.5.
    EXPECT_EQ(calls[5 * 4 + 2].cx, 0.5f);
    EXPECT_EQ(calls[5 * 4 + 2].cy, -0.5f);
    EXPECT_EQ(calls[5 * 4 + 2].cz, -1.0f);
    EXPECT_EQ(calls[5 * 4 + 2].sx, 1.0f);
    // The level-1 faces are single texels again.
    EXPECT_EQ(calls[24 + 2].cy, 1.0f);
    EXPECT_EQ(calls[24 + 2].sz, 2.0f);
    // Face -Y of level 0 holds its own centres.
    D3DLOCKED_RECT locked;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(Texel(locked, 1, 1)[0], 0.5f);
    EXPECT_EQ(Texel(locked, 1, 1)[1], -1.0f);
    EXPECT_EQ(Texel(locked, 1, 1)[2], -0.5f);
    cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 0);
    cube->Release();
}

TEST_F(TextureFill, VolumeSlicesGetDepthCentres) {
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(2, 2, 4, 0, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SCRATCH, &volume, nullptr),
              S_OK);
    std::vector<Call> calls;
    ASSERT_EQ(FillVolumeTexture(volume, Record3D, &calls), S_OK);
    // 2x2x4, 1x1x2, 1x1x1.
    ASSERT_EQ(calls.size(), 16u + 2u + 1u);
    EXPECT_EQ(calls[15].cx, 0.75f);
    EXPECT_EQ(calls[15].cz, 0.875f);
    EXPECT_EQ(calls[15].sz, 0.25f);
    EXPECT_EQ(calls[17].cz, 0.75f);
    EXPECT_EQ(calls[17].sx, 1.0f);
    volume->Release();
}

}  // namespace
