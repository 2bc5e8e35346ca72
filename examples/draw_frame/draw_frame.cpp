// draw_frame SHADER IMAGE OUT.png: compiles the vertex and pixel shader of
// SHADER (entries vs_main and ps_main), loads IMAGE as a texture, draws one
// frame of a textured quad over the whole target on the software device and
// writes it to OUT.png. Prints the colour at the centre of each quarter of the
// frame. Exit code 0 on success, 1 on any failure.
#include <cstdio>
#include <memory>

#include "gfx/d3d9.h"
#include "gfx/presenter.h"
#include "shader/compiler.h"
#include "texture/kltexture.h"

namespace {

constexpr UINT kSize = 64;

struct Vertex {
    float x, y, z;
    float u, v;
};

// Compiles one entry of the shader file; compiler messages go to stderr.
IKLBuffer* Compile(const char* file, const char* entry, const char* profile) {
    IKLBuffer* code = nullptr;
    IKLBuffer* messages = nullptr;
    HRESULT hr = KLCompileShaderFromFileA(file, nullptr, nullptr, entry, profile, 0, &code, &messages, nullptr);
    if (messages) {
        std::fputs(static_cast<const char*>(messages->GetBufferPointer()), stderr);
        messages->Release();
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "draw_frame: %s of %s did not compile (0x%08X)\n", entry, file, unsigned(hr));
        return nullptr;
    }
    return code;
}

// Releases an interface at the end of a scope.
struct Releaser {
    template <typename T>
    void operator()(T* p) const { p->Release(); }
};
template <typename T>
using Held = std::unique_ptr<T, Releaser>;

int Draw(const char* shaderFile, const char* imageFile, const char* outFile) {
    Held<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = kSize;
    pp.BackBufferHeight = kSize;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* rawDevice = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                         D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &rawDevice))) {
        std::fprintf(stderr, "draw_frame: no graphics device\n");
        return 1;
    }
    Held<IDirect3DDevice9> device(rawDevice);
    auto frames = std::make_shared<gfx::MemoryPresenter>();
    gfx::SetDevicePresenter(device.get(), frames);

    Held<IKLBuffer> vsCode(Compile(shaderFile, "vs_main", "vs_2_0"));
    Held<IKLBuffer> psCode(Compile(shaderFile, "ps_main", "ps_2_0"));
    if (!vsCode || !psCode) return 1;
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    device->CreateVertexShader(static_cast<const DWORD*>(vsCode->GetBufferPointer()), &vs);
    device->CreatePixelShader(static_cast<const DWORD*>(psCode->GetBufferPointer()), &ps);
    Held<IDirect3DVertexShader9> vertexShader(vs);
    Held<IDirect3DPixelShader9> pixelShader(ps);
    if (!vs || !ps) {
        std::fprintf(stderr, "draw_frame: the device refused the shaders\n");
        return 1;
    }

    IDirect3DTexture9* rawTexture = nullptr;
    HRESULT hr = KLCreateTextureFromFileA(device.get(), imageFile, &rawTexture);
    if (FAILED(hr)) {
        std::fprintf(stderr, "draw_frame: cannot load %s (0x%08X)\n", imageFile, unsigned(hr));
        return 1;
    }
    Held<IDirect3DTexture9> texture(rawTexture);

    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* rawDecl = nullptr;
    device->CreateVertexDeclaration(elements, &rawDecl);
    Held<IDirect3DVertexDeclaration9> decl(rawDecl);
    // Two triangles over the whole target: clip space x and y from -1 to 1.
    const Vertex quad[6] = {{-1, 1, 0.5f, 0, 0},  {1, 1, 0.5f, 1, 0},  {-1, -1, 0.5f, 0, 1},
                            {1, 1, 0.5f, 1, 0},   {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    const float tint[4] = {1, 1, 1, 1};

    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetVertexShader(vs);
    device->SetPixelShader(ps);
    device->SetPixelShaderConstantF(0, tint, 1);
    device->SetVertexDeclaration(decl.get());
    device->SetTexture(0, texture.get());
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    hr = device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(Vertex));
    device->EndScene();
    if (SUCCEEDED(hr)) hr = device->Present(nullptr, nullptr, nullptr, nullptr);
    if (FAILED(hr)) {
        std::fprintf(stderr, "draw_frame: drawing failed (0x%08X)\n", unsigned(hr));
        return 1;
    }

    const gfx::FrameImage frame = frames->LastFrame();
    if (FAILED(gfx::WritePng(outFile, frame))) {
        std::fprintf(stderr, "draw_frame: cannot write %s\n", outFile);
        return 1;
    }
    const UINT q = kSize / 4;
    std::printf("%s: %u x %u, quarters %08X %08X %08X %08X\n", outFile, frame.width, frame.height,
                unsigned(frame.At(q, q)), unsigned(frame.At(3 * q, q)), unsigned(frame.At(q, 3 * q)),
                unsigned(frame.At(3 * q, 3 * q)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: draw_frame SHADER.hlsl IMAGE OUT.png\n");
        return 2;
    }
    return Draw(argv[1], argv[2], argv[3]);
}
