// The device: its state (render, sampler and stage states, transforms,
// bindings, shader constants) and the calls that set and read it. Drawing
// is in draw.cpp, the pipeline stages in the files it calls.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <vector>

#include "gfx/device/direct3d.h"
#include "gfx/device/resources.h"
#include "gfx/device/shader_objects.h"
#include "gfx/device/vertex_input.h"
#include "gfx/device_options.h"
#include "gfx/presenter.h"

namespace gfx {

class ThreadPool;

// Samplers 0-15 serve pixel stages, 16 the displacement map, 17-20 the vertex
// texture samplers (D3DDMAPSAMPLER onwards).
constexpr UINT kSamplerSlots = 21;
constexpr UINT kPixelSamplers = 16;
constexpr UINT kVertexSamplerBase = 17;
constexpr UINT kTextureStages = 8;
// Transforms are kept for numbers below this (world matrices 0-255 included).
constexpr UINT kTransformSlots = 512;

struct StreamBinding {
    VertexBufferImpl* buffer = nullptr;
    UINT offset = 0;
    UINT stride = 0;
};

class DeviceImpl final : public IDirect3DDevice9 {
public:
    static HRESULT Create(Direct3D9Impl* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
                          D3DPRESENT_PARAMETERS* params, DeviceImpl** out);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // Children (resources) keep the device object alive.
    void AddChild();
    void ReleaseChild();

    HRESULT TestCooperativeLevel() override { return D3D_OK; }
    UINT GetAvailableTextureMem() override { return 512u << 20; }
    HRESULT EvictManagedResources() override { return D3D_OK; }
    HRESULT GetDirect3D(IDirect3D9** d3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindow, const void* dirtyRegion) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DVolumeTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               HANDLE* sharedHandle) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               DWORD multiSampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* sharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      DWORD multiSampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) override;

    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                          const POINT* destPoint) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) override;
    HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* dest) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;

    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* target) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** target) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD sampler, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD sampler, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetScissorRect(const RECT* rect) override;
    HRESULT GetScissorRect(RECT* rect) override;

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                            UINT vertexStride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                   UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                   const void* vertexData, UINT vertexStride) override;

    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** indices) override;

    HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT GetVertexShaderConstantF(UINT start, float* data, UINT count) override;
    HRESULT SetVertexShaderConstantI(UINT start, const int* data, UINT count) override;
    HRESULT GetVertexShaderConstantI(UINT start, int* data, UINT count) override;
    HRESULT SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) override;
    HRESULT GetVertexShaderConstantB(UINT start, BOOL* data, UINT count) override;
    HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT GetPixelShaderConstantF(UINT start, float* data, UINT count) override;
    HRESULT SetPixelShaderConstantI(UINT start, const int* data, UINT count) override;
    HRESULT GetPixelShaderConstantI(UINT start, int* data, UINT count) override;
    HRESULT SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) override;
    HRESULT GetPixelShaderConstantB(UINT start, BOOL* data, UINT count) override;

    // Extensions (gfx/presenter.h, gfx/device_options.h).
    void SetPresenter(std::shared_ptr<Presenter> presenter) { presenter_ = std::move(presenter); }
    void SetOptions(const DeviceOptions& options);

    // State read by the pipeline.
    DWORD rs(D3DRENDERSTATETYPE state) const { return renderStates_[state]; }
    float rsFloat(D3DRENDERSTATETYPE state) const;
    const std::array<DWORD, kSamplerStateCount>& sampler(UINT slot) const { return samplerStates_[slot]; }
    BaseTextureImpl* texture(UINT slot) const { return AsTextureImpl(textures_[slot]); }
    DWORD tss(UINT stage, D3DTEXTURESTAGESTATETYPE type) const { return stageStates_[stage][type]; }
    const D3DMATRIX& transform(UINT index) const { return transforms_[index]; }
    const D3DVIEWPORT9& viewport() const { return viewport_; }
    const RECT& scissor() const { return scissor_; }
    SurfaceImpl* renderTarget() const { return renderTargets_[0]; }
    SurfaceImpl* depthStencil() const { return depthStencil_; }
    const StreamBinding& stream(UINT i) const { return streams_[i]; }
    IndexBufferImpl* indices() const { return indices_; }
    VertexDeclImpl* declaration() const { return declaration_; }
    VertexShaderImpl* vertexShader() const { return vertexShader_; }
    PixelShaderImpl* pixelShader() const { return pixelShader_; }
    const ShaderConstants& vsConstants() const { return vsConstants_; }
    const ShaderConstants& psConstants() const { return psConstants_; }
    ThreadPool& threads() { return *threads_; }
    const DeviceOptions& options() const { return options_; }

private:
    DeviceImpl(Direct3D9Impl* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation);
    ~DeviceImpl() override;
    HRESULT InitSwapChain(D3DPRESENT_PARAMETERS* params);
    void ResetStates();
    void DropBindings();
    // Shared by the four draw calls: vertices come from the bound streams or
    // from one user pointer, indices from the index buffer or a user pointer.
    struct DrawSource;
    HRESULT Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, const DrawSource& source);

    std::atomic<ULONG> refs_{1};
    std::atomic<ULONG> children_{0};
    bool released_ = false;

    Direct3D9Impl* d3d_;
    D3DDEVICE_CREATION_PARAMETERS creation_;
    D3DPRESENT_PARAMETERS present_{};
    SurfaceImpl* backBuffer_ = nullptr;
    SurfaceImpl* autoDepth_ = nullptr;
    std::vector<BYTE> frontBuffer_;
    uint64_t presentCount_ = 0;
    bool inScene_ = false;

    DWORD renderStates_[kRenderStateCount] = {};
    std::array<std::array<DWORD, kSamplerStateCount>, kSamplerSlots> samplerStates_{};
    DWORD stageStates_[kTextureStages][kTextureStageStateCount] = {};
    std::vector<D3DMATRIX> transforms_;
    D3DVIEWPORT9 viewport_{};
    RECT scissor_{};

    SurfaceImpl* renderTargets_[4] = {};
    SurfaceImpl* depthStencil_ = nullptr;
    IDirect3DBaseTexture9* textures_[kSamplerSlots] = {};
    StreamBinding streams_[kMaxStreams];
    IndexBufferImpl* indices_ = nullptr;
    VertexDeclImpl* declaration_ = nullptr;
    DWORD fvf_ = 0;
    std::map<DWORD, VertexDeclImpl*> fvfDeclarations_;
    VertexShaderImpl* vertexShader_ = nullptr;
    PixelShaderImpl* pixelShader_ = nullptr;
    ShaderConstants vsConstants_;
    ShaderConstants psConstants_;

    std::shared_ptr<Presenter> presenter_;
    DeviceOptions options_;
    std::unique_ptr<ThreadPool> threads_;
};

}  // namespace gfx
