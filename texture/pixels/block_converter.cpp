// Block-row cache between the row-oriented resampler and DXT surfaces.
#include "texture/pixels/block_converter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Texels beyond the surface's extent repeat the valid ones: with 1, 2 or 3
// valid columns (or rows) a block takes them in these orders.
const uint8_t kPadding[5][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};

inline float RoundTo(float v, float steps) { return static_cast<float>(static_cast<int>(v * steps + 0.5f)) / steps; }

}  // namespace

BlockConverter::BlockConverter(const BlockCodec& codec, D3DFORMAT format, const ImageBox& extent,
                               const ImageBox& region)
    : codec_(codec),
      extent_(extent),
      alphaSteps_((format == D3DFMT_DXT2 || format == D3DFMT_DXT3) ? 15.0f : 255.0f),
      firstBlock_(region.left / 4),
      blockCount_(region.right > region.left ? (region.right + 3) / 4 - region.left / 4 : 0) {}

std::unique_ptr<PixelConverter> MakeBlockConverter(const ImageView& view) {
    BlockCodec codec;
    if (!FindBlockCodec(view.format, &codec)) return nullptr;
    return std::make_unique<BlockConverter>(codec, view.format, view.extent, view.region);
}

KLCOLOR BlockConverter::RoundToStoredPrecision(const KLCOLOR& c) const {
    return KLCOLOR{RoundTo(c.r, 31.0f), RoundTo(c.g, 63.0f), RoundTo(c.b, 31.0f), RoundTo(c.a, alphaSteps_)};
}

void BlockConverter::PrepareColorKey() {
    if (keyEnabled) key = RoundToStoredPrecision(key);
}

BYTE* BlockConverter::BlockAt(uint32_t blockX, uint32_t blockRow, uint32_t slice) const {
    return pixels + static_cast<size_t>(slice) * slicePitch + static_cast<size_t>(blockRow) * rowPitch +
           static_cast<size_t>(blockX) * codec_.bytes;
}

bool BlockConverter::Allocate(std::unique_ptr<KLCOLOR[]>* texels) {
    if (spare_) {
        *texels = std::move(spare_);
        return true;
    }
    texels->reset(new (std::nothrow) KLCOLOR[size_t{blockCount_} * kBlockTexels]);
    return *texels != nullptr;
}

void BlockConverter::DecodeBlockRow(uint32_t blockRow, uint32_t slice, KLCOLOR* texels) const {
    for (uint32_t b = 0; b < blockCount_; ++b)
        codec_.decode(texels + size_t{b} * kBlockTexels, BlockAt(firstBlock_ + b, blockRow, slice));
}

HRESULT BlockConverter::DecodeRaw(uint32_t y, uint32_t z, KLCOLOR* out) {
    const uint32_t row = region.top + y, slice = region.front + z, blockRow = row / 4;
    if (!decoded_ && !Allocate(&decoded_)) return E_OUTOFMEMORY;
    if (blockRow != decodedRow_ || slice != decodedSlice_) {
        DecodeBlockRow(blockRow, slice, decoded_.get());
        decodedRow_ = blockRow, decodedSlice_ = slice;
    }
    const KLCOLOR* texels = decoded_.get() + (row & 3) * 4;
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t column = region.left + x;
        out[x] = texels[(column / 4 - firstBlock_) * kBlockTexels + (column & 3)];
    }
    if (keyEnabled) {
        for (uint32_t x = 0; x < width; ++x) {
            const KLCOLOR c = RoundToStoredPrecision(out[x]);
            if (c.r == key.r && c.g == key.g && c.b == key.b && c.a == key.a) out[x] = KLCOLOR{0, 0, 0, 0};
        }
    }
    return S_OK;
}

// Whether the region holds every texel of the block row that lies inside the
// surface; otherwise the texels it lacks must be read back before encoding.
bool BlockConverter::CoversBlockRow(uint32_t blockRow) const {
    const uint32_t top = blockRow * 4, bottom = std::min(top + 4, extent_.bottom);
    const uint32_t right = std::min((firstBlock_ + blockCount_) * 4, extent_.right);
    return region.left == firstBlock_ * 4 && region.right >= right && region.top <= top && region.bottom >= bottom;
}

