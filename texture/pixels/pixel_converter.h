// Row converters between stored pixels and the float working form (KLCOLOR
// rows). One converter serves one side of a copy: it decodes rows of its view
// into working values and encodes working values back into stored pixels,
// applying the colour key, the sRGB curves, range conversion and dithering.
#pragma once

#include <memory>
#include <vector>

#include "math/klmath.h"
#include "texture/pixels/format_table.h"
#include "texture/pixels/image_view.h"

class PixelConverter {
public:
    virtual ~PixelConverter() = default;

    // Decode row y of slice z of the region (region-relative) into width values.
    HRESULT DecodeRow(uint32_t y, uint32_t z, KLCOLOR* out);
    // Encode width working values into row y of slice z of the region.
    HRESULT EncodeRow(uint32_t y, uint32_t z, const KLCOLOR* in);
    // Passes the colour key through this format so that keyed pixels compare exactly.
    virtual void PrepareColorKey();

    D3DFORMAT format = D3DFMT_UNKNOWN;
    ValueRange range = RangeUnit;
    uint32_t bytesPerPixel = 0;   // 0 for block and pair formats
    bool addressable = false;     // pixels can be addressed one by one
    BYTE* pixels = nullptr;       // first byte of the region for addressable formats
    uint32_t rowPitch = 0;
    uint32_t slicePitch = 0;
    ImageBox region;              // rebased to 0 for addressable formats
    uint32_t width = 0, height = 0, depth = 0;
    uint32_t rowBytes = 0;        // width * bytesPerPixel
    bool srgb = false;
    bool keyEnabled = false;
    KLCOLOR key = {0, 0, 0, 0};
    const float (*ditherTable)[8] = nullptr;
    KLCOLOR palette[256];
    ValueRange sourceRange = RangeNone;  // range to convert from on encode
    std::vector<KLCOLOR> scratch;
    bool bothSrgb = false;

protected:
    // Raw reading and writing of count pixels starting at p (the first pixel of
    // the row for row calls). ditherRow[i & 3] is the dither value of pixel i.
    virtual void Load(const BYTE* p, uint32_t count, KLCOLOR* out) = 0;
    virtual void Store(BYTE* p, uint32_t count, const KLCOLOR* in, const float* ditherRow) = 0;
    // Row-level addressing; pair formats override these.
    virtual HRESULT DecodeRaw(uint32_t y, uint32_t z, KLCOLOR* out);
    virtual HRESULT EncodeRaw(uint32_t y, uint32_t z, const KLCOLOR* in, const float* ditherRow);
    BYTE* RowPointer(uint32_t y, uint32_t z) const {
        return pixels + static_cast<size_t>(y) * rowPitch + static_cast<size_t>(z) * slicePitch;
    }

    friend void InitPixelConverter(PixelConverter& c, const ImageView& view);
};

// A converter for the view's format, or null when the format has none.
std::unique_ptr<PixelConverter> CreatePixelConverter(const ImageView& view);
// Prepares dst to receive rows decoded by src: range conversion and sRGB.
HRESULT LinkConverters(PixelConverter& dst, PixelConverter& src);
// Prepares dst to receive float working rows made by the caller.
HRESULT LinkConverterToFloatRows(PixelConverter& dst);

// Dither tables: rows stored twice over so that (x mod 4) + (z mod 4) indexes them.
extern const float kFlatDither[4][8];
extern const float kOrderedDither[4][8];

// sRGB curves by table interpolation (x^2.2 and x^(1/2.2) at the table points).
float SrgbToLinear(float x);
float LinearToSrgb(float x);
// Range conversion of one row between value ranges, as done before encoding.
void ConvertRange(KLCOLOR* row, uint32_t count, ValueRange to, ValueRange from);
// Clamps a row to a value range (used by accumulating filters).
void ClampToRange(KLCOLOR* row, uint32_t count, ValueRange range);
