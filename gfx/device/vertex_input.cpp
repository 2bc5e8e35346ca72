#include "gfx/device/vertex_input.h"

#include <cstring>
#include <new>

#include "gfx/device/format_info.h"

namespace gfx {

UINT DeclTypeSize(BYTE type) {
    static const UINT kSizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
    return type < D3DDECLTYPE_UNUSED ? kSizes[type] : 0;
}

void DecodeElement(BYTE type, const BYTE* data, float out[4]) {
    out[0] = out[1] = out[2] = 0.f;
    out[3] = 1.f;
    auto u8 = [data](int i) { return data[i]; };
    auto s16 = [data](int i) {
        int16_t v;
        std::memcpy(&v, data + 2 * i, 2);
        return v;
    };
    auto u16 = [data](int i) {
        uint16_t v;
        std::memcpy(&v, data + 2 * i, 2);
        return v;
    };
    auto snorm16 = [](int16_t v) { return v == -32768 ? -1.f : v / 32767.f; };
    uint32_t packed;
    std::memcpy(&packed, data, 4);
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4: std::memcpy(out, data, 4 * (type + 1)); break;
    case D3DDECLTYPE_D3DCOLOR:  // bytes B, G, R, A in memory
        out[0] = u8(2) / 255.f;
        out[1] = u8(1) / 255.f;
        out[2] = u8(0) / 255.f;
        out[3] = u8(3) / 255.f;
        break;
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 4; ++i) out[i] = float(u8(i));
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i) out[i] = u8(i) / 255.f;
        break;
    case D3DDECLTYPE_SHORT2:
        for (int i = 0; i < 2; ++i) out[i] = float(s16(i));
        break;
    case D3DDECLTYPE_SHORT4:
        for (int i = 0; i < 4; ++i) out[i] = float(s16(i));
        break;
    case D3DDECLTYPE_SHORT2N:
        for (int i = 0; i < 2; ++i) out[i] = snorm16(s16(i));
        break;
    case D3DDECLTYPE_SHORT4N:
        for (int i = 0; i < 4; ++i) out[i] = snorm16(s16(i));
        break;
    case D3DDECLTYPE_USHORT2N:
        for (int i = 0; i < 2; ++i) out[i] = u16(i) / 65535.f;
        break;
    case D3DDECLTYPE_USHORT4N:
        for (int i = 0; i < 4; ++i) out[i] = u16(i) / 65535.f;
        break;
    case D3DDECLTYPE_UDEC3:
        for (int i = 0; i < 3; ++i) out[i] = float((packed >> (10 * i)) & 0x3FF);
        break;
    case D3DDECLTYPE_DEC3N:
        for (int i = 0; i < 3; ++i) {
            int32_t v = int32_t(((packed >> (10 * i)) & 0x3FF) << 22) >> 22;
            out[i] = v == -512 ? -1.f : v / 511.f;
        }
        break;
    case D3DDECLTYPE_FLOAT16_2:
        for (int i = 0; i < 2; ++i) out[i] = HalfToFloat(u16(i));
        break;
    case D3DDECLTYPE_FLOAT16_4:
        for (int i = 0; i < 4; ++i) out[i] = HalfToFloat(u16(i));
        break;
    default: break;
    }
}

HRESULT VertexDeclImpl::Create(DeviceImpl* device, const D3DVERTEXELEMENT9* elements, VertexDeclImpl** out) {
    if (!elements || !out) return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> list;
    for (UINT i = 0;; ++i) {
        if (i >= MAXD3DDECLLENGTH) return D3DERR_INVALIDCALL;  // no end marker
        const D3DVERTEXELEMENT9& e = elements[i];
        if (e.Stream == 0xFF) break;
        if (e.Stream >= kMaxStreams || e.Type >= D3DDECLTYPE_UNUSED || e.Usage > D3DDECLUSAGE_SAMPLE ||
            e.UsageIndex > MAXD3DDECLUSAGEINDEX || e.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED ||
            e.Offset % 4 != 0 || e.Offset + DeclTypeSize(e.Type) > kMaxStreamStride) {
            return D3DERR_INVALIDCALL;
        }
        for (const D3DVERTEXELEMENT9& other : list) {
            if (other.Usage == e.Usage && other.UsageIndex == e.UsageIndex) return D3DERR_INVALIDCALL;
        }
        list.push_back(e);
    }
    auto* decl = new (std::nothrow) VertexDeclImpl(device);
    if (!decl) return E_OUTOFMEMORY;
    decl->elements_ = std::move(list);
    *out = decl;
    return D3D_OK;
}

