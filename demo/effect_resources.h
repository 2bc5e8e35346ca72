// What every effect owns on the device, and the steps the effects share:
// compiling their two shader files, filling their buffers, binding and drawing.
#pragma once

#include "demo/vertex.h"
#include "gfx/d3d9.h"

namespace demo {

// Compiles "<name>.vhl" (vs_main, vs_2_0) and creates the vertex shader, then
// "<name>.phl" (ps_main, ps_2_0) and the pixel shader. Stops at the first
// failure, so a failed vertex shader leaves the pixel shader file unread.
// Returns true when both shaders were created.
bool LoadEffectShaders(IDirect3DDevice9* device, const char* name, IDirect3DVertexShader9** vertexShader,
                       IDirect3DPixelShader9** pixelShader);

// Creates the declaration and the two buffers and copies the quads' vertices
// and indices in (quad q at vertices 4q..4q+3 and indices 6q..6q+5).
void BuildQuadBuffers(IDirect3DDevice9* device, const sPolygon* quads, int quadCount,
                      IDirect3DVertexDeclaration9** decl, IDirect3DVertexBuffer9** vertexBuffer,
                      IDirect3DIndexBuffer9** indexBuffer);

// The projection read back into c0..c3 (first row in c0) and c5 = (2 x time, 0, 0, 0).
void SetEffectConstants(IDirect3DDevice9* device, float time);

// Binds the pixel shader, declaration, texture stage 0, stream 0 and indices,
// then draws quadCount quads as one indexed triangle list.
void DrawQuads(IDirect3DDevice9* device, IDirect3DPixelShader9* pixelShader, IDirect3DVertexDeclaration9* decl,
               IDirect3DTexture9* texture, IDirect3DVertexBuffer9* vertexBuffer, IDirect3DIndexBuffer9* indexBuffer,
               int quadCount);

// Releases an interface the effect holds and forgets it.
template <typename T>
void ReleaseHeld(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace demo
