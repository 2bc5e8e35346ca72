// The four draw calls: validate the request, gather indices and vertices,
// snapshot the state, and run the pipeline stages (see pipeline.h).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gfx/device/device.h"
#include "gfx/device/fixed_function.h"
#include "gfx/device/pipeline.h"
#include "gfx/device/texture_sampler.h"
#include "gfx/device/thread_pool.h"
#include "gfx/exports.h"

namespace gfx {

struct DeviceImpl::DrawSource {
    bool indexed = false;
    UINT start = 0;  // first vertex, or first index
    INT baseVertex = 0;
    // User pointers (the *UP calls); null when drawing from bound buffers.
    const BYTE* userVertices = nullptr;
    size_t userVertexBytes = 0;
    UINT userStride = 0;
    const BYTE* userIndices = nullptr;
    D3DFORMAT userIndexFormat = D3DFMT_INDEX16;
};

namespace {

// Most vertices one draw may transform.
constexpr uint64_t kMaxDrawVertices = 1u << 24;

UINT VertexCountFor(D3DPRIMITIVETYPE type, UINT primitives) {
    switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
    }
}

// Shades the vertices the corners name, into *out, and rewrites each corner
// to its vertex's place there. Dense indices shade their whole range at once;
// sparse ones (indices {0, 0xFFFFFF, 1}) shade each run of consecutive used
// vertices, so the work and memory follow the corners, not the index range.
HRESULT ShadeCorners(DeviceImpl& device, const VertexSource& source, const VaryingLayout& layout,
                     std::vector<int64_t>& corner, std::vector<ClipVertex>* out) {
    const int64_t lo = *std::min_element(corner.begin(), corner.end());
    const int64_t hi = *std::max_element(corner.begin(), corner.end());
    if (uint64_t(hi - lo) < 2 * uint64_t(corner.size()) + 64) {
        if (uint64_t(hi - lo) >= kMaxDrawVertices) return D3DERR_INVALIDCALL;
        for (int64_t& c : corner) c -= lo;
        return RunVertexStage(device, source, layout, lo, UINT(hi - lo + 1), out);
    }
    std::vector<int64_t> used(corner);
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    if (used.size() >= kMaxDrawVertices) return D3DERR_INVALIDCALL;
    out->clear();
    out->reserve(used.size());
    std::vector<ClipVertex> run;
    for (size_t i = 0; i < used.size();) {
        size_t j = i + 1;
        while (j < used.size() && used[j] == used[j - 1] + 1) ++j;
        HRESULT hr = RunVertexStage(device, source, layout, used[i], UINT(j - i), &run);
        if (FAILED(hr)) return hr;
        out->insert(out->end(), run.begin(), run.end());
        i = j;
    }
    for (int64_t& c : corner) c = std::lower_bound(used.begin(), used.end(), c) - used.begin();
    return D3D_OK;
}

float FloatState(DWORD v) {
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

}  // namespace

// Vertices whose buffers a thread keeps between draws (tens of megabytes at most).
constexpr size_t kKeptVertices = 1 << 16;

HRESULT DeviceImpl::Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, const DrawSource& source) {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDCALL;
    if (primitiveCount == 0) return D3D_OK;
    if (primitiveCount > 0x00FFFFFF) return D3DERR_INVALIDCALL;
    if (!declaration_) {
        DebugMessage("Draw: no vertex declaration or FVF set");
        return D3DERR_INVALIDCALL;
    }
    if (!renderTargets_[0]) return D3DERR_INVALIDCALL;
    UINT count = VertexCountFor(type, primitiveCount);

    // The draw's buffers are kept from one draw to the next on this thread:
    // a frame's big draws then neither allocate nor fault in fresh pages.
    thread_local std::vector<int64_t> corner;
    thread_local std::vector<ClipVertex> vertices;
    thread_local std::vector<uint32_t> triangles;
    thread_local std::vector<TriangleSetup> setup;
    // Vertex numbers (before the base vertex) of the primitive's corners.
    corner.assign(count, 0);
    if (source.indexed) {
        const BYTE* data;
        size_t bytes;
        UINT indexSize;
        if (source.userIndices) {
            data = source.userIndices;
            indexSize = source.userIndexFormat == D3DFMT_INDEX32 ? 4 : 2;
            bytes = (size_t(source.start) + count) * indexSize;
        } else {
            if (!indices_) {
                DebugMessage("DrawIndexedPrimitive: no index buffer set");
                return D3DERR_INVALIDCALL;
            }
            data = indices_->bytes().data();
            bytes = indices_->bytes().size();
            indexSize = indices_->desc().Format == D3DFMT_INDEX32 ? 4 : 2;
        }
        if ((uint64_t(source.start) + count) * indexSize > bytes) {
            DebugMessage("DrawIndexedPrimitive: indices %u..%u lie beyond the index buffer", source.start,
                         source.start + count - 1);
            return D3DERR_INVALIDCALL;
        }
        for (UINT i = 0; i < count; ++i) {
            const BYTE* p = data + (size_t(source.start) + i) * indexSize;
            uint32_t index;
            if (indexSize == 4) {
                std::memcpy(&index, p, 4);
            } else {
                uint16_t v;
                std::memcpy(&v, p, 2);
                index = v;
            }
            corner[i] = int64_t(source.baseVertex) + index;
        }
    } else {
        for (UINT i = 0; i < count; ++i) corner[i] = int64_t(source.start) + i;
    }

    VertexSource vs;
    if (source.userVertices) {
        vs.streamData[0] = source.userVertices;
        vs.streamBytes[0] = source.userVertexBytes;
        vs.stride[0] = source.userStride;
    } else {
        for (UINT s = 0; s < kMaxStreams; ++s) {
            const StreamBinding& b = streams_[s];
            if (!b.buffer) continue;
            size_t size = b.buffer->bytes().size();
            vs.streamData[s] = b.offset < size ? b.buffer->bytes().data() + b.offset : nullptr;
            vs.streamBytes[s] = b.offset < size ? size - b.offset : 0;
            vs.stride[s] = b.stride;
        }
    }

    DrawState state;
    state.varyings = LinkVaryings(*this);
    vertices.clear();
    HRESULT hr = ShadeCorners(*this, vs, state.varyings, corner, &vertices);
    if (FAILED(hr)) return hr;

    // Triangles as index triples into `vertices`; the first corner of each
    // triangle is the one flat shading takes its colour from. Points and
    // lines become one-pixel-wide screen-space quads appended to `vertices`.
    triangles.clear();
    triangles.reserve(size_t(primitiveCount) * 6);
    auto at = [&](UINT i) { return uint32_t(corner[i]); };
    bool pretransformed = !vertexShader_ && declaration_->pretransformed();
    // Offsets of half a pixel, in the units of the vertex's position.
    auto halfPixel = [&](const ClipVertex& v, float* hx, float* hy) {
        float w = pretransformed ? 1.f : v.pos[3];
        *hx = pretransformed ? 0.5f : w / float(viewport_.Width);
        *hy = pretransformed ? 0.5f : w / float(viewport_.Height);
    };
    auto addQuad = [&](const ClipVertex& a, const ClipVertex& b, const float (*offset)[2]) {
        uint32_t base = uint32_t(vertices.size());
        const ClipVertex* ends[4] = {&a, &a, &b, &b};
        for (int k = 0; k < 4; ++k) {
            ClipVertex v = *ends[k];
            v.pos[0] += offset[k][0];
            v.pos[1] += offset[k][1];
            vertices.push_back(v);
        }
        triangles.insert(triangles.end(), {base, base + 1, base + 2, base + 2, base + 1, base + 3});
    };
    for (UINT p = 0; p < primitiveCount; ++p) {
        switch (type) {
        case D3DPT_POINTLIST: {
            ClipVertex v = vertices[at(p)];
            float hx, hy;
            halfPixel(v, &hx, &hy);
            const float offset[4][2] = {{-hx, -hy}, {hx, -hy}, {-hx, hy}, {hx, hy}};
            addQuad(v, v, offset);
            break;
        }
        case D3DPT_LINELIST:
        case D3DPT_LINESTRIP: {
            ClipVertex a = vertices[type == D3DPT_LINELIST ? at(2 * p) : at(p)];
            ClipVertex b = vertices[type == D3DPT_LINELIST ? at(2 * p + 1) : at(p + 1)];
            float hx, hy;
            halfPixel(a, &hx, &hy);
            // Widen across the minor axis of the line on screen.
            auto screen = [&](const ClipVertex& v, int axis) {
                if (pretransformed) return v.pos[axis];
                float extent = float(axis == 0 ? viewport_.Width : viewport_.Height);
                return v.pos[3] != 0.f ? v.pos[axis] / v.pos[3] * extent : 0.f;
            };
            float dx = std::fabs(screen(b, 0) - screen(a, 0)), dy = std::fabs(screen(b, 1) - screen(a, 1));
            float hbx, hby;
            halfPixel(b, &hbx, &hby);
            if (dx >= dy) {
                const float offset[4][2] = {{0, -hy}, {0, hy}, {0, -hby}, {0, hby}};
                addQuad(a, b, offset);
            } else {
                const float offset[4][2] = {{-hx, 0}, {hx, 0}, {-hbx, 0}, {hbx, 0}};
                addQuad(a, b, offset);
            }
            break;
        }
        case D3DPT_TRIANGLELIST: triangles.insert(triangles.end(), {at(3 * p), at(3 * p + 1), at(3 * p + 2)}); break;
        case D3DPT_TRIANGLESTRIP:
            if (p % 2 == 0) {
                triangles.insert(triangles.end(), {at(p), at(p + 1), at(p + 2)});
            } else {
                triangles.insert(triangles.end(), {at(p), at(p + 2), at(p + 1)});
            }
            break;
        default: triangles.insert(triangles.end(), {at(p + 1), at(p + 2), at(0)}); break;
        }
    }

    ImageStore& target = renderTargets_[0]->image();
    state.color = &target;
    if (depthStencil_ && depthStencil_->image().width >= target.width &&
        depthStencil_->image().height >= target.height) {
        state.depth = &depthStencil_->image();
    }
    state.viewport = viewport_;
    RECT clip = {LONG(viewport_.X), LONG(viewport_.Y), LONG(viewport_.X + viewport_.Width),
                 LONG(viewport_.Y + viewport_.Height)};
    if (rs(D3DRS_SCISSORTESTENABLE)) {
        clip.left = std::max(clip.left, scissor_.left);
        clip.top = std::max(clip.top, scissor_.top);
        clip.right = std::min(clip.right, scissor_.right);
        clip.bottom = std::min(clip.bottom, scissor_.bottom);
    }
    clip.right = std::min<LONG>(clip.right, LONG(target.width));
    clip.bottom = std::min<LONG>(clip.bottom, LONG(target.height));
    if (clip.left >= clip.right || clip.top >= clip.bottom) return D3D_OK;
    state.clip = clip;
    state.pretransformed = pretransformed;
    // Points and lines have no facing.
    state.cullMode = type < D3DPT_TRIANGLELIST ? DWORD(D3DCULL_NONE) : rs(D3DRS_CULLMODE);
    state.flatShading = rs(D3DRS_SHADEMODE) == D3DSHADE_FLAT;
    state.depthBias = FloatState(rs(D3DRS_DEPTHBIAS));
    state.slopeBias = FloatState(rs(D3DRS_SLOPESCALEDEPTHBIAS));
    if (!std::isfinite(state.depthBias)) state.depthBias = 0.f;
    if (!std::isfinite(state.slopeBias)) state.slopeBias = 0.f;

    state.zEnable = rs(D3DRS_ZENABLE) != D3DZB_FALSE && state.depth;
    state.zWrite = rs(D3DRS_ZWRITEENABLE) != 0;
    state.zFunc = rs(D3DRS_ZFUNC);
    state.stencil = rs(D3DRS_STENCILENABLE) != 0 && state.depth && state.depth->info->stencilBits;
    state.twoSidedStencil = rs(D3DRS_TWOSIDEDSTENCILMODE) != 0;
    state.stencilFunc[0] = rs(D3DRS_STENCILFUNC);
    state.stencilFail[0] = rs(D3DRS_STENCILFAIL);
    state.stencilZFail[0] = rs(D3DRS_STENCILZFAIL);
    state.stencilPass[0] = rs(D3DRS_STENCILPASS);
    state.stencilFunc[1] = rs(D3DRS_CCW_STENCILFUNC);
    state.stencilFail[1] = rs(D3DRS_CCW_STENCILFAIL);
    state.stencilZFail[1] = rs(D3DRS_CCW_STENCILZFAIL);
    state.stencilPass[1] = rs(D3DRS_CCW_STENCILPASS);
    state.stencilRef = rs(D3DRS_STENCILREF);
    state.stencilMask = rs(D3DRS_STENCILMASK);
    state.stencilWriteMask = rs(D3DRS_STENCILWRITEMASK);

    state.alphaTest = rs(D3DRS_ALPHATESTENABLE) != 0;
    state.alphaFunc = rs(D3DRS_ALPHAFUNC);
    state.alphaRef = float(rs(D3DRS_ALPHAREF) & 0xFF);

    state.blend = rs(D3DRS_ALPHABLENDENABLE) != 0;
    state.separateAlpha = rs(D3DRS_SEPARATEALPHABLENDENABLE) != 0;
    state.srcBlend = rs(D3DRS_SRCBLEND);
    state.destBlend = rs(D3DRS_DESTBLEND);
    state.blendOp = rs(D3DRS_BLENDOP);
    state.srcBlendAlpha = rs(D3DRS_SRCBLENDALPHA);
    state.destBlendAlpha = rs(D3DRS_DESTBLENDALPHA);
    state.blendOpAlpha = rs(D3DRS_BLENDOPALPHA);
    D3DCOLOR factor = rs(D3DRS_BLENDFACTOR);
    state.blendFactor[0] = ((factor >> 16) & 0xFF) / 255.f;
    state.blendFactor[1] = ((factor >> 8) & 0xFF) / 255.f;
    state.blendFactor[2] = (factor & 0xFF) / 255.f;
    state.blendFactor[3] = (factor >> 24) / 255.f;
    state.writeMask = rs(D3DRS_COLORWRITEENABLE) & 0xF;

    DeviceSampler sampler;
    sampler.Bind(*this, 0, kPixelSamplers);
    sampler.SetSimd(!options_.scalarReference);
    state.sampler = &sampler;
    if (pixelShader_) {
        state.pixelShader = &pixelShader_->program();
        state.psConstants = &psConstants_;
    } else {
        state.fixed = ResolveFixedFunction(*this);
    }
    state.execPath = options_.scalarReference ? ExecPath::Reference : ShaderPath(options_, state.pixelShader);
    // Depth can be tested before shading unless the shader writes depth or
    // stencil needs the full sequence of tests.
    state.earlyDepth = !state.stencil && !(state.pixelShader && state.pixelShader->DepthWritten());
    if (state.execPath == ExecPath::Compiled && options_.compiledPipelines) {
        for (UINT s = 0; s < kMaxSamplers; ++s) sampler.InlineTexture(s, &state.textures[s]);
        ChoosePipeline(&state, options_.waitForCompiledShaders);
    }

    SetupTriangles(state, vertices, triangles.data(), triangles.size() / 3, &setup);
    if (options_.scalarReference) {
        RasterizeScalar(state, setup);
    } else {
        RasterizeTiled(state, setup, *threads_);
    }
    // An exceptionally big draw does not keep its memory afterwards.
    if (vertices.capacity() > kKeptVertices) {
        corner = {};
        vertices = {};
        triangles = {};
        setup = {};
    }
    return D3D_OK;
}

