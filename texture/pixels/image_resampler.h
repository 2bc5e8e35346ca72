// Copies a region of pixels into another region, converting the format and
// scaling with the filter the filter word asks for. The strategies are tried
// in a fixed order; the first that applies does the work.
#pragma once

#include <memory>

#include "texture/pixels/image_view.h"
#include "texture/pixels/pixel_converter.h"

class ImageResampler {
public:
    // Returns D3DERR_INVALIDCALL for a bad filter word, E_FAIL when either
    // format has no converter or no strategy applies, else the strategy's result.
    HRESULT Run(ImageView& dst, ImageView& src, uint32_t filter);

private:
    uint32_t filter_ = 0;
    std::unique_ptr<PixelConverter> dst_;
    std::unique_ptr<PixelConverter> src_;
};

// One copy in progress: the two converters and the filter word.
struct ResampleJob {
    PixelConverter& dst;
    PixelConverter& src;
    uint32_t filter;
};

// Each strategy returns E_FAIL when it does not apply.
HRESULT BlitIdentical(ResampleJob& job);
HRESULT BlitConvert(ResampleJob& job);
HRESULT BlitUnfiltered(ResampleJob& job);
HRESULT BlitPoint(ResampleJob& job);
HRESULT BlitHalveBox(ResampleJob& job);
HRESULT BlitHalveBoxVolume(ResampleJob& job);
HRESULT BlitBilinear(ResampleJob& job);
HRESULT BlitTrilinear(ResampleJob& job);
HRESULT BlitTent(ResampleJob& job);
HRESULT BlitTentVolume(ResampleJob& job);

// Halving one row of 32-bit pixels byte lane by byte lane, rounding each
// 2x2 sum: the plain routine and the SSE2 one that the box filter runs.
void HalveRowByLanesPlain(const BYTE* row0, const BYTE* row1, BYTE* out, uint32_t width);
void HalveRowByLanesSse2(const BYTE* row0, const BYTE* row1, BYTE* out, uint32_t width);

// Allocates a row buffer without throwing; false when memory runs out.
bool AllocateRow(std::vector<KLCOLOR>& row, size_t count);
