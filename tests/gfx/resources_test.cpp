// Resource creation, level descriptions, locking, copies and state round trips.
#include <cmath>
#include <cstring>

#include "gfx/device/vertex_input.h"
#include "gfx/exports.h"
#include "gfx/presenter.h"
#include "platform/modules.h"
#include "scene_helper.h"

using gfxtest::TestDevice;

namespace {

TEST(Resources, TextureLevelsAndDescriptions) {
    TestDevice t;
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(t.dev->CreateTexture(100, 60, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    ASSERT_EQ(tex->GetLevelCount(), 7u);
    const UINT widths[] = {100, 50, 25, 12, 6, 3, 1}, heights[] = {60, 30, 15, 7, 3, 1, 1};
    for (UINT l = 0; l < 7; ++l) {
        D3DSURFACE_DESC d;
        ASSERT_EQ(tex->GetLevelDesc(l, &d), D3D_OK);
        EXPECT_EQ(d.Width, widths[l]);
        EXPECT_EQ(d.Height, heights[l]);
        EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(d.Pool, D3DPOOL_MANAGED);
        EXPECT_EQ(d.Type, D3DRTYPE_SURFACE);
    }
    D3DSURFACE_DESC d;
    EXPECT_EQ(tex->GetLevelDesc(7, &d), D3DERR_INVALIDCALL);
    // A level surface shares the texture's count and names it as container.
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(2, &level), D3D_OK);
    IDirect3DTexture9* container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
    EXPECT_EQ(container, tex);
    container->Release();
    level->Release();
    EXPECT_EQ(tex->Release(), 0u);
}

TEST(Resources, CreationRefusesWhatTheDeviceCannotDo) {
    TestDevice t;
    IDirect3DTexture9* tex = nullptr;
    EXPECT_EQ(t.dev->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->CreateTexture(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->CreateTexture(1u << 20, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->CreateTexture(4, 4, 1, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &tex, nullptr), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(t.dev->CreateTexture(4, 4, 1, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(t.dev->CreateTexture(4, 4, 1, 0, D3DFORMAT(12345), D3DPOOL_MANAGED, &tex, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr),
              D3DERR_INVALIDCALL);
    // Scratch textures hold formats the device cannot sample.
    ASSERT_EQ(t.dev->CreateTexture(4, 4, 1, 0, D3DFMT_R8G8B8, D3DPOOL_SCRATCH, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(lr.Pitch, 12);
    tex->UnlockRect(0);
    tex->Release();
}

TEST(Resources, LockingRules) {
    TestDevice t;
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(t.dev->CreateTexture(16, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(tex->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.Pitch, 64);
    EXPECT_EQ(tex->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
    ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
    EXPECT_EQ(tex->UnlockRect(0), D3DERR_INVALIDCALL);
    RECT r = {2, 3, 6, 5};
    ASSERT_EQ(tex->LockRect(0, &part, &r, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE*>(part.pBits) - static_cast<BYTE*>(whole.pBits), 3 * 64 + 2 * 4);
    tex->UnlockRect(0);
    RECT outside = {10, 0, 17, 2};
    EXPECT_EQ(tex->LockRect(0, &part, &outside, 0), D3DERR_INVALIDCALL);
    tex->Release();

    // Compressed levels lock by whole 4x4 blocks.
    ASSERT_EQ(t.dev->CreateTexture(16, 16, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    ASSERT_EQ(tex->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.Pitch, 32);  // four blocks of 8 bytes
    tex->UnlockRect(0);
    RECT unaligned = {2, 0, 6, 4};
    EXPECT_EQ(tex->LockRect(0, &part, &unaligned, 0), D3DERR_INVALIDCALL);
    tex->Release();

    // Default-pool textures are not lockable unless dynamic.
    ASSERT_EQ(t.dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->LockRect(0, &whole, nullptr, 0), D3DERR_INVALIDCALL);
    tex->Release();
    ASSERT_EQ(t.dev->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->LockRect(0, &whole, nullptr, D3DLOCK_DISCARD), D3D_OK);
    tex->UnlockRect(0);
    tex->Release();
}

TEST(Resources, BuffersLockTheirRangeOnly) {
    TestDevice t;
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(t.dev->CreateVertexBuffer(224, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* p = nullptr;
    void* q = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    std::memset(p, 0xAB, 224);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    ASSERT_EQ(vb->Lock(200, 24, &q, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE*>(q) - static_cast<BYTE*>(p), 200);
    vb->Unlock();
    EXPECT_EQ(vb->Lock(200, 25, &q, 0), D3DERR_INVALIDCALL);
    D3DVERTEXBUFFER_DESC desc;
    ASSERT_EQ(vb->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 224u);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    vb->Release();
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(t.dev->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &ib, nullptr),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(t.dev->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    ib->Release();
}

TEST(Resources, UpdateSurfaceAndTextureCopyIntoTheDefaultPool) {
    TestDevice t;
    IDirect3DTexture9 *staging = nullptr, *target = nullptr;
    ASSERT_EQ(t.dev->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &staging, nullptr), D3D_OK);
    ASSERT_EQ(t.dev->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
    for (UINT l = 0; l < staging->GetLevelCount(); ++l) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(staging->LockRect(l, &lr, nullptr, 0), D3D_OK);
        *static_cast<uint32_t*>(lr.pBits) = 0x01020300u + l;
        staging->UnlockRect(l);
    }
    ASSERT_EQ(t.dev->UpdateTexture(staging, target), D3D_OK);
    // Read back through a default-pool to system-memory path: sample it.
    t.dev->SetTexture(0, target);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    t.dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    t.DrawRect(-0.5f, -0.5f, 7.5f, 7.5f, 0);
    EXPECT_EQ(t.Pixels()[0], 0x01020300u);
    EXPECT_EQ(t.dev->UpdateTexture(target, staging), D3DERR_INVALIDCALL);  // wrong direction
    IDirect3DSurface9 *src = nullptr, *dst = nullptr;
    ASSERT_EQ(staging->GetSurfaceLevel(1, &src), D3D_OK);
    ASSERT_EQ(target->GetSurfaceLevel(0, &dst), D3D_OK);
    RECT r = {0, 0, 2, 2};
    POINT at = {6, 6};
    EXPECT_EQ(t.dev->UpdateSurface(src, &r, dst, &at), D3D_OK);
    POINT outside = {7, 7};
    EXPECT_EQ(t.dev->UpdateSurface(src, &r, dst, &outside), D3DERR_INVALIDCALL);
    src->Release();
    dst->Release();
    t.dev->SetTexture(0, nullptr);
    staging->Release();
    target->Release();
}

TEST(Resources, VertexElementsDecodeEveryType) {
    struct Case {
        BYTE type;
        std::vector<BYTE> bytes;
        float expected[4];
    };
    auto f32 = [](std::initializer_list<float> v) {
        std::vector<BYTE> b(v.size() * 4);
        std::memcpy(b.data(), std::data(v), b.size());
        return b;
    };
    const Case cases[] = {
        {D3DDECLTYPE_FLOAT1, f32({1.5f}), {1.5f, 0, 0, 1}},
        {D3DDECLTYPE_FLOAT2, f32({1.5f, -2}), {1.5f, -2, 0, 1}},
        {D3DDECLTYPE_FLOAT3, f32({1, 2, 3}), {1, 2, 3, 1}},
        {D3DDECLTYPE_FLOAT4, f32({1, 2, 3, 4}), {1, 2, 3, 4}},
        {D3DDECLTYPE_D3DCOLOR, {0x33, 0x66, 0x99, 0xFF}, {0.6f, 0.4f, 0.2f, 1.f}},  // B, G, R, A bytes
        {D3DDECLTYPE_UBYTE4, {1, 2, 3, 255}, {1, 2, 3, 255}},
        {D3DDECLTYPE_SHORT2, {0xFF, 0xFF, 0x02, 0x00}, {-1, 2, 0, 1}},
        {D3DDECLTYPE_SHORT4, {0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x00}, {-32768, 32767, 1, 0}},
        {D3DDECLTYPE_UBYTE4N, {0, 51, 255, 102}, {0, 0.2f, 1, 0.4f}},
        {D3DDECLTYPE_SHORT2N, {0xFF, 0x7F, 0x00, 0x80}, {1, -1, 0, 1}},
        {D3DDECLTYPE_SHORT4N, {0x01, 0x80, 0x00, 0x00, 0xFF, 0x7F, 0x00, 0x80}, {-1, 0, 1, -1}},
        {D3DDECLTYPE_USHORT2N, {0xFF, 0xFF, 0x00, 0x00}, {1, 0, 0, 1}},
        {D3DDECLTYPE_USHORT4N, {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF}, {0, 1, 0, 1}},
        // UDEC3: x = 1, y = 1023, z = 512 in 10-bit fields.
        {D3DDECLTYPE_UDEC3, {0x01, 0xFC, 0x0F, 0x20}, {1, 1023, 512, 1}},
        // DEC3N: x = 511, y = -511 (0x201), z = 0.
        {D3DDECLTYPE_DEC3N, {0xFF, 0x05, 0x08, 0x00}, {1, -1, 0, 1}},
        {D3DDECLTYPE_FLOAT16_2, {0x00, 0x3C, 0x00, 0xC0}, {1, -2, 0, 1}},
        {D3DDECLTYPE_FLOAT16_4, {0x00, 0x38, 0x00, 0x00, 0x00, 0x7C, 0x01, 0x00}, {0.5f, 0, INFINITY, 5.96046448e-8f}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(gfx::DeclTypeSize(c.type), c.bytes.size()) << int(c.type);
        float out[4];
        gfx::DecodeElement(c.type, c.bytes.data(), out);
        for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(out[i], c.expected[i]) << "type " << int(c.type) << " comp " << i;
    }
}

TEST(Resources, DeclarationsAreCheckedAndReadBack) {
    TestDevice t;
    const D3DVERTEXELEMENT9 good[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                      {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                      D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(t.dev->CreateVertexDeclaration(good, &decl), D3D_OK);
    UINT n = 0;
    ASSERT_EQ(decl->GetDeclaration(nullptr, &n), D3D_OK);
    EXPECT_EQ(n, 3u);
    D3DVERTEXELEMENT9 back[3];
    ASSERT_EQ(decl->GetDeclaration(back, &n), D3D_OK);
    EXPECT_EQ(std::memcmp(back, good, sizeof(good)), 0);
    decl->Release();
    const D3DVERTEXELEMENT9 duplicate[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                           {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                           D3DDECL_END()};
    EXPECT_EQ(t.dev->CreateVertexDeclaration(duplicate, &decl), D3DERR_INVALIDCALL);
    const D3DVERTEXELEMENT9 badType[] = {{0, 0, 40, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    EXPECT_EQ(t.dev->CreateVertexDeclaration(badType, &decl), D3DERR_INVALIDCALL);
    EXPECT_EQ(gfx::FVFStride(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1), 28u);
    EXPECT_EQ(gfx::FVFStride(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1)), 12u + 12 + 8 + 12);
}

TEST(Device, StatesAndConstantsRoundTripWithinTheirLimits) {
    TestDevice t;
    DWORD v = 0;
    ASSERT_EQ(t.dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA), D3D_OK);
    ASSERT_EQ(t.dev->GetRenderState(D3DRS_SRCBLEND, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DBLEND_SRCALPHA));
    ASSERT_EQ(t.dev->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 3), D3D_OK);
    ASSERT_EQ(t.dev->GetSamplerState(0, D3DSAMP_MAXMIPLEVEL, &v), D3D_OK);
    EXPECT_EQ(v, 3u);
    ASSERT_EQ(t.dev->GetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MINFILTER, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DTEXF_POINT));
    EXPECT_EQ(t.dev->SetSamplerState(16, D3DSAMP_MINFILTER, 1), D3DERR_INVALIDCALL);

    float c[8] = {1, 2, 3, 4, 5, 6, 7, 8}, back[8] = {};
    EXPECT_EQ(t.dev->SetVertexShaderConstantF(254, c, 2), D3D_OK);
    EXPECT_EQ(t.dev->SetVertexShaderConstantF(255, c, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->SetPixelShaderConstantF(222, c, 2), D3D_OK);
    EXPECT_EQ(t.dev->SetPixelShaderConstantF(223, c, 2), D3DERR_INVALIDCALL);
    ASSERT_EQ(t.dev->GetVertexShaderConstantF(254, back, 2), D3D_OK);
    EXPECT_EQ(std::memcmp(c, back, sizeof(c)), 0);
    int ints[4] = {1, 2, 3, 4};
    EXPECT_EQ(t.dev->SetVertexShaderConstantI(15, ints, 1), D3D_OK);
    EXPECT_EQ(t.dev->SetPixelShaderConstantI(16, ints, 1), D3DERR_INVALIDCALL);
    BOOL bools[2] = {TRUE, 7};
    BOOL bools2[2] = {};
    EXPECT_EQ(t.dev->SetPixelShaderConstantB(14, bools, 2), D3D_OK);
    EXPECT_EQ(t.dev->SetVertexShaderConstantB(15, bools, 2), D3DERR_INVALIDCALL);
    ASSERT_EQ(t.dev->GetPixelShaderConstantB(14, bools2, 2), D3D_OK);
    EXPECT_EQ(bools2[1], TRUE);

    D3DVIEWPORT9 vp = {8, 8, 16, 16, 0.f, 1.f};
    EXPECT_EQ(t.dev->SetViewport(&vp), D3D_OK);
    vp.Width = 64;
    EXPECT_EQ(t.dev->SetViewport(&vp), D3DERR_INVALIDCALL);
}

TEST(Device, CapsAndFormatChecksDescribeTheDevice) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(Direct3DCreate9(12), nullptr);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 800u);
    EXPECT_EQ(mode.Height, 600u);
    const D3DFORMAT display = mode.Format;
    struct Case {
        DWORD usage;
        D3DRESOURCETYPE type;
        D3DFORMAT format;
        HRESULT expected;
    } cases[] = {
        {0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, D3D_OK},
        {0, D3DRTYPE_TEXTURE, D3DFMT_DXT5, D3D_OK},
        {0, D3DRTYPE_TEXTURE, D3DFMT_L8, D3D_OK},
        {0, D3DRTYPE_TEXTURE, D3DFMT_R8G8B8, D3DERR_NOTAVAILABLE},
        {0, D3DRTYPE_TEXTURE, D3DFMT_P8, D3DERR_NOTAVAILABLE},
        {0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_DXT1, D3DERR_NOTAVAILABLE},
        {D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, D3D_OK},
        {D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_R5G6B5, D3DERR_NOTAVAILABLE},
        {D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D24S8, D3D_OK},
        {D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_TEXTURE, D3DFMT_D24S8, D3DERR_NOTAVAILABLE},
        {D3DUSAGE_QUERY_FILTER, D3DRTYPE_TEXTURE, D3DFMT_A32B32G32R32F, D3DERR_NOTAVAILABLE},
        {D3DUSAGE_QUERY_VERTEXTEXTURE, D3DRTYPE_TEXTURE, D3DFMT_R32F, D3D_OK},
        {D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, D3DERR_NOTAVAILABLE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, display, c.usage, c.type, c.format),
                  c.expected)
            << "format " << c.format << " usage " << c.usage;
    }
    EXPECT_EQ(d3d->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, display, D3DFMT_A8R8G8B8, FALSE), D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, display, D3DFMT_A8R8G8B8, D3DFMT_D24S8),
              D3D_OK);
    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP);
    EXPECT_FALSE(caps.TextureCaps & D3DPTEXTURECAPS_POW2);
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(3, 0));
    d3d->Release();
}

TEST(Device, ExportsAndPresentation) {
    KilnGfxRegisterExports();
    HMODULE d3d9 = GetModuleHandleA("d3d9.dll");
    ASSERT_NE(d3d9, nullptr);
    EXPECT_NE(GetProcAddress(d3d9, "Direct3DCreate9"), nullptr);
    EXPECT_NE(GetProcAddress(d3d9, "Direct3DShaderValidatorCreate9"), nullptr);
    auto mute = reinterpret_cast<BOOL (*)(BOOL)>(GetProcAddress(d3d9, "DebugSetMute"));
    ASSERT_NE(mute, nullptr);
    mute(TRUE);
    EXPECT_TRUE(gfx::DebugOutputMuted());
    mute(FALSE);
    EXPECT_FALSE(gfx::DebugOutputMuted());

    auto presenter = std::make_shared<gfx::MemoryPresenter>(true);
    TestDevice t(16, 8);
    ASSERT_EQ(gfx::SetDevicePresenter(t.dev, presenter), D3D_OK);
    t.dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.f, 0);
    ASSERT_EQ(t.dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    t.dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF405060, 1.f, 0);
    ASSERT_EQ(t.dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(presenter->FrameCount(), 2u);
    std::vector<gfx::FrameImage> frames = presenter->Frames();
    EXPECT_EQ(frames[0].At(3, 3), 0xFF102030u);
    EXPECT_EQ(presenter->LastFrame().At(15, 7), 0xFF405060u);
    // The front buffer holds the last presented frame.
    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(t.dev->CreateOffscreenPlainSurface(16, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
    t.dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.f, 0);
    ASSERT_EQ(t.dev->GetFrontBufferData(0, copy), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<uint32_t*>(lr.pBits), 0xFF405060u);
    copy->UnlockRect();
    copy->Release();
}

TEST(Device, ReleasingTheDeviceFirstKeepsResourcesUsable) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 8;
    pp.BackBufferHeight = 8;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_FLIP;
    pp.Windowed = FALSE;
    IDirect3DDevice9* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    dev->SetTexture(0, tex);
    d3d->Release();
    EXPECT_EQ(dev->Release(), 0u);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    tex->UnlockRect(0);
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(tex->GetDevice(&owner), D3D_OK);
    owner->Release();
    EXPECT_EQ(tex->Release(), 0u);
}

}  // namespace