ExecPath ShaderPath(const DeviceOptions& options, const ShaderProgram* program) {
    if (!program || !options.compiledShaders) return ExecPath::Simd;
    const bool ready = options.waitForCompiledShaders ? program->WaitForCompiled() : program->CompiledReady();
    return ready ? ExecPath::Compiled : ExecPath::Simd;
}

HRESULT DeviceImpl::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    DrawSource source;
    source.start = startVertex;
    return Draw(type, primitiveCount, source);
}

HRESULT DeviceImpl::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT, UINT, UINT startIndex,
                                         UINT primitiveCount) {
    DrawSource source;
    source.indexed = true;
    source.start = startIndex;
    source.baseVertex = baseVertexIndex;
    return Draw(type, primitiveCount, source);
}

HRESULT DeviceImpl::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                    UINT vertexStride) {
    if (!vertexData || vertexStride == 0 || vertexStride > kMaxStreamStride) return D3DERR_INVALIDCALL;
    DrawSource source;
    source.userVertices = static_cast<const BYTE*>(vertexData);
    source.userVertexBytes = size_t(VertexCountFor(type, primitiveCount)) * vertexStride;
    source.userStride = vertexStride;
    HRESULT hr = Draw(type, primitiveCount, source);
    // As on the platform, stream 0 and the index buffer are unset afterwards.
    SetStreamSource(0, nullptr, 0, 0);
    return hr;
}

HRESULT DeviceImpl::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                           UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                           const void* vertexData, UINT vertexStride) {
    if (!vertexData || !indexData || vertexStride == 0 || vertexStride > kMaxStreamStride) return D3DERR_INVALIDCALL;
    if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    DrawSource source;
    source.indexed = true;
    source.userIndices = static_cast<const BYTE*>(indexData);
    source.userIndexFormat = indexFormat;
    source.userVertices = static_cast<const BYTE*>(vertexData);
    source.userVertexBytes = (size_t(minVertexIndex) + numVertices) * vertexStride;
    source.userStride = vertexStride;
    HRESULT hr = Draw(type, primitiveCount, source);
    SetStreamSource(0, nullptr, 0, 0);
    SetIndices(nullptr);
    return hr;
}

}  // namespace gfx
