// The row converter of the DXT block formats. The resampler works a pixel row
// at a time, blocks hold four rows: decoding keeps the current block row
// decoded in a cache, encoding gathers rows per block row and compresses the
// blocks once all four rows are in.
#pragma once

#include <memory>
#include <vector>

#include "texture/pixels/dxt_blocks.h"
#include "texture/pixels/pixel_converter.h"

class BlockConverter final : public PixelConverter {
public:
    // The region is the view's, widened outward to whole blocks.
    BlockConverter(const BlockCodec& codec, D3DFORMAT format, const ImageBox& extent, const ImageBox& region);

    // Rounds the key to the stored precision so that decoded texels compare exactly.
    void PrepareColorKey() override;

    // Copies whole blocks between two block surfaces of one format and equal
    // region size; E_FAIL when a region edge cuts through a block.
    static HRESULT CopyBlocks(PixelConverter& dst, PixelConverter& src);

protected:
    // Single pixels of a block surface are never addressed: rows go through
    // DecodeRaw and EncodeRaw below.
    void Load(const BYTE*, uint32_t, KLCOLOR*) override {}
    void Store(BYTE*, uint32_t, const KLCOLOR*, const float*) override {}
    HRESULT DecodeRaw(uint32_t y, uint32_t z, KLCOLOR* out) override;
    HRESULT EncodeRaw(uint32_t y, uint32_t z, const KLCOLOR* in, const float* ditherRow) override;

private:
    // Four rows of blocks being written, 16 texels per block.
    struct PendingRow {
        uint32_t slice, blockRow;
        uint32_t rows;  // bit r set: row r of the block row is present
        std::unique_ptr<KLCOLOR[]> texels;
    };

    BYTE* BlockAt(uint32_t blockX, uint32_t blockRow, uint32_t slice) const;
    bool Allocate(std::unique_ptr<KLCOLOR[]>* texels);
    void DecodeBlockRow(uint32_t blockRow, uint32_t slice, KLCOLOR* texels) const;
    HRESULT StartPendingRow(uint32_t blockRow, uint32_t slice, PendingRow** row);
    void StoreBlockRow(PendingRow& row) const;
    KLCOLOR RoundToStoredPrecision(const KLCOLOR& c) const;
    bool CoversBlockRow(uint32_t blockRow) const;

    BlockCodec codec_;
    ImageBox extent_;
    float alphaSteps_;         // precision the colour key is compared at
    uint32_t firstBlock_;      // block column of the region's left edge
    uint32_t blockCount_;      // blocks per block row of the widened region
    std::unique_ptr<KLCOLOR[]> decoded_;
    uint32_t decodedRow_ = UINT32_MAX, decodedSlice_ = UINT32_MAX;
    std::vector<PendingRow> pending_;
    std::unique_ptr<KLCOLOR[]> spare_;  // a released block-row cache, reused
};

// A converter for a DXT view, or null for other formats.
std::unique_ptr<PixelConverter> MakeBlockConverter(const ImageView& view);
