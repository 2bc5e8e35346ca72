#include "demo/effect_resources.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "demo/load_report.h"
#include "shader/compiler.h"

namespace demo {

namespace {

// One compile with the demo's fixed arguments; returns the code or null. A
// failure is reported with the compiler's messages; warnings of a successful
// compile are not shown.
IKLBuffer* CompileEffectFile(const std::string& file, const char* entry, const char* profile) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    HRESULT hr = KLCompileShaderFromFileA(file.c_str(), nullptr, nullptr, entry, profile, 0, &code, &errors, nullptr);
    std::string messages;
    if (errors) {
        messages.assign(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize());
        messages.resize(std::strlen(messages.c_str()));
        errors->Release();
    }
    if (hr != 0) {
        if (code) code->Release();
        char reason[48];
        std::snprintf(reason, sizeof(reason), "compile failed (0x%08X)", static_cast<unsigned>(hr));
        ReportLoadFailure("compile", file, reason, messages);
        return nullptr;
    }
    return code;
}

}  // namespace

bool LoadEffectShaders(IDirect3DDevice9* device, const char* name, IDirect3DVertexShader9** vertexShader,
                       IDirect3DPixelShader9** pixelShader) {
    const std::string base(name);
    IKLBuffer* code = CompileEffectFile(base + ".vhl", "vs_main", "vs_2_0");
    if (!code) return false;
    HRESULT hr = device->CreateVertexShader(static_cast<const DWORD*>(code->GetBufferPointer()), vertexShader);
    code->Release();
    if (hr != 0) {
        ReportLoadFailure("use", base + ".vhl", "the device refused the vertex shader");
        return false;
    }

    code = CompileEffectFile(base + ".phl", "ps_main", "ps_2_0");
    if (!code) return false;
    hr = device->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), pixelShader);
    code->Release();
    if (hr != 0) ReportLoadFailure("use", base + ".phl", "the device refused the pixel shader");
    return hr == 0;
}

void BuildQuadBuffers(IDirect3DDevice9* device, const sPolygon* quads, int quadCount,
                      IDirect3DVertexDeclaration9** decl, IDirect3DVertexBuffer9** vertexBuffer,
                      IDirect3DIndexBuffer9** indexBuffer) {
    device->CreateVertexDeclaration(VertexFVF, decl);

    const UINT vertexBytes = static_cast<UINT>(quadCount) * 4 * sizeof(cVertex);
    if (SUCCEEDED(device->CreateVertexBuffer(vertexBytes, 0, 0, D3DPOOL_DEFAULT, vertexBuffer, nullptr))) {
        void* data = nullptr;
        if (SUCCEEDED((*vertexBuffer)->Lock(0, 0, &data, 0))) {
            for (int q = 0; q < quadCount; ++q)
                std::memcpy(static_cast<BYTE*>(data) + q * sizeof quads[q].vertices, quads[q].vertices,
                            sizeof quads[q].vertices);
            (*vertexBuffer)->Unlock();
        }
    }

    const UINT indexBytes = static_cast<UINT>(quadCount) * 6 * sizeof(WORD);
    if (SUCCEEDED(device->CreateIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                            indexBuffer, nullptr))) {
        void* data = nullptr;
        if (SUCCEEDED((*indexBuffer)->Lock(0, 0, &data, 0))) {
            WORD* indices = static_cast<WORD*>(data);
            for (int q = 0; q < quadCount; ++q)
                for (int k = 0; k < 6; ++k) indices[6 * q + k] = static_cast<WORD>(4 * q + kQuadIndices[k]);
            (*indexBuffer)->Unlock();
        }
    }
}

void SetEffectConstants(IDirect3DDevice9* device, float time) {
    D3DMATRIX projection;
    device->GetTransform(D3DTS_PROJECTION, &projection);
    device->SetVertexShaderConstantF(0, reinterpret_cast<const float*>(&projection), 4);
    const float timeConstant[4] = {2 * time, 0, 0, 0};
    device->SetVertexShaderConstantF(5, timeConstant, 1);
}

void DrawQuads(IDirect3DDevice9* device, IDirect3DPixelShader9* pixelShader, IDirect3DVertexDeclaration9* decl,
               IDirect3DTexture9* texture, IDirect3DVertexBuffer9* vertexBuffer, IDirect3DIndexBuffer9* indexBuffer,
               int quadCount) {
    device->SetPixelShader(pixelShader);
    device->SetVertexDeclaration(decl);
    device->SetTexture(0, texture);
    device->SetStreamSource(0, vertexBuffer, 0, sizeof(cVertex));
    device->SetIndices(indexBuffer);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(quadCount) * 4, 0,
                                 static_cast<UINT>(quadCount) * 2);
}

}  // namespace demo
