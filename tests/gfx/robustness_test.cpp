// Cube and volume sampling, and draws with hostile input: indices beyond
// the buffers, absurd counts, non-finite positions, missing bindings.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "scene_helper.h"

using gfxtest::TestDevice;

namespace {

struct DirVertex {
    float x, y, z, rhw;
    float u, v, w;
};
constexpr DWORD kDirFVF = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);

// Draws one pixel at (x, 0) whose texture coordinate is (u, v, w).
void DrawPixel(IDirect3DDevice9* dev, float x, float u, float v, float w) {
    DirVertex tri[3] = {{x - 0.5f, -0.5f, 0.5f, 1, u, v, w},
                        {x + 1.5f, -0.5f, 0.5f, 1, u, v, w},
                        {x - 0.5f, 1.5f, 0.5f, 1, u, v, w}};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(DirVertex)), D3D_OK);
}

TEST(Sampling, CubeFacesFollowTheMajorAxis) {
    TestDevice t(8, 1);
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(t.dev->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    const uint32_t faceColour[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (UINT f = 0; f < 6; ++f) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(f), 0, &lr, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x)
                reinterpret_cast<uint32_t*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch)[x] = faceColour[f];
        cube->UnlockRect(D3DCUBEMAP_FACES(f), 0);
    }
    t.dev->SetTexture(0, cube);
    t.dev->SetFVF(kDirFVF);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    const float dirs[6][3] = {{1, 0.2f, -0.3f}, {-1, 0.1f, 0.2f}, {0.3f, 1, 0.1f},
                              {0.2f, -1, -0.4f}, {-0.1f, 0.3f, 1}, {0.4f, -0.2f, -1}};
    for (int f = 0; f < 6; ++f) DrawPixel(t.dev, float(f), dirs[f][0], dirs[f][1], dirs[f][2]);
    std::vector<uint32_t> px = t.Pixels();
    for (int f = 0; f < 6; ++f) EXPECT_EQ(px[f], faceColour[f]) << "face " << f;
    t.dev->SetTexture(0, nullptr);
    cube->Release();
}

TEST(Sampling, VolumeSlicesAreAddressedByW) {
    TestDevice t(4, 1);
    IDirect3DVolumeTexture9* vol = nullptr;
    ASSERT_EQ(t.dev->CreateVolumeTexture(2, 2, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &vol, nullptr), D3D_OK);
    D3DVOLUME_DESC desc;
    ASSERT_EQ(vol->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Depth, 4u);
    D3DLOCKED_BOX box;
    ASSERT_EQ(vol->LockBox(0, &box, nullptr, 0), D3D_OK);
    EXPECT_EQ(box.RowPitch, 8);
    EXPECT_EQ(box.SlicePitch, 16);
    for (int z = 0; z < 4; ++z)
        for (int i = 0; i < 4; ++i)
            reinterpret_cast<uint32_t*>(static_cast<BYTE*>(box.pBits) + z * box.SlicePitch)[i] = 0x00100000u * (z + 1);
    vol->UnlockBox(0);
    t.dev->SetTexture(0, vol);
    t.dev->SetFVF(kDirFVF);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    for (int z = 0; z < 4; ++z) DrawPixel(t.dev, float(z), 0.25f, 0.25f, (z + 0.5f) / 4.f);
    std::vector<uint32_t> px = t.Pixels();
    for (int z = 0; z < 4; ++z) EXPECT_EQ(px[z], 0xFF000000u | (0x00100000u * (z + 1))) << "slice " << z;
    t.dev->SetTexture(0, nullptr);
    vol->Release();
}

TEST(Robustness, HostileDrawsFailCleanlyOrDrawNothingWrong) {
    TestDevice t(16, 16);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    };
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(t.dev->CreateVertexBuffer(3 * sizeof(V), 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    ASSERT_EQ(t.dev->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    void* p;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    V verts[3] = {{nan, 0, 0.5f, 0xFFFFFFFF}, {inf, -inf, 0.5f, 0xFFFFFFFF}, {1e30f, 1e30f, 0.5f, 0xFFFFFFFF}};
    std::memcpy(p, verts, sizeof(verts));
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
    const WORD indices[6] = {0, 1, 2, 0, 60000, 2};  // 60000 lies far beyond the vertex buffer
    std::memcpy(p, indices, sizeof(indices));
    ib->Unlock();

    // Without a declaration nothing can be drawn.
    t.dev->SetVertexDeclaration(nullptr);
    EXPECT_EQ(t.dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    t.dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    t.dev->SetStreamSource(0, vb, 0, sizeof(V));
    EXPECT_EQ(t.dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);  // no indices
    t.dev->SetIndices(ib);
    // Non-finite and huge positions, and a vertex beyond the buffer (read as
    // zeros): drawn without touching memory outside the buffers.
    EXPECT_EQ(t.dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 2), D3D_OK);
    EXPECT_EQ(t.dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -70000, 0, 3, 0, 2), D3D_OK);
    EXPECT_EQ(t.dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1000000, 5), D3D_OK);
    // Index ranges beyond the index buffer and absurd counts are refused.
    EXPECT_EQ(t.dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 4, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0xFFFFFFF0u, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 0xFFFFFFFFu), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->DrawPrimitive(D3DPRIMITIVETYPE(99), 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, 16), D3DERR_INVALIDCALL);
    // A stream offset past the end of its buffer reads zeros.
    EXPECT_EQ(t.dev->SetStreamSource(0, vb, 4096, sizeof(V)), D3D_OK);
    EXPECT_EQ(t.dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    t.dev->SetStreamSource(0, nullptr, 0, 0);
    t.dev->SetIndices(nullptr);
    vb->Release();
    ib->Release();
}

