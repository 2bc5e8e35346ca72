// The pixel-format table and the device-free nearest-format search.
#include "texture/pixels/format_table.h"

#include <iterator>

namespace {

using C = FormatClass;

// Rows in search order; the order decides ties between equal distances. For
// signed formats red, green, blue stand for W, V, U and alpha for Q; for depth
// formats blue holds the depth bits and green the stencil bits.
const FormatTraits kFormats[] = {
    {D3DFMT_R8G8B8, C::Rgb, 24, 0, 0, 8, 8, 8, 0},
    {D3DFMT_A8R8G8B8, C::Rgb, 32, 0, 8, 8, 8, 8, 1},
    {D3DFMT_X8R8G8B8, C::Rgb, 32, 0, 0, 8, 8, 8, 1},
    {D3DFMT_R5G6B5, C::Rgb, 16, 0, 0, 5, 6, 5, 1},
    {D3DFMT_X1R5G5B5, C::Rgb, 16, 0, 0, 5, 5, 5, 1},
    {D3DFMT_A8P8, C::Palette, 16, 0, 8, 8, 8, 8, 1},
    {D3DFMT_P8, C::Palette, 8, 0, 8, 8, 8, 8, 1},
    {D3DFMT_A1R5G5B5, C::Rgb, 16, 0, 1, 5, 5, 5, 1},
    {D3DFMT_A4R4G4B4, C::Rgb, 16, 0, 4, 4, 4, 4, 1},
    {D3DFMT_R3G3B2, C::Rgb, 8, 0, 0, 3, 3, 2, 1},
    {D3DFMT_A8, C::Rgb, 8, 0, 8, 0, 0, 0, 1},
    {D3DFMT_A8R3G3B2, C::Rgb, 16, 0, 8, 3, 3, 2, 1},
    {D3DFMT_X4R4G4B4, C::Rgb, 16, 0, 0, 4, 4, 4, 1},
    {D3DFMT_A2B10G10R10, C::Rgb, 32, 0, 2, 10, 10, 10, 1},
    {D3DFMT_A8B8G8R8, C::Rgb, 32, 0, 8, 8, 8, 8, 1},
    {D3DFMT_X8B8G8R8, C::Rgb, 32, 0, 0, 8, 8, 8, 1},
    {D3DFMT_G16R16, C::Rgb, 32, 0, 0, 16, 16, 0, 1},
    {D3DFMT_A2R10G10B10, C::Rgb, 32, 0, 2, 10, 10, 10, 1},
    {D3DFMT_A16B16G16R16, C::Rgb, 64, 0, 16, 16, 16, 16, 1},
    {D3DFMT_L8, C::Luminance, 8, 0, 0, 8, 8, 8, 1},
    {D3DFMT_A8L8, C::Luminance, 16, 0, 8, 8, 8, 8, 1},
    {D3DFMT_A4L4, C::Luminance, 8, 0, 4, 4, 4, 4, 1},
    {D3DFMT_L16, C::Luminance, 16, 0, 0, 16, 16, 16, 1},
    {D3DFMT_V8U8, C::Signed, 16, 0, 0, 0, 8, 8, 1},
    {D3DFMT_L6V5U5, C::Signed, 16, 6, 0, 0, 5, 5, 1},
    {D3DFMT_X8L8V8U8, C::Signed, 32, 8, 0, 0, 8, 8, 1},
    {D3DFMT_Q8W8V8U8, C::Signed, 32, 0, 8, 8, 8, 8, 1},
    {D3DFMT_V16U16, C::Signed, 32, 0, 0, 0, 16, 16, 1},
    {D3DFMT_A2W10V10U10, C::Signed, 32, 2, 0, 10, 10, 10, 1},
    {D3DFMT_Q16W16V16U16, C::Signed, 64, 0, 16, 16, 16, 16, 1},
    {D3DFMT_CxV8U8, C::Signed, 16, 8, 0, 0, 8, 8, 0},
    {D3DFMT_UYVY, C::Rgb, 16, 0, 0, 8, 8, 8, 0},
    {D3DFMT_R8G8_B8G8, C::Rgb, 16, 0, 0, 8, 8, 8, 0},
    {D3DFMT_YUY2, C::Rgb, 16, 0, 0, 8, 8, 8, 0},
    {D3DFMT_G8R8_G8B8, C::Rgb, 16, 0, 0, 8, 8, 8, 0},
    {D3DFMT_DXT1, C::Rgb, 16, 0, 1, 5, 6, 5, 0},
    {D3DFMT_DXT2, C::Rgb, 16, 0, 4, 5, 6, 5, 0},
    {D3DFMT_DXT3, C::Rgb, 16, 0, 4, 5, 6, 5, 0},
    {D3DFMT_DXT4, C::Rgb, 16, 0, 8, 5, 6, 5, 0},
    {D3DFMT_DXT5, C::Rgb, 16, 0, 8, 5, 6, 5, 0},
    {D3DFMT_D16_LOCKABLE, C::DepthStencil, 16, 1, 0, 0, 0, 16, 1},
    {D3DFMT_D32F_LOCKABLE, C::DepthStencil, 32, 1, 0, 0, 0, 32, 0},
    {D3DFMT_D32, C::DepthStencil, 32, 0, 0, 0, 0, 32, 1},
    {D3DFMT_D15S1, C::DepthStencil, 16, 0, 0, 0, 1, 15, 1},
    {D3DFMT_D24S8, C::DepthStencil, 32, 0, 0, 0, 8, 24, 1},
    {D3DFMT_D16, C::DepthStencil, 16, 0, 0, 0, 0, 16, 1},
    {D3DFMT_D24X8, C::DepthStencil, 32, 0, 0, 0, 0, 24, 1},
    {D3DFMT_D24X4S4, C::DepthStencil, 32, 0, 0, 0, 4, 24, 1},
    {D3DFMT_D24FS8, C::DepthStencil, 32, 0, 0, 0, 8, 24, 0},
    {D3DFMT_R16F, C::Rgb, 16, 0, 0, 16, 0, 0, 0},
    {D3DFMT_G16R16F, C::Rgb, 32, 0, 0, 16, 16, 0, 0},
    {D3DFMT_A16B16G16R16F, C::Rgb, 64, 0, 16, 16, 16, 16, 0},
    {D3DFMT_R32F, C::Rgb, 32, 0, 0, 32, 0, 0, 0},
    {D3DFMT_G32R32F, C::Rgb, 64, 0, 0, 32, 32, 0, 0},
    {D3DFMT_A32B32G32R32F, C::Rgb, 128, 0, 32, 32, 32, 32, 0},
    {FormatAL16, C::Luminance, 32, 0, 16, 16, 16, 16, 0},
    {FormatR16G16B16, C::Rgb, 48, 0, 0, 16, 16, 16, 0},
};

const FormatTraits kDefaultRow = {D3DFMT_UNKNOWN, C::Rgb, 32, 0, 8, 8, 8, 8, 0};

// kClassCompatible[request][candidate]: may a request of one class be served by
// a candidate of the other.
const bool kClassCompatible[5][5] = {
    {true, false, false, false, false},
    {true, true, false, false, false},
    {true, false, true, false, false},
    {false, false, false, true, false},
    {false, false, false, false, true},
};

}  // namespace

