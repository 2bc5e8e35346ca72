// The resampler frame and the four plain strategies: identical copy, format
// conversion, unfiltered copy and point sampling.
#include "texture/pixels/image_resampler.h"

#include <algorithm>
#include <cstring>

#include "texture/pixels/block_converter.h"

namespace {

using Strategy = HRESULT (*)(ResampleJob&);

const Strategy kStrategies[] = {
    BlitIdentical, BlitConvert, BlitUnfiltered, BlitPoint, BlitHalveBox,
    BlitHalveBoxVolume, BlitBilinear, BlitTrilinear, BlitTent, BlitTentVolume,
};

bool SameSize(const PixelConverter& a, const PixelConverter& b) {
    return a.width == b.width && a.height == b.height && a.depth == b.depth;
}

// Values pass through unchanged when both sides are sRGB.
void DropSharedSrgb(ResampleJob& job) {
    if (job.dst.srgb && job.src.srgb) job.dst.srgb = job.src.srgb = false;
}

}  // namespace

bool AllocateRow(std::vector<KLCOLOR>& row, size_t count) {
    try {
        row.assign(count, KLCOLOR{0, 0, 0, 0});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

HRESULT ImageResampler::Run(ImageView& dst, ImageView& src, uint32_t filter) {
    if (!IsValidTexFilter(filter)) return D3DERR_INVALIDCALL;
    filter_ = filter;
    src.srgb = (filter & TexFilterSrgbIn) != 0;
    dst.srgb = (filter & TexFilterSrgbOut) != 0;
    dst.dither = (filter & TexFilterDither) != 0;
    dst.colorKey = 0;
    dst_ = CreatePixelConverter(dst);
    if (!dst_) return E_FAIL;
    src_ = CreatePixelConverter(src);
    if (!src_) return E_FAIL;
    // An empty destination needs no work; an empty source cannot fill one.
    if (dst_->width == 0 || dst_->height == 0 || dst_->depth == 0) return S_OK;
    if (src_->width == 0 || src_->height == 0 || src_->depth == 0) return D3DERR_INVALIDCALL;
    HRESULT hr = LinkConverters(*dst_, *src_);
    if (FAILED(hr)) return hr;
    ResampleJob job{*dst_, *src_, filter_};
    hr = E_FAIL;
    for (Strategy strategy : kStrategies) {
        hr = strategy(job);
        if (hr != E_FAIL) break;
    }
    dst_.reset();
    src_.reset();
    return hr;
}

HRESULT BlitIdentical(ResampleJob& job) {
    PixelConverter &d = job.dst, &s = job.src;
    if (d.format != s.format || s.keyEnabled || !SameSize(d, s) || d.srgb || s.srgb) return E_FAIL;
    if (IsBlockFormat(d.format)) return BlockConverter::CopyBlocks(d, s);
    if (!d.addressable) return E_FAIL;
    if (IsPaletteFormat(d.format) && std::memcmp(d.palette, s.palette, sizeof(d.palette)) != 0) return E_FAIL;
    for (uint32_t z = 0; z < d.depth; ++z)
        for (uint32_t y = 0; y < d.height; ++y)
            std::memmove(d.pixels + static_cast<size_t>(z) * d.slicePitch + static_cast<size_t>(y) * d.rowPitch,
                         s.pixels + static_cast<size_t>(z) * s.slicePitch + static_cast<size_t>(y) * s.rowPitch,
                         d.rowBytes);
    return S_OK;
}

HRESULT BlitConvert(ResampleJob& job) {
    PixelConverter &d = job.dst, &s = job.src;
    if (!SameSize(d, s)) return E_FAIL;
    DropSharedSrgb(job);
    std::vector<KLCOLOR> row;
    if (!AllocateRow(row, d.width)) return E_FAIL;
    for (uint32_t z = 0; z < d.depth; ++z)
        for (uint32_t y = 0; y < d.height; ++y) {
            HRESULT hr = s.DecodeRow(y, z, row.data());
            if (SUCCEEDED(hr)) hr = d.EncodeRow(y, z, row.data());
            if (FAILED(hr)) return hr == E_FAIL ? E_OUTOFMEMORY : hr;
        }
    return S_OK;
}

HRESULT BlitUnfiltered(ResampleJob& job) {
    if (TexFilterKind(job.filter) != TexFilterNone) return E_FAIL;
    PixelConverter &d = job.dst, &s = job.src;
    DropSharedSrgb(job);
    std::vector<KLCOLOR> row, source;
    if (!AllocateRow(row, d.width) || !AllocateRow(source, s.width)) return E_FAIL;
    const uint32_t w = std::min(d.width, s.width);
    for (uint32_t z = 0; z < d.depth; ++z)
        for (uint32_t y = 0; y < d.height; ++y) {
            std::fill(row.begin(), row.end(), KLCOLOR{0, 0, 0, 0});
            if (z < s.depth && y < s.height) {
                HRESULT hr = s.DecodeRow(y, z, source.data());
                if (FAILED(hr)) return hr;
                std::copy(source.begin(), source.begin() + w, row.begin());
            }
            HRESULT hr = d.EncodeRow(y, z, row.data());
            if (FAILED(hr)) return hr;
        }
    return S_OK;
}

HRESULT BlitPoint(ResampleJob& job) {
    if (TexFilterKind(job.filter) != TexFilterPoint) return E_FAIL;
    PixelConverter &d = job.dst, &s = job.src;
    DropSharedSrgb(job);
    std::vector<KLCOLOR> row, source;
    if (!AllocateRow(row, d.width) || !AllocateRow(source, s.width)) return E_OUTOFMEMORY;
    // 16.16 fixed-point steps through the source.
    const uint64_t stepX = (uint64_t{s.width} << 16) / d.width;
    const uint64_t stepY = (uint64_t{s.height} << 16) / d.height;
    const uint64_t stepZ = (uint64_t{s.depth} << 16) / d.depth;
    for (uint32_t z = 0; z < d.depth; ++z) {
        const uint32_t sz = static_cast<uint32_t>((z * stepZ) >> 16);
        uint32_t decoded = UINT32_MAX;
        for (uint32_t y = 0; y < d.height; ++y) {
            const uint32_t sy = static_cast<uint32_t>((y * stepY) >> 16);
            if (sy != decoded) {
                HRESULT hr = s.DecodeRow(sy, sz, source.data());
                if (FAILED(hr)) return hr;
                decoded = sy;
            }
            for (uint32_t x = 0; x < d.width; ++x) row[x] = source[static_cast<size_t>((x * stepX) >> 16)];
            HRESULT hr = d.EncodeRow(y, z, row.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}