// 32-bit indices that span sixteen million vertices but use four: only the
// used vertices are shaded, and the triangle comes out as a dense draw's.
TEST(Robustness, SparseIndexRangesShadeOnlyTheUsedVertices) {
    struct V {
        float x, y, z, rhw;
        D3DCOLOR c;
    };
    const V verts[3] = {{1, 1, 0.5f, 1, 0xFFFF0000}, {15, 2, 0.5f, 1, 0xFF00FF00}, {3, 14, 0.5f, 1, 0xFF0000FF}};
    auto draw = [&](const std::vector<uint32_t>& indices) {
        TestDevice t(16, 16);
        IDirect3DVertexBuffer9* vb = nullptr;
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(t.dev->CreateVertexBuffer(sizeof(verts), 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
        EXPECT_EQ(t.dev->CreateIndexBuffer(UINT(indices.size() * 4), 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT, &ib, nullptr),
                  D3D_OK);
        void* p;
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, verts, sizeof(verts));
        vb->Unlock();
        ib->Lock(0, 0, &p, 0);
        std::memcpy(p, indices.data(), indices.size() * 4);
        ib->Unlock();
        t.dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        t.dev->SetStreamSource(0, vb, 0, sizeof(V));
        t.dev->SetIndices(ib);
        EXPECT_EQ(t.dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, UINT(indices.size() / 3)), D3D_OK);
        std::vector<uint32_t> pixels = t.Pixels();
        t.dev->SetStreamSource(0, nullptr, 0, 0);
        t.dev->SetIndices(nullptr);
        vb->Release();
        ib->Release();
        return pixels;
    };
    const std::vector<uint32_t> dense = draw({0, 1, 2});
    ASSERT_NE(std::count(dense.begin(), dense.end(), 0u), std::ptrdiff_t(dense.size()));
    // The far vertex lies beyond the buffer (zeros); its triangle is degenerate.
    EXPECT_EQ(draw({0xFFFFFF, 0, 0xFFFFFF, 0, 1, 2}), dense);
    EXPECT_EQ(draw({0xFFFFFFFF, 1, 0xFFFFFFFF, 0, 1, 2}), dense);
}

}  // namespace

namespace {

TEST(Primitives, PointsAndLinesCoverOnePixelWide) {
    TestDevice t(8, 8);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    gfxtest::TLVertex points[2] = {{1, 1, 0.5f, 1, 0xFFFF0000, 0, 0}, {6, 2, 0.5f, 1, 0xFFFF0000, 0, 0}};
    ASSERT_EQ(t.dev->DrawPrimitiveUP(D3DPT_POINTLIST, 2, points, sizeof(gfxtest::TLVertex)), D3D_OK);
    // A horizontal line along row 4 from x = 1 to 6, and a vertical one in column 7.
    gfxtest::TLVertex lines[4] = {{1, 4, 0.5f, 1, 0xFF00FF00, 0, 0}, {6, 4, 0.5f, 1, 0xFF00FF00, 0, 0},
                                  {7, 3, 0.5f, 1, 0xFF0000FF, 0, 0}, {7, 7, 0.5f, 1, 0xFF0000FF, 0, 0}};
    ASSERT_EQ(t.dev->DrawPrimitiveUP(D3DPT_LINELIST, 2, lines, sizeof(gfxtest::TLVertex)), D3D_OK);
    std::vector<uint32_t> px = t.Pixels();
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            uint32_t expected = 0;
            if ((x == 1 && y == 1) || (x == 6 && y == 2)) expected = 0xFFFF0000;
            if (y == 4 && x >= 1 && x < 6) expected = 0xFF00FF00;
            if (x == 7 && y >= 3 && y < 7) expected = 0xFF0000FF;
            EXPECT_EQ(px[y * 8 + x], expected) << x << "," << y;
        }
    }
}

}  // namespace