const FormatTraits* FindFormatTraits(D3DFORMAT format) {
    if (format == D3DFMT_UNKNOWN) return nullptr;
    for (const FormatTraits& row : kFormats)
        if (row.format == format) return &row;
    return nullptr;
}

const FormatTraits& FormatTraitsOrDefault(D3DFORMAT format) {
    const FormatTraits* row = FindFormatTraits(format);
    return row ? *row : kDefaultRow;
}

const FormatTraits* FormatTable(size_t* count) {
    *count = std::size(kFormats);
    return kFormats;
}

ValueRange FormatValueRange(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_X8L8V8U8:
    case D3DFMT_V16U16:
    case D3DFMT_A2W10V10U10:
    case D3DFMT_CxV8U8:
        return RangeSignedXyz;
    case D3DFMT_Q8W8V8U8:
    case D3DFMT_Q16W16V16U16:
        return RangeSignedAll;
    case D3DFMT_R16F:
    case D3DFMT_G16R16F:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_R32F:
    case D3DFMT_G32R32F:
    case D3DFMT_A32B32G32R32F:
    case D3DFMT_D32F_LOCKABLE:
        return RangeFloat;
    default:
        return RangeUnit;
    }
}

bool IsBlockFormat(D3DFORMAT format) { return BlockBytes(format) != 0; }

uint32_t BlockBytes(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_DXT1:
        return 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return 16;
    default:
        return 0;
    }
}

bool IsPairFormat(D3DFORMAT format) {
    return format == D3DFMT_YUY2 || format == D3DFMT_UYVY || format == D3DFMT_R8G8_B8G8 ||
           format == D3DFMT_G8R8_G8B8;
}

bool IsPaletteFormat(D3DFORMAT format) {
    const FormatTraits* row = FindFormatTraits(format);
    return row && row->cls == FormatClass::Palette;
}

bool IsPowerOfTwo(uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

uint32_t FormatDistance(const FormatTraits& wanted, const FormatTraits& candidate) {
    if (!kClassCompatible[static_cast<int>(wanted.cls)][static_cast<int>(candidate.cls)]) return UINT32_MAX;
    const uint32_t want[5] = {wanted.extraBits, wanted.alphaBits, wanted.redBits, wanted.greenBits, wanted.blueBits};
    const uint32_t have[5] = {candidate.extraBits, candidate.alphaBits, candidate.redBits, candidate.greenBits,
                              candidate.blueBits};
    // Lost channels outweigh lost precision, which outweighs extra channels,
    // which outweigh extra precision.
    uint32_t score = 0;
    uint32_t present = 0;
    for (int i = 0; i < 5; ++i) {
        const uint32_t a = want[i], b = have[i];
        if (a != 0) ++present;
        if (a < b)
            score += a == 0 ? 0x100 : b - a;
        else if (a > b)
            score += b == 0 ? 0x1000000 : (a - b) << 16;
    }
    if (present == score / 0x1000000) return UINT32_MAX;
    return score;
}

D3DFORMAT NearestFormatInList(const D3DFORMAT* list, bool allowPalettes, const FormatTraits& wanted) {
    if (!list) return D3DFMT_UNKNOWN;
    D3DFORMAT best = D3DFMT_UNKNOWN;
    uint32_t bestScore = UINT32_MAX;
    uint32_t bestBits = 0;
    for (; *list != D3DFMT_UNKNOWN; ++list) {
        const FormatTraits* row = FindFormatTraits(*list);
        if (!row) continue;
        if (row->cls == FormatClass::Palette && !allowPalettes) continue;
        if (row->format == wanted.format) return row->format;
        const uint32_t score = FormatDistance(wanted, *row);
        if (score == UINT32_MAX) continue;
        if (score < bestScore || (score == bestScore && row->bits < bestBits)) {
            best = row->format;
            bestScore = score;
            bestBits = row->bits;
        }
    }
    return best;
}
