// 4x4 block compression in the five DXT formats: the block layouts, the block
// decoders and the block encoders with their endpoint searches.
//
// Blocks are little-endian. A colour block is c0 and c1 (16-bit 5:6:5, red in
// the top bits) and a 32-bit word of sixteen 2-bit indices, texel 0 in the
// lowest bits. DXT2/DXT3 put 8 bytes of 4-bit explicit alpha before it;
// DXT4/DXT5 put an alpha block (a0, a1, sixteen 3-bit indices in 6 bytes).
// Texels are numbered row by row, 0 to 15; a working block is 16 KLCOLOR
// values in that order.
#pragma once

#include "gfx/d3d9.h"
#include "math/klmath.h"

constexpr uint32_t kBlockTexels = 16;

// Decodes one stored block into 16 working colours.
using BlockDecoder = void (*)(KLCOLOR* out, const BYTE* block);
// Encodes 16 working colours (channels in 0..1) into one stored block.
using BlockEncoder = void (*)(BYTE* block, const KLCOLOR* in);

void DecodeBlockDxt1(KLCOLOR* out, const BYTE* block);
void DecodeBlockDxt2(KLCOLOR* out, const BYTE* block);
void DecodeBlockDxt3(KLCOLOR* out, const BYTE* block);
void DecodeBlockDxt4(KLCOLOR* out, const BYTE* block);
void DecodeBlockDxt5(KLCOLOR* out, const BYTE* block);

void EncodeBlockDxt1(BYTE* block, const KLCOLOR* in);
void EncodeBlockDxt2(BYTE* block, const KLCOLOR* in);
void EncodeBlockDxt3(BYTE* block, const KLCOLOR* in);
void EncodeBlockDxt4(BYTE* block, const KLCOLOR* in);
void EncodeBlockDxt5(BYTE* block, const KLCOLOR* in);

// Encodes count consecutive working blocks into consecutive stored blocks,
// each exactly as the block encoder would.
using BlockRowEncoder = void (*)(BYTE* blocks, const KLCOLOR* in, uint32_t count);

void EncodeBlockRowDxt1(BYTE* blocks, const KLCOLOR* in, uint32_t count);
void EncodeBlockRowDxt2(BYTE* blocks, const KLCOLOR* in, uint32_t count);
void EncodeBlockRowDxt3(BYTE* blocks, const KLCOLOR* in, uint32_t count);
void EncodeBlockRowDxt4(BYTE* blocks, const KLCOLOR* in, uint32_t count);
void EncodeBlockRowDxt5(BYTE* blocks, const KLCOLOR* in, uint32_t count);

// Block size, decoder and encoders of a DXT format; false for other formats.
struct BlockCodec {
    uint32_t bytes;
    BlockDecoder decode;
    BlockEncoder encode;
    BlockRowEncoder encodeRow;
};
bool FindBlockCodec(D3DFORMAT format, BlockCodec* codec);

// A point of the weighted colour space: red, green and blue scaled so that a
// unit step weighs what it weighs for the eye (luminance weights over green's).
struct WeightedColor {
    float r, g, b;
};
constexpr WeightedColor kColorWeights = {0.29703665f, 1.0f, 0.10078278f};
constexpr WeightedColor kColorUnweights = {3.3665881f, 1.0f, 9.9223299f};

// Writes the 8-byte colour block of 16 colours. With allowTransparent, texels
// whose alpha is below 0.5 select the transparent entry of the 3-colour mode.
void EncodeColorBlock(const KLCOLOR* in, BYTE* out, bool allowTransparent);
// EncodeColorBlock without the transparent mode for four blocks at once
// (in[k] and out[k] for k = 0..3), with the same results.
void EncodeColorBlocks4(const KLCOLOR* const* in, BYTE* const* out);
// Least-squares endpoints of the line through 16 weighted points, for a
// palette of 3 or 4 positions.
void RefineColorEndpoints(const WeightedColor* points, int positions, WeightedColor* low, WeightedColor* high);
// Endpoints of 16 alphas for the 6- or 8-position alpha palettes.
void RefineAlphaEndpoints(const float* alphas, int positions, float* low, float* high);