HRESULT VertexDeclImpl::FromFVF(DeviceImpl* device, DWORD fvf, VertexDeclImpl** out) {
    if (!out || FVFStride(fvf) == 0) return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> list;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        list.push_back({0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index});
        offset = WORD(offset + DeclTypeSize(type));
    };
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
    } else if (position == D3DFVF_XYZW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0);
    } else if (position != 0) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        if (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5) {
            int betas = int(position - D3DFVF_XYZB1) / 2 + 1;
            bool lastIndices = fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR);
            int weights = lastIndices ? betas - 1 : betas;
            if (weights > 0) add(BYTE(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
            if (lastIndices) {
                add((fvf & D3DFVF_LASTBETA_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                    D3DDECLUSAGE_BLENDINDICES, 0);
            }
        }
    }
    if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE) add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < texCount; ++i) {
        static const BYTE kTypes[4] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4,
                                       D3DDECLTYPE_FLOAT1};
        add(kTypes[(fvf >> (16 + 2 * i)) & 3], D3DDECLUSAGE_TEXCOORD, BYTE(i));
    }
    auto* decl = new (std::nothrow) VertexDeclImpl(device);
    if (!decl) return E_OUTOFMEMORY;
    decl->elements_ = std::move(list);
    decl->fvf_ = fvf;
    *out = decl;
    return D3D_OK;
}

UINT FVFStride(DWORD fvf) {
    constexpr DWORD kKnown = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE |
                             D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK | D3DFVF_LASTBETA_UBYTE4 |
                             D3DFVF_LASTBETA_D3DCOLOR | 0xFFFF0000u;
    if (fvf & ~kKnown) return 0;
    UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8) return 0;
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    UINT size = 0;
    switch (position) {
    case 0: break;
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZW: size = 16; break;
    case D3DFVF_XYZB1:
    case D3DFVF_XYZB2:
    case D3DFVF_XYZB3:
    case D3DFVF_XYZB4:
    case D3DFVF_XYZB5: size = 12 + 4 * ((position - D3DFVF_XYZB1) / 2 + 1); break;
    default: return 0;
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    static const UINT kTexBytes[4] = {8, 12, 16, 4};
    for (UINT i = 0; i < texCount; ++i) size += kTexBytes[(fvf >> (16 + 2 * i)) & 3];
    return size;
}

HRESULT VertexDeclImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IidIn(riid, {&IID_IUnknown, &IID_IDirect3DVertexDeclaration9})) {
        AddRef();
        *object = static_cast<IDirect3DVertexDeclaration9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT VertexDeclImpl::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) {
    if (!count) return D3DERR_INVALIDCALL;
    UINT n = UINT(elements_.size()) + 1;
    if (elements) {
        if (!elements_.empty()) std::memcpy(elements, elements_.data(), elements_.size() * sizeof(D3DVERTEXELEMENT9));
        elements[n - 1] = D3DDECL_END();
    }
    *count = n;
    return D3D_OK;
}

const D3DVERTEXELEMENT9* VertexDeclImpl::Find(BYTE usage, BYTE index) const {
    for (const D3DVERTEXELEMENT9& e : elements_) {
        if (e.Usage == usage && e.UsageIndex == index) return &e;
    }
    return nullptr;
}

}  // namespace gfx
