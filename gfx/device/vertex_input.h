// Vertex declarations and the decoding of vertex elements.
#pragma once

#include <vector>

#include "gfx/device/ref_counted.h"
#include "gfx/device/resources.h"

namespace gfx {

constexpr UINT kMaxStreams = 16;
constexpr UINT kMaxStreamStride = 1024;

class VertexDeclImpl final : public RefCounted<IDirect3DVertexDeclaration9> {
public:
    // Checks the element array (ends with D3DDECL_END, at most
    // MAXD3DDECLLENGTH elements, known types/usages, no duplicate usage).
    static HRESULT Create(DeviceImpl* device, const D3DVERTEXELEMENT9* elements, VertexDeclImpl** out);
    // Builds the declaration equivalent to a flexible vertex format.
    static HRESULT FromFVF(DeviceImpl* device, DWORD fvf, VertexDeclImpl** out);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    HRESULT GetDevice(IDirect3DDevice9** device) override { return link_.GetDevice(device); }
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;

    // Elements without the end marker.
    const std::vector<D3DVERTEXELEMENT9>& elements() const { return elements_; }
    DWORD fvf() const { return fvf_; }
    // The element with this usage and index, or null.
    const D3DVERTEXELEMENT9* Find(BYTE usage, BYTE index) const;
    bool pretransformed() const { return Find(D3DDECLUSAGE_POSITIONT, 0) != nullptr; }

private:
    explicit VertexDeclImpl(DeviceImpl* device) : link_(device) {}
    ~VertexDeclImpl() override = default;
    DeviceChildLink link_;
    std::vector<D3DVERTEXELEMENT9> elements_;
    DWORD fvf_ = 0;
};

// Bytes occupied by one element of `type` (0 for unknown types).
UINT DeclTypeSize(BYTE type);
// Reads one element into four floats; missing components are (0, 0, 0, 1).
void DecodeElement(BYTE type, const BYTE* data, float out[4]);
// Byte stride of a flexible vertex format (0 when invalid).
UINT FVFStride(DWORD fvf);

}  // namespace gfx
