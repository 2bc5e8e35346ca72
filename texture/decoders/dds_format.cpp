// The DDS pixel-format table, searched in order.
#include "texture/decoders/dds_format.h"

#include <iterator>

#include "texture/decoders/source_image.h"

namespace {

struct Row {
    D3DFORMAT format;
    DdsPixelFormat pf;
};

constexpr uint32_t kFourCC = 0x4;

constexpr Row M(D3DFORMAT f, uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return {f, {32, flags, 0, bits, r, g, b, a}};
}
constexpr Row C(D3DFORMAT f, uint32_t code) { return {f, {32, kFourCC, code, 0, 0, 0, 0, 0}}; }

const Row kRows[] = {
    M(D3DFMT_R8G8B8, 0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0),
    M(D3DFMT_A8R8G8B8, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
    M(D3DFMT_X8R8G8B8, 0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0),
    M(D3DFMT_R5G6B5, 0x40, 16, 0xF800, 0x7E0, 0x1F, 0),
    M(D3DFMT_X1R5G5B5, 0x40, 16, 0x7C00, 0x3E0, 0x1F, 0),
    M(D3DFMT_A1R5G5B5, 0x41, 16, 0x7C00, 0x3E0, 0x1F, 0x8000),
    M(D3DFMT_A4R4G4B4, 0x41, 16, 0xF00, 0xF0, 0xF, 0xF000),
    M(D3DFMT_R3G3B2, 0x40, 8, 0xE0, 0x1C, 0x3, 0),
    M(D3DFMT_A8, 0x2, 8, 0, 0, 0, 0xFF),
    M(D3DFMT_A8R3G3B2, 0x41, 16, 0xE0, 0x1C, 0x3, 0xFF00),
    M(D3DFMT_X4R4G4B4, 0x40, 16, 0xF00, 0xF0, 0xF, 0),
    M(D3DFMT_A2B10G10R10, 0x41, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000),
    M(D3DFMT_A8B8G8R8, 0x41, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
    M(D3DFMT_X8B8G8R8, 0x40, 32, 0xFF, 0xFF00, 0xFF0000, 0),
    M(D3DFMT_G16R16, 0x40, 32, 0xFFFF, 0xFFFF0000, 0, 0),
    M(D3DFMT_A2R10G10B10, 0x41, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000),
    M(D3DFMT_A8P8, 0x21, 16, 0, 0, 0, 0xFF00),
    M(D3DFMT_P8, 0x20, 8, 0, 0, 0, 0),
    M(D3DFMT_L8, 0x20000, 8, 0xFF, 0, 0, 0),
    M(D3DFMT_A8L8, 0x20001, 16, 0xFF, 0, 0, 0xFF00),
    M(D3DFMT_A4L4, 0x20001, 8, 0xF, 0, 0, 0xF0),
    M(D3DFMT_L16, 0x20000, 16, 0xFFFF, 0, 0, 0),
    M(D3DFMT_V8U8, 0x80000, 16, 0xFF, 0xFF00, 0, 0),
    M(D3DFMT_L6V5U5, 0x40000, 16, 0x1F, 0x3E0, 0xFC00, 0),
    M(D3DFMT_X8L8V8U8, 0x40000, 32, 0xFF, 0xFF00, 0xFF0000, 0),
    M(D3DFMT_Q8W8V8U8, 0x80000, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
    M(D3DFMT_V16U16, 0x80000, 32, 0xFFFF, 0xFFFF0000, 0, 0),
    M(D3DFMT_A2W10V10U10, 0x80001, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000),
    M(D3DFMT_D16_LOCKABLE, 0x400, 16, 0, 0xFFFF, 0, 0),
    C(D3DFMT_UYVY, D3DFMT_UYVY),
    C(D3DFMT_R8G8_B8G8, D3DFMT_R8G8_B8G8),
    C(D3DFMT_YUY2, D3DFMT_YUY2),
    C(D3DFMT_G8R8_G8B8, D3DFMT_G8R8_G8B8),
    C(D3DFMT_DXT1, D3DFMT_DXT1),
    C(D3DFMT_DXT2, D3DFMT_DXT2),
    C(D3DFMT_DXT3, D3DFMT_DXT3),
    C(D3DFMT_DXT4, D3DFMT_DXT4),
    C(D3DFMT_DXT5, D3DFMT_DXT5),
    C(D3DFMT_D32F_LOCKABLE, 82),
    C(D3DFMT_A16B16G16R16, 36),
    C(D3DFMT_Q16W16V16U16, 110),
    C(D3DFMT_R16F, 111),
    C(D3DFMT_G16R16F, 112),
    C(D3DFMT_A16B16G16R16F, 113),
    C(D3DFMT_R32F, 114),
    C(D3DFMT_G32R32F, 115),
    C(D3DFMT_A32B32G32R32F, 116),
    C(D3DFMT_CxV8U8, 117),
};

}  // namespace

HRESULT DdsFormatFromPixelFormat(const BYTE* block, D3DFORMAT* format) {
    DdsPixelFormat pf = {ReadLe32(block), ReadLe32(block + 4), ReadLe32(block + 8), ReadLe32(block + 12),
                         ReadLe32(block + 16), ReadLe32(block + 20), ReadLe32(block + 24), ReadLe32(block + 28)};
    if (pf.size != 32) return E_FAIL;
    if (pf.flags & kFourCC) pf.flags = kFourCC;
    for (const Row& row : kRows) {
        const DdsPixelFormat& r = row.pf;
        if (r.flags != pf.flags) continue;
        if (pf.flags == kFourCC && r.fourCC != pf.fourCC) continue;
        if ((pf.flags & 0xC4462) && r.bitCount != pf.bitCount) continue;
        if ((pf.flags & 0xE4040) && r.redMask != pf.redMask) continue;
        if ((pf.flags & 0xC4440) && r.greenMask != pf.greenMask) continue;
        if ((pf.flags & 0xC4040) && r.blueMask != pf.blueMask) continue;
        if ((pf.flags & 0x80003) && r.alphaMask != pf.alphaMask) continue;
        *format = row.format;
        return S_OK;
    }
    return E_FAIL;
}

const DdsPixelFormat* DdsPixelFormatOf(D3DFORMAT format) {
    for (const Row& row : kRows)
        if (row.format == format) return &row.pf;
    return nullptr;
}

const D3DFORMAT* DdsFormatList() {
    static const auto list = [] {
        struct List {
            D3DFORMAT formats[std::size(kRows) + 1] = {};
        } l;
        for (size_t i = 0; i < std::size(kRows); ++i) l.formats[i] = kRows[i].format;
        return l;
    }();
    return list.formats;
}
