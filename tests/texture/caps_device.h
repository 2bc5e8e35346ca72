// A device that reports texture capabilities chosen by the test and does
// everything else through a real software device: the creation rules that
// depend on the caps (powers of two, square only, aspect ratio, no mip maps)
// can then be exercised against caps the software device itself never has.
#pragma once

#include "texture/kltexture.h"

namespace textest {

class CapsDevice final : public IDirect3DDevice9 {
public:
    // Takes a reference to `inner`; `adjust` edits the inner device's caps.
    template <typename Adjust>
    CapsDevice(IDirect3DDevice9* inner, Adjust adjust) : inner_(inner) {
        inner_->AddRef();
        inner_->GetDeviceCaps(&caps_);
        adjust(caps_);
    }
    ~CapsDevice() override { inner_->Release(); }

    HRESULT GetDeviceCaps(D3DCAPS9* caps) override {
        if (!caps) return D3DERR_INVALIDCALL;
        *caps = caps_;
        return D3D_OK;
    }
    // Lives on the test's stack: references are not counted.
    HRESULT QueryInterface(REFIID riid, void** object) override { return inner_->QueryInterface(riid, object); }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }

    // Everything else goes to the real device.
    HRESULT TestCooperativeLevel() override { return inner_->TestCooperativeLevel(); }
    UINT GetAvailableTextureMem() override { return inner_->GetAvailableTextureMem(); }
    HRESULT EvictManagedResources() override { return inner_->EvictManagedResources(); }
    HRESULT GetDirect3D(IDirect3D9** d3d) override { return inner_->GetDirect3D(d3d); }
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override {
        return inner_->GetDisplayMode(swapChain, mode);
    }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) override {
        return inner_->GetCreationParameters(params);
    }
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override { return inner_->Reset(params); }
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindow, const void* dirtyRegion) override {
        return inner_->Present(sourceRect, destRect, destWindow, dirtyRegion);
    }
    HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override {
        return inner_->GetBackBuffer(swapChain, backBuffer, type, surface);
    }
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* sharedHandle) override {
        return inner_->CreateTexture(width, height, levels, usage, format, pool, texture, sharedHandle);
    }
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DVolumeTexture9** texture, HANDLE* sharedHandle) override {
        return inner_->CreateVolumeTexture(width, height, depth, levels, usage, format, pool, texture, sharedHandle);
    }
    HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** texture, HANDLE* sharedHandle) override {
        return inner_->CreateCubeTexture(edgeLength, levels, usage, format, pool, texture, sharedHandle);
    }
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               HANDLE* sharedHandle) override {
        return inner_->CreateVertexBuffer(length, usage, fvf, pool, buffer, sharedHandle);
    }
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer,
                              HANDLE* sharedHandle) override {
        return inner_->CreateIndexBuffer(length, usage, format, pool, buffer, sharedHandle);
    }
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               DWORD multiSampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* sharedHandle) override {
        return inner_->CreateRenderTarget(width, height, format, multiSample, multiSampleQuality, lockable, surface,
                                          sharedHandle);
    }
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      DWORD multiSampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* sharedHandle) override {
        return inner_->CreateDepthStencilSurface(width, height, format, multiSample, multiSampleQuality, discard,
                                                 surface, sharedHandle);
    }
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) override {
        return inner_->CreateOffscreenPlainSurface(width, height, format, pool, surface, sharedHandle);
    }
    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                          const POINT* destPoint) override {
        return inner_->UpdateSurface(source, sourceRect, dest, destPoint);
    }
    HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) override {
        return inner_->UpdateTexture(source, dest);
    }
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) override {
        return inner_->GetRenderTargetData(renderTarget, dest);
    }
    HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* dest) override {
        return inner_->GetFrontBufferData(swapChain, dest);
    }
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override {
        return inner_->StretchRect(source, sourceRect, dest, destRect, filter);
    }
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override {
        return inner_->ColorFill(surface, rect, color);
    }
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* target) override {
        return inner_->SetRenderTarget(index, target);
    }
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** target) override {
        return inner_->GetRenderTarget(index, target);
    }
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override {
        return inner_->SetDepthStencilSurface(surface);
    }
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override {
        return inner_->GetDepthStencilSurface(surface);
    }
    HRESULT BeginScene() override { return inner_->BeginScene(); }
    HRESULT EndScene() override { return inner_->EndScene(); }
    HRESULT Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override {
        return inner_->Clear(rectCount, rects, flags, color, z, stencil);
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return inner_->SetTransform(state, matrix);
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
        return inner_->GetTransform(state, matrix);
    }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return inner_->MultiplyTransform(state, matrix);
    }
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override { return inner_->SetViewport(viewport); }
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override { return inner_->GetViewport(viewport); }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        return inner_->SetRenderState(state, value);
    }
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
        return inner_->GetRenderState(state, value);
    }
    HRESULT SetTexture(DWORD sampler, IDirect3DBaseTexture9* texture) override {
        return inner_->SetTexture(sampler, texture);
    }
    HRESULT GetTexture(DWORD sampler, IDirect3DBaseTexture9** texture) override {
        return inner_->GetTexture(sampler, texture);
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        return inner_->SetTextureStageState(stage, type, value);
    }
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override {
        return inner_->GetTextureStageState(stage, type, value);
    }
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        return inner_->SetSamplerState(sampler, type, value);
    }
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override {
        return inner_->GetSamplerState(sampler, type, value);
    }
    HRESULT SetScissorRect(const RECT* rect) override { return inner_->SetScissorRect(rect); }
    HRESULT GetScissorRect(RECT* rect) override { return inner_->GetScissorRect(rect); }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override {
        return inner_->DrawPrimitive(type, startVertex, primitiveCount);
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override {
        return inner_->DrawIndexedPrimitive(type, baseVertexIndex, minVertexIndex, numVertices, startIndex,
                                            primitiveCount);
    }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                            UINT vertexStride) override {
        return inner_->DrawPrimitiveUP(type, primitiveCount, vertexData, vertexStride);
    }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices, UINT primitiveCount,
                                   const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                   UINT vertexStride) override {
        return inner_->DrawIndexedPrimitiveUP(type, minVertexIndex, numVertices, primitiveCount, indexData, indexFormat,
                                              vertexData, vertexStride);
    }
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override {
        return inner_->CreateVertexDeclaration(elements, declaration);
    }
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override {
        return inner_->SetVertexDeclaration(declaration);
    }
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) override {
        return inner_->GetVertexDeclaration(declaration);
    }
    HRESULT SetFVF(DWORD fvf) override { return inner_->SetFVF(fvf); }
    HRESULT GetFVF(DWORD* fvf) override { return inner_->GetFVF(fvf); }
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override {
        return inner_->SetStreamSource(stream, buffer, offset, stride);
    }
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) override {
        return inner_->GetStreamSource(stream, buffer, offset, stride);
    }
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override { return inner_->SetIndices(indices); }
    HRESULT GetIndices(IDirect3DIndexBuffer9** indices) override { return inner_->GetIndices(indices); }
    HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override {
        return inner_->CreateVertexShader(function, shader);
    }
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override { return inner_->SetVertexShader(shader); }
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override { return inner_->GetVertexShader(shader); }
    HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) override {
        return inner_->SetVertexShaderConstantF(start, data, count);
    }
    HRESULT GetVertexShaderConstantF(UINT start, float* data, UINT count) override {
        return inner_->GetVertexShaderConstantF(start, data, count);
    }
    HRESULT SetVertexShaderConstantI(UINT start, const int* data, UINT count) override {
        return inner_->SetVertexShaderConstantI(start, data, count);
    }
    HRESULT GetVertexShaderConstantI(UINT start, int* data, UINT count) override {
        return inner_->GetVertexShaderConstantI(start, data, count);
    }
    HRESULT SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) override {
        return inner_->SetVertexShaderConstantB(start, data, count);
    }
    HRESULT GetVertexShaderConstantB(UINT start, BOOL* data, UINT count) override {
        return inner_->GetVertexShaderConstantB(start, data, count);
    }
    HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override {
        return inner_->CreatePixelShader(function, shader);
    }
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override { return inner_->SetPixelShader(shader); }
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override { return inner_->GetPixelShader(shader); }
    HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override {
        return inner_->SetPixelShaderConstantF(start, data, count);
    }
    HRESULT GetPixelShaderConstantF(UINT start, float* data, UINT count) override {
        return inner_->GetPixelShaderConstantF(start, data, count);
    }
    HRESULT SetPixelShaderConstantI(UINT start, const int* data, UINT count) override {
        return inner_->SetPixelShaderConstantI(start, data, count);
    }
    HRESULT GetPixelShaderConstantI(UINT start, int* data, UINT count) override {
        return inner_->GetPixelShaderConstantI(start, data, count);
    }
    HRESULT SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) override {
        return inner_->SetPixelShaderConstantB(start, data, count);
    }
    HRESULT GetPixelShaderConstantB(UINT start, BOOL* data, UINT count) override {
        return inner_->GetPixelShaderConstantB(start, data, count);
    }

private:
    IDirect3DDevice9* inner_;
    D3DCAPS9 caps_{};
};

}  // namespace textest
