// Vertex fetch through the declaration, then the vertex shader or the
// fixed-function transform (world * view * projection; colours and texture
// coordinates passed through; pretransformed positions kept as they are).
#include <algorithm>
#include <cstring>
#include <memory>

#include "gfx/device/device.h"
#include "gfx/device/pipeline.h"
#include "gfx/device/texture_sampler.h"

namespace gfx {
namespace {


// Where one vertex shader input comes from.
struct InputFetch {
    int slot;
    const D3DVERTEXELEMENT9* element;  // null: the input reads (0, 0, 0, 1)
};

void Fetch(const VertexSource& source, const D3DVERTEXELEMENT9* e, int64_t vertex, float out[4]) {
    if (!e) {
        out[0] = out[1] = out[2] = 0.f;
        out[3] = 1.f;
        return;
    }
    UINT stream = e->Stream;
    int64_t at = vertex * int64_t(source.stride[stream]) + e->Offset;
    UINT size = DeclTypeSize(e->Type);
    // Reads beyond the bound data give zeros instead of touching other memory.
    if (!source.streamData[stream] || vertex < 0 || at < 0 || uint64_t(at) + size > source.streamBytes[stream]) {
        out[0] = out[1] = out[2] = 0.f;
        out[3] = 1.f;
        return;
    }
    DecodeElement(e->Type, source.streamData[stream] + at, out);
}

void Transform(const float in[4], const D3DMATRIX& m, float out[4]) {
    for (int c = 0; c < 4; ++c) {
        out[c] = in[0] * m.m[0][c] + in[1] * m.m[1][c] + in[2] * m.m[2][c] + in[3] * m.m[3][c];
    }
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
        }
    }
    return r;
}

float Saturate(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }

// Output slots of the fixed-function vertex stage: the layout of vertex
// shaders before 3.0.
std::vector<ShaderSemantic> FixedOutputs(const VertexDeclImpl* decl) {
    std::vector<ShaderSemantic> outs;
    outs.push_back({D3DDECLUSAGE_POSITION, 0, kSlotPosition, 0xF});
    if (decl && decl->Find(D3DDECLUSAGE_COLOR, 0)) outs.push_back({D3DDECLUSAGE_COLOR, 0, kSlotColor0, 0xF});
    if (decl && decl->Find(D3DDECLUSAGE_COLOR, 1)) outs.push_back({D3DDECLUSAGE_COLOR, 1, kSlotColor0 + 1, 0xF});
    for (int i = 0; i < 8; ++i) {
        if (decl && decl->Find(D3DDECLUSAGE_TEXCOORD, BYTE(i)))
            outs.push_back({D3DDECLUSAGE_TEXCOORD, uint8_t(i), uint8_t(kSlotTexcoord0 + i), 0xF});
    }
    return outs;
}

}  // namespace

VaryingLayout LinkVaryings(DeviceImpl& device) {
    std::vector<ShaderSemantic> produced =
        device.vertexShader() ? device.vertexShader()->program().Outputs() : FixedOutputs(device.declaration());
    std::vector<ShaderSemantic> consumed;
    if (device.pixelShader()) {
        consumed = device.pixelShader()->program().Inputs();
    } else {
        consumed.push_back({D3DDECLUSAGE_COLOR, 0, kPixelSlotColor0, 0xF});
        bool specular = device.rs(D3DRS_SPECULARENABLE) != 0;
        bool used[8] = {};
        for (UINT stage = 0; stage < kTextureStages; ++stage) {
            if (device.tss(stage, D3DTSS_COLOROP) == D3DTOP_DISABLE) break;
            used[device.tss(stage, D3DTSS_TEXCOORDINDEX) & 7] = true;
            for (D3DTEXTURESTAGESTATETYPE arg : {D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                                 D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2}) {
                if ((device.tss(stage, arg) & D3DTA_SELECTMASK) == D3DTA_SPECULAR) specular = true;
            }
        }
        if (specular) consumed.push_back({D3DDECLUSAGE_COLOR, 1, kPixelSlotColor0 + 1, 0xF});
        for (int i = 0; i < 8; ++i) {
            if (used[i]) consumed.push_back({D3DDECLUSAGE_TEXCOORD, uint8_t(i), uint8_t(kPixelSlotTexcoord0 + i), 0xF});
        }
    }
    VaryingLayout layout;
    for (const ShaderSemantic& in : consumed) {
        if (layout.count >= kMaxPixelInputs || in.slot >= kMaxPixelInputs) break;
        Varying& v = layout.items[layout.count++];
        v.target = in.slot;
        v.color = in.usage == D3DDECLUSAGE_COLOR;
        // Without a pixel shader a missing diffuse colour is white.
        if (!device.pixelShader() && v.color && in.usageIndex == 0) {
            v.fallback[0] = v.fallback[1] = v.fallback[2] = v.fallback[3] = 1.f;
        }
        for (const ShaderSemantic& out : produced) {
            if (out.usage == in.usage && out.usageIndex == in.usageIndex && out.usage != D3DDECLUSAGE_POSITION) {
                v.source = out.slot;
                break;
            }
        }
    }
    return layout;
}

