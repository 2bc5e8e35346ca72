// The concrete converters behind CreatePixelConverter, one family per kind of
// layout: bit-packed channels (table-driven), palettes, floats, pixel pairs.
#pragma once

#include <memory>

#include "texture/pixels/pixel_converter.h"

// A converter with its layout set up but not yet initialised over a view, or
// null when the format has no converter.
std::unique_ptr<PixelConverter> MakeLayoutConverter(D3DFORMAT format);
