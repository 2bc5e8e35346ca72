// The DDS pixel-format block (32 bytes: size, flags, four-character code, bit
// count, red, green, blue and alpha masks) and its mapping to formats.
#pragma once

#include "gfx/d3d9.h"

struct DdsPixelFormat {
    uint32_t size, flags, fourCC, bitCount, redMask, greenMask, blueMask, alphaMask;
};

// Format of a 32-byte pixel-format block; E_FAIL when no row matches.
HRESULT DdsFormatFromPixelFormat(const BYTE* block, D3DFORMAT* format);
// The table row of a format, for writers; null when DDS files cannot hold it.
const DdsPixelFormat* DdsPixelFormatOf(D3DFORMAT format);
// Every format the table holds, in table order, ending with D3DFMT_UNKNOWN.
const D3DFORMAT* DdsFormatList();