HRESULT RunVertexStage(DeviceImpl& device, const VertexSource& source, const VaryingLayout& layout, int64_t first,
                       UINT count, std::vector<ClipVertex>* out) {
    const VertexDeclImpl* decl = device.declaration();
    if (!decl) return D3DERR_INVALIDCALL;
    out->resize(count);
    if (VertexShaderImpl* vs = device.vertexShader()) {
        const ShaderProgram& program = vs->program();
        std::vector<InputFetch> fetches;
        for (const ShaderSemantic& in : program.Inputs()) {
            if (in.slot < kMaxVertexInputs) fetches.push_back({in.slot, decl->Find(in.usage, in.usageIndex)});
        }
        int positionSlot = program.PositionSlot();
        bool clampColors = D3DSHADER_VERSION_MAJOR(program.Version()) < 3;
        DeviceSampler sampler;
        sampler.Bind(device, kVertexSamplerBase, 4);
        const ExecPath path = device.options().scalarReference ? ExecPath::Simd : ShaderPath(device.options(), &program);
        auto batch = std::make_unique<VertexBatch>();
        auto results = std::make_unique<VertexResults>();
        for (UINT base = 0; base < count; base += kLanes) {
            int n = int(std::min<UINT>(kLanes, count - base));
            batch->count = n;
            for (const InputFetch& f : fetches) {
                for (int lane = 0; lane < n; ++lane) {
                    float v[4];
                    Fetch(source, f.element, first + base + lane, v);
                    for (int c = 0; c < 4; ++c) batch->input[f.slot].v[c][lane] = v[c];
                }
            }
            program.RunVertices(device.vsConstants(), &sampler, *batch, results.get(), path);
            for (int lane = 0; lane < n; ++lane) {
                ClipVertex& cv = (*out)[base + lane];
                for (int c = 0; c < 4; ++c) {
                    cv.pos[c] = positionSlot >= 0 ? results->output[positionSlot].v[c][lane] : (c == 3 ? 1.f : 0.f);
                }
                for (int i = 0; i < layout.count; ++i) {
                    const Varying& var = layout.items[i];
                    for (int c = 0; c < 4; ++c) {
                        float v = var.source >= 0 ? results->output[var.source].v[c][lane] : var.fallback[c];
                        cv.attr[i][c] = (var.color && clampColors) ? Saturate(v) : v;
                    }
                }
            }
        }
        return D3D_OK;
    }

    // Fixed function.
    const D3DVERTEXELEMENT9* positionT = decl->Find(D3DDECLUSAGE_POSITIONT, 0);
    const D3DVERTEXELEMENT9* position = positionT ? positionT : decl->Find(D3DDECLUSAGE_POSITION, 0);
    D3DMATRIX wvp = Multiply(Multiply(device.transform(D3DTS_WORLD), device.transform(D3DTS_VIEW)),
                             device.transform(D3DTS_PROJECTION));
    const D3DVERTEXELEMENT9* sources[kMaxPixelInputs] = {};
    for (int i = 0; i < layout.count; ++i) {
        int slot = layout.items[i].source;
        if (slot == kSlotColor0 || slot == kSlotColor0 + 1) {
            sources[i] = decl->Find(D3DDECLUSAGE_COLOR, BYTE(slot - kSlotColor0));
        } else if (slot >= kSlotTexcoord0 && slot < kSlotTexcoord0 + 8) {
            sources[i] = decl->Find(D3DDECLUSAGE_TEXCOORD, BYTE(slot - kSlotTexcoord0));
        }
    }
    for (UINT k = 0; k < count; ++k) {
        ClipVertex& cv = (*out)[k];
        float p[4];
        Fetch(source, position, first + k, p);
        if (positionT) {
            std::memcpy(cv.pos, p, sizeof(p));
        } else {
            p[3] = 1.f;
            Transform(p, wvp, cv.pos);
        }
        for (int i = 0; i < layout.count; ++i) {
            if (sources[i]) {
                Fetch(source, sources[i], first + k, cv.attr[i]);
            } else {
                std::memcpy(cv.attr[i], layout.items[i].fallback, sizeof(float) * 4);
            }
        }
    }
    return D3D_OK;
}

}  // namespace gfx
