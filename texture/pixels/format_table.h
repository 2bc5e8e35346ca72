// The pixel-format table: one row of channel bit counts per known format, the
// class compatibility rules and the nearest-format searches built on them.
#pragma once

#include "gfx/d3d9.h"

// Formats produced only by the PNG decoder; mapped to real formats before any
// device call. Four-character values, little-endian.
constexpr D3DFORMAT FormatAL16 = static_cast<D3DFORMAT>(0x36314C41u);       // "AL16"
constexpr D3DFORMAT FormatR16G16B16 = static_cast<D3DFORMAT>(0x36315220u);  // " R16"

enum class FormatClass : uint32_t { Rgb, Palette, Luminance, Signed, DepthStencil };

// How a format's working values are to be read.
enum ValueRange : uint32_t {
    RangeNone = 0,
    RangeUnit = 1,       // all four channels in 0..1
    RangeSignedXyz = 2,  // red, green, blue in -1..1, alpha in 0..1
    RangeSignedAll = 3,  // all four in -1..1
    RangeFloat = 4,      // unbounded floats
};

struct FormatTraits {
    D3DFORMAT format;
    FormatClass cls;
    uint32_t bits;
    uint32_t extraBits;
    uint32_t alphaBits;
    uint32_t redBits;
    uint32_t greenBits;
    uint32_t blueBits;
    uint32_t candidate;
};

// The row of a format, or null when the table does not list it.
const FormatTraits* FindFormatTraits(D3DFORMAT format);
// The row of a format, or the default row (32-bit 8:8:8:8 Rgb, format 0).
const FormatTraits& FormatTraitsOrDefault(D3DFORMAT format);
// Rows in search order.
const FormatTraits* FormatTable(size_t* count);

ValueRange FormatValueRange(D3DFORMAT format);
bool IsBlockFormat(D3DFORMAT format);  // DXT1..DXT5
bool IsPairFormat(D3DFORMAT format);   // YUY2, UYVY, R8G8_B8G8, G8R8_G8B8
bool IsPaletteFormat(D3DFORMAT format);
bool IsPowerOfTwo(uint32_t n);
// Bytes of one 4x4 block (8 or 16), 0 for other formats.
uint32_t BlockBytes(D3DFORMAT format);

// Distance of candidate c to wanted w, or UINT32_MAX when c is not usable.
uint32_t FormatDistance(const FormatTraits& wanted, const FormatTraits& candidate);

// Nearest entry of a zero-terminated format list, or D3DFMT_UNKNOWN.
D3DFORMAT NearestFormatInList(const D3DFORMAT* list, bool allowPalettes, const FormatTraits& wanted);

struct IDirect3DDevice9;
// Nearest table format the device accepts for the usage and resource type
// (every row passes when device is null), or D3DFMT_UNKNOWN.
D3DFORMAT NearestDeviceFormat(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE type,
                              const FormatTraits& wanted);