HRESULT BlockConverter::StartPendingRow(uint32_t blockRow, uint32_t slice, PendingRow** out) {
    PendingRow row{slice, blockRow, 0, nullptr};
    if (!Allocate(&row.texels)) return E_OUTOFMEMORY;
    if (!CoversBlockRow(blockRow)) DecodeBlockRow(blockRow, slice, row.texels.get());
    // Rows outside the region are not written by the caller: they already
    // hold the surface's texels, or lie beyond the extent and get padded.
    for (uint32_t r = 0; r < 4; ++r) {
        const uint32_t y = blockRow * 4 + r;
        if (y < region.top || y >= region.bottom) row.rows |= 1u << r;
    }
    try {
        pending_.push_back(std::move(row));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *out = &pending_.back();
    return S_OK;
}

HRESULT BlockConverter::EncodeRaw(uint32_t y, uint32_t z, const KLCOLOR* in, const float*) {
    const uint32_t row = region.top + y, slice = region.front + z, blockRow = row / 4;
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const PendingRow& p) { return p.blockRow == blockRow && p.slice == slice; });
    PendingRow* pending = it == pending_.end() ? nullptr : &*it;
    if (!pending) {
        HRESULT hr = StartPendingRow(blockRow, slice, &pending);
        if (FAILED(hr)) return hr;
    }
    KLCOLOR* texels = pending->texels.get() + (row & 3) * 4;
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t column = region.left + x;
        texels[(column / 4 - firstBlock_) * kBlockTexels + (column & 3)] = in[x];
    }
    pending->rows |= 1u << (row & 3);
    if (pending->rows == 0xF) {
        StoreBlockRow(*pending);
        spare_ = std::move(pending->texels);
        pending_.erase(pending_.begin() + (pending - pending_.data()));
    }
    return S_OK;
}

void BlockConverter::StoreBlockRow(PendingRow& row) const {
    // Texels past the extent are overwritten in place by the valid ones they
    // repeat; each pattern reads only positions it does not write.
    const uint32_t validRows = std::clamp<int64_t>(int64_t{extent_.bottom} - int64_t{row.blockRow} * 4, 1, 4);
    for (uint32_t b = 0; b < blockCount_; ++b) {
        const uint32_t validColumns =
            std::clamp<int64_t>(int64_t{extent_.right} - int64_t{firstBlock_ + b} * 4, 1, 4);
        if (validRows == 4 && validColumns == 4) continue;
        KLCOLOR* texels = row.texels.get() + size_t{b} * kBlockTexels;
        for (uint32_t r = 0; r < 4; ++r)
            for (uint32_t c = 0; c < 4; ++c)
                texels[r * 4 + c] = texels[kPadding[validRows][r] * 4 + kPadding[validColumns][c]];
    }
    codec_.encodeRow(BlockAt(firstBlock_, row.blockRow, row.slice), row.texels.get(), blockCount_);
}

HRESULT BlockConverter::CopyBlocks(PixelConverter& dst, PixelConverter& src) {
    auto& d = static_cast<BlockConverter&>(dst);
    auto& s = static_cast<BlockConverter&>(src);
    // Every edge on a block boundary, or a right or bottom edge at the end of
    // its surface, whose last partial block then belongs wholly to the region.
    auto aligned = [](const BlockConverter& c) {
        return c.region.left % 4 == 0 && c.region.top % 4 == 0 &&
               (c.region.right % 4 == 0 || c.region.right == c.extent_.right) &&
               (c.region.bottom % 4 == 0 || c.region.bottom == c.extent_.bottom);
    };
    if (!aligned(d) || !aligned(s)) return E_FAIL;
    const size_t rowBytes = size_t{(d.width + 3) / 4} * d.codec_.bytes;
    const uint32_t blockRows = (d.height + 3) / 4;
    for (uint32_t z = 0; z < d.depth; ++z)
        for (uint32_t r = 0; r < blockRows; ++r)
            std::memmove(d.BlockAt(d.region.left / 4, d.region.top / 4 + r, d.region.front + z),
                         s.BlockAt(s.region.left / 4, s.region.top / 4 + r, s.region.front + z), rowBytes);
    return S_OK;
}
